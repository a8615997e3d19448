// Committed rows into the run's trends, and the constant-mass events they make.
#include "recording/SampleWatch.h"

void SampleWatch::start(const RunSettings &settings)
{
    settings_ = settings;
    trends_.emplace(criterion_, settings.balances);
}

const std::vector<MassTrendValues> &SampleWatch::add(const RecordedRow &row, std::vector<ConstantMassEvent> &reached)
{
    const std::vector<MassTrendValues> &values = trends_->add(row);
    for (size_t slot = 0; slot < values.size(); ++slot) {
        if (!values[slot].reachedNow)
            continue;
        const int32_t balance = trends_->balances()[slot];
        const TrendReading &reference = *trends_->trend(slot).reference();
        reached.push_back({slot, balance, settings_.sampleAt(balance), row.utcMs, row.utcOffsetSeconds,
                           reference.value, reference.unitCode, values[slot],
                           constantMassCriterionText(criterion_).toStdString()});
    }
    return values;
}

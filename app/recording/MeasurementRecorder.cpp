#include "recording/MeasurementRecorder.h"

#include <algorithm>
#include <cmath>

namespace {

std::vector<int32_t> runBalancesOnLine(const RunSettings &settings, int onLine)
{
    std::vector<int32_t> balances;
    for (const int32_t j : settings.balances)
        if (j >= 1 && j <= onLine)
            balances.push_back(j);
    return balances;
}

// A row is only taken when the whole line has answered since the last one,
// the balances outside the run included.
bool everyBalanceHasNewReading(const trutina::Block &block, const RecordingHistory &history, int onLine)
{
    for (int j = 1; j <= onLine; ++j)
        if (!trutina::countIsNewer(block.readingCount(j), history.lastRecordedCount[size_t(j - 1)]))
            return false;
    return true;
}

bool measurementDue(const trutina::Block &block, const RunSettings &settings, const RecordingHistory &history,
                    const std::vector<int32_t> &balances, const MeasurementRecorder::PreviousValue &previousValue)
{
    for (size_t slot = 0; slot < balances.size(); ++slot) {
        const int32_t j = balances[slot];
        const bool stable = block.stable(j);
        if (settings.mode != RecordingMode::OnNewWeight)
            return true;
        // Before the first row the first polled balance alone decides.
        if (history.measurementNo == 0)
            return stable;
        if (settings.threshold < 0)
            return false;
        // A last value that is no number cannot hold a new weight back; the
        // stable reading then starts afresh, as the first one does.
        const std::optional<double> previous =
            previousValue ? previousValue(slot)
                          : (slot < history.lastValues.size() ? std::optional(history.lastValues[slot]) : std::nullopt);
        const bool changed = !previous || MeasurementRecorder::divisionsBetween(block.rawValue(j), *previous,
                                                                                block.divisor(j)) >= settings.threshold;
        if (changed && stable)
            return true;
    }
    return false;
}

RecordedRow record(const trutina::Block &block, RecordingHistory &history, const std::vector<int32_t> &balances,
                   PollStamp stamp)
{
    RecordedRow row;
    row.number = ++history.measurementNo;
    row.utcMs = stamp.utcMs;
    row.utcOffsetSeconds = stamp.utcOffsetSeconds;
    history.lastValues.clear();
    for (const int32_t j : balances) {
        BalanceReading reading;
        reading.balance = j;
        reading.rawValue = block.rawValue(j);
        reading.divisor = block.divisor(j);
        reading.unitCode = block.unitCode(j);
        reading.stable = block.stable(j);
        reading.modelCode = block.modelCode(j);
        reading.ident = block.identNumber(j);
        if (reading.stable) {
            if (reading.unitCode >= TRUTINA_UNIT_FIRST && reading.unitCode <= TRUTINA_UNIT_LAST)
                history.lastUnit = static_cast<int8_t>(reading.unitCode - TRUTINA_UNIT_FIRST);
            reading.shownUnit = history.lastUnit;
        }
        history.lastRecordedCount[size_t(j - 1)] = block.readingCount(j);
        history.lastValues.push_back(double(reading.rawValue) / double(reading.divisor));
        row.readings.push_back(reading);
    }
    return row;
}

} // namespace

double MeasurementRecorder::divisionsBetween(int32_t rawValue, double recorded, int32_t divisor)
{
    // The recorded value may come back from decimal text, so the product can
    // miss a whole number by a rounding error (0,29 × 100 =
    // 28,999999999999996); such differences are taken as the whole number
    // they stand for before truncating.
    double difference = double(rawValue) - recorded * double(divisor);
    const double nearest = std::round(difference);
    if (std::abs(difference - nearest) < 1e-6)
        difference = nearest;
    return std::abs(std::trunc(difference));
}

PollDecision MeasurementRecorder::poll(const trutina::Block &block, const RunSettings &settings,
                                       RecordingHistory &history, PollStamp stamp, const PreviousValue &previousValue)
{
    PollDecision decision;
    decision.online = block.online();
    if (!decision.online)
        return decision;
    for (const int32_t j : settings.balances)
        if (j > block.balanceCount())
            decision.balancesBeyondLine.push_back(j);
    if (!decision.balancesBeyondLine.empty()) {
        decision.balanceCountNotice = block.balanceCount();
        return decision;
    }
    // Balances of the line the recorder looks at: those the library counted,
    // at most the positions a run may poll.
    const int onLine = std::clamp(block.balanceCount(), 0, RecordingHistory::balances);
    const std::vector<int32_t> balances = runBalancesOnLine(settings, onLine);
    for (const int32_t j : balances)
        decision.captions.push_back({j, block.modelCode(j), block.identNumber(j)});
    if (everyBalanceHasNewReading(block, history, onLine) &&
        measurementDue(block, settings, history, balances, previousValue))
        decision.row = record(block, history, balances, stamp);
    return decision;
}

#include "LiveView.h"

#include "recording/BalanceTexts.h"
#include "recording/CodeNames.h"

#include <QDateTime>

#include <algorithm>

namespace pondus::logger {

LiveView::LiveView(std::FILE *out, bool terminal, RowText text, std::vector<int32_t> balances)
    : out_(out), terminal_(terminal), text_(std::move(text)), balances_(std::move(balances))
{
}

std::string LiveView::signedText(const std::optional<double> &value, const char *suffix)
{
    if (!value)
        return "-";
    char text[40];
    std::snprintf(text, sizeof text, "%+.6g%s", *value, suffix);
    return text;
}

void LiveView::runStarted(const RunInfo &run)
{
    balances_ = run.settings.balances;
    names_.clear();
    for (const int32_t j : balances_)
        names_.push_back(run.settings.sampleAt(j));
    samples_.clear();
    overRun_.assign(balances_.size(), std::nullopt);
    reachedAt_.assign(balances_.size(), std::nullopt);
}

void LiveView::massChanged(const SampleValues &values)
{
    samples_ = values.values;
    const std::vector<BalanceReading> &readings = values.row.row.readings;
    for (size_t slot = 0; slot < samples_.size() && slot < overRun_.size(); ++slot) {
        const auto reading = std::ranges::find(readings, balances_[slot], &BalanceReading::balance);
        if (!samples_[slot].change || reading == readings.end())
            continue;
        const std::optional<int8_t> unit = unitIndex(reading->unitCode);
        overRun_[slot] = Change{*samples_[slot].change, samples_[slot].changePercent, unit ? unitName(*unit) : ""};
    }
}

std::vector<std::string> LiveView::summary() const
{
    std::vector<std::string> lines;
    for (size_t slot = 0; slot < overRun_.size(); ++slot) {
        std::string line = "Весы №" + std::to_string(balances_[slot]);
        if (slot < names_.size() && !names_[slot].empty())
            line += " — " + names_[slot];
        if (const std::optional<Change> &change = overRun_[slot])
            line += ": Δm " + signedText(change->change, (" " + change->unit).c_str()) + " (" +
                    signedText(change->percent, " %") + ") over the run";
        else
            line += ": no Δm, no stable reading to count it from";
        if (reachedAt_[slot])
            line += "; постоянная масса с " + *reachedAt_[slot];
        lines.push_back(std::move(line));
    }
    return lines;
}

void LiveView::constantReached(const ConstantMassEvent &event)
{
    const QString at = QDateTime::fromMSecsSinceEpoch(event.utcMs + int64_t(event.utcOffsetSeconds) * 1000, Qt::UTC)
                           .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (event.slot < reachedAt_.size())
        reachedAt_[event.slot] = at.toStdString();
    std::fprintf(stderr, "pondus-log: Весы №%d%s%s: постоянная масса с %s (%s)\n", int(event.balance),
                 event.sample.empty() ? "" : " — ", event.sample.c_str(), at.toUtf8().constData(),
                 event.criterion.c_str());
}

void LiveView::showPoll(const trutina::Block &block, int64_t rows, std::chrono::milliseconds elapsed)
{
    if (!terminal_)
        return;
    const long long seconds = elapsed.count() / 1000;
    // Home and clear below, so that the view stays in place without flicker.
    std::fprintf(out_, "\033[H\033[Jpondus-log  link: %s  port: COM%d  balances on line: %d\n",
                 trutina::linkStateName(block.linkState()), block.currentPort(), block.balanceCount());
    std::fprintf(out_, "rows recorded: %lld  elapsed: %02lld:%02lld:%02lld\n\n", static_cast<long long>(rows),
                 seconds / 3600, seconds / 60 % 60, seconds % 60);
    std::fprintf(out_, " pos  model      ident      weight\n");
    for (size_t slot = 0; slot < balances_.size(); ++slot) {
        const int32_t j = balances_[slot];
        if (j > block.balanceCount())
            continue;
        std::fprintf(out_, " %3d  %-9s  %-9d  %.15g %s%s\n", j, modelDesignation(block.modelCode(j)).toUtf8().constData(),
                     block.identNumber(j), block.weight(j), block.unit(j), block.stable(j) ? "" : "  (settling)");
        const std::string &name = slot < names_.size() ? names_[slot] : std::string();
        if (slot < samples_.size()) {
            const MassTrendValues &values = samples_[slot];
            std::fprintf(out_, "      %s%sΔm %s %s  (%s)  drift %s/h (%s)%s%s\n", name.c_str(), name.empty() ? "" : ": ",
                         signedText(values.change, "").c_str(), block.unit(j),
                         signedText(values.changePercent, " %").c_str(), signedText(values.driftPerHour, "").c_str(),
                         signedText(values.driftPercentPerHour, " %").c_str(),
                         reachedAt_[slot] ? "  постоянная масса с " : "", reachedAt_[slot] ? reachedAt_[slot]->c_str() : "");
        } else if (!name.empty()) {
            std::fprintf(out_, "      %s\n", name.c_str());
        }
    }
    std::fflush(out_);
}

void LiveView::rowCommitted(const CommittedRow &committed)
{
    if (terminal_)
        return;
    std::fprintf(out_, "%s\n", text_.row(committed.row).c_str());
    std::fflush(out_);
}

} // namespace pondus::logger

#include "dashboard/RunDownload.h"

#include "dashboard/CollectorReader.h"
#include "export/CsvFormat.h"
#include "export/XlsxFormat.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// One run in memory at a time: a day of ten balances is some 60 MB.
std::mutex oneAtATime;

// The collector is not told a run's mode or period: a run whose rows came
// at a steady pace is shown as periodic at that pace (the median of its
// first intervals, to 10 ms), any other as recorded on new weight.
void settingsFromRows(RunSettings &settings, const std::vector<int64_t> &firstTimes)
{
    std::vector<int64_t> intervals;
    for (size_t i = 1; i < firstTimes.size(); ++i)
        intervals.push_back(firstTimes[i] - firstTimes[i - 1]);
    if (intervals.empty())
        return;
    std::nth_element(intervals.begin(), intervals.begin() + std::ptrdiff_t(intervals.size() / 2), intervals.end());
    const int64_t median = intervals[intervals.size() / 2];
    const bool steady = std::all_of(intervals.begin(), intervals.end(),
                                    [&](int64_t interval) { return std::llabs(interval - median) * 4 <= median; });
    settings.mode = steady ? RecordingMode::Periodic : RecordingMode::OnNewWeight;
    settings.periodMs = int32_t(steady ? (median + 5) / 10 * 10 : 0);
}

// PC, port and run as a file name of plain characters.
std::string fileNameOf(const RunKey &key, const char *suffix)
{
    std::string name = key.pc + "-" + key.port + "-" + key.run;
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c) && c != '-' && c != '.'; }, '_');
    return name + suffix;
}

} // namespace

std::optional<RunFile> runDownload(CollectorReader &reader, const RunKey &key, const RunSpan &span,
                                   RunFile::Kind kind, std::string &error)
{
    const auto failed = [&error](std::string why) {
        error = std::move(why);
        return std::nullopt;
    };
    const std::lock_guard lock(oneAtATime);
    RunSnapshot run;
    run.settings.port = key.port;
    run.startedUtcMs = span.firstMs;
    run.stoppedUtcMs = span.lastMs;
    run.reserveRows(size_t(span.lastSeq), 10);
    std::vector<int64_t> firstTimes;
    const bool read = reader.forEachRow(key, 1, span.lastSeq, [&](const SequencedRow &stored) {
        if (run.balances.empty())
            for (const BalanceReading &reading : stored.row.readings)
                run.settings.balances.push_back(reading.balance);
        if (firstTimes.size() < 21)
            firstTimes.push_back(stored.row.utcMs);
        run.appendRow(stored.row);
    });
    if (!read)
        return failed(reader.path() + ": строки серии не прочитаны");
    settingsFromRows(run.settings, firstTimes);

    const bool workbook = kind == RunFile::Kind::Workbook;
    // Removed, with the file in it, when done.
    const QString pattern = QDir::tempPath() + QStringLiteral("/pondus-dashboard-XXXXXX");
    const QTemporaryDir folder(pattern);
    if (!folder.isValid())
        return failed((pattern + QStringLiteral(": ") + folder.errorString()).toStdString());
    const QString path = folder.filePath(workbook ? QStringLiteral("run.xlsx") : QStringLiteral("run.csv"));
    if (const auto problem = workbook ? XlsxFormat().write(run, path) : CsvFormat().write(run, path))
        return failed(problem->toStdString());
    QFile written(path);
    if (!written.open(QIODevice::ReadOnly))
        return failed((path + QStringLiteral(": ") + written.errorString()).toStdString());
    return RunFile{written.readAll().toStdString(),
                   workbook ? "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"
                            : "text/csv; charset=utf-8",
                   fileNameOf(key, workbook ? ".xlsx" : ".csv")};
}

#include "WorkbookFile.h"

#include "export/XlsxFormat.h"
#include "journal/JournalReader.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace pondus::logger {
namespace {

void refuseExisting(const std::string &path)
{
    if (::access(path.c_str(), F_OK) == 0)
        throw std::runtime_error(path + ": exists; a workbook is written whole when its run ends and never "
                                        "replaces a file (move it away, or record to a tsv or csv file, which "
                                        "grows)");
}

} // namespace

WorkbookFile::WorkbookFile(std::string path) : path_(std::move(path)), rowFilePath_(path_ + ".rows.csv")
{
    refuseExisting(path_);
    refuseExisting(rowFilePath_);
}

void WorkbookFile::runStarted(const RunSettings &settings, int64_t startedUtcMs, int64_t keptRun,
                              std::string journalPath)
{
    run_.settings = settings;
    run_.startedUtcMs = startedUtcMs;
    keptRun_ = keptRun;
    journalPath_ = std::move(journalPath);
}

void WorkbookFile::append(const RecordedRow &row)
{
    run_.appendRow(row);
}

bool WorkbookFile::finish(int64_t stoppedUtcMs)
{
    run_.stoppedUtcMs = stoppedUtcMs;
    if (keptRun_ != 0) {
        journal::JournalReader reader(journalPath_);
        if (const auto chain = reader.runChain(keptRun_))
            run_.chain = RunSnapshot::ChainHashes{chain->head, chain->first, chain->last};
    }
    if (run_.rowCount() > 0) {
        if (const auto failure = XlsxFormat().write(run_, QString::fromStdString(path_)))
            throw std::runtime_error(path_ + ": " + failure->toStdString() + "; the rows are kept in " +
                                     rowFilePath_);
    }
    if (::unlink(rowFilePath_.c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error(rowFilePath_ + ": " + std::strerror(errno));
    return run_.rowCount() > 0;
}

} // namespace pondus::logger

// Usage: journal_bench [rows], 432000 unless given (a day at one row per 0,2 s).
//
// Measures the measurement journal on its own with rows of ten balances:
// the time to commit one row (median and worst), bytes of file per row, and
// the time to read the whole table back for recovery; and the hash chain's
// share: its work per row, keeping its head file, its bytes per row, and
// the time to verify it all.
#include "JournaledDay.h"
#include "journal/ChainVerifier.h"
#include "journal/HeadFile.h"
#include "journal/Journal.h"
#include "journal/JournalChain.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 432000;
    std::string folder = (std::filesystem::temp_directory_path() / "journal-bench-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        return 1;
    const std::string path = folder + "/journal.sqlite";
    bool failed = false;
    {
        pondus::journal::Journal journal(path, [&](const std::string &where, const std::string &reason) {
            std::fprintf(stderr, "journal failed: %s: %s\n", where.c_str(), reason.c_str());
            failed = true;
        });
        journal.programStarted();
        journal.runStarted(benchRunSettings());
        std::vector<double> commitMs;
        commitMs.reserve(size_t(rows));
        const auto written = Clock::now();
        for (int n = 1; n <= rows && !failed; ++n) {
            const RecordedRow row = benchRowOf(n);
            const auto start = Clock::now();
            journal.recordRow(row);
            commitMs.push_back(msSince(start));
        }
        const double totalMs = msSince(written);
        std::sort(commitMs.begin(), commitMs.end());
        std::printf("rows of ten balances written: %d in %.1f s\n", rows, totalMs / 1000);
        std::printf("commit of one row: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms\n",
                    commitMs[commitMs.size() / 2], commitMs[commitMs.size() * 99 / 100], commitMs.back());
        journal.programExited();
    }
    const auto bytes = std::filesystem::file_size(path);
    std::printf("journal file: %.1f MB, %.1f bytes per row\n", double(bytes) / 1e6, double(bytes) / rows);
    {
        pondus::journal::Journal journal(path, {});
        journal.open();
        const auto start = Clock::now();
        const auto pending = journal.pendingSheets();
        int64_t restored = 0;
        int64_t checksum = 0;
        if (!pending.empty())
            journal.restore(pending.front(), {nullptr,
                                              [&](const RecordedRow &row) {
                                                  ++restored;
                                                  checksum += row.readings.back().rawValue;
                                              },
                                              nullptr, nullptr});
        std::printf("reading back %lld rows for recovery: %.2f s (checksum %lld)\n", (long long)restored,
                    msSince(start) / 1000, (long long)checksum);
    }
    {
        // The chain's own work for one row: its canonical text and digest.
        pondus::journal::Digest head{};
        std::vector<double> chainMs;
        for (int n = 1; n <= std::min(rows, 100000); ++n) {
            const std::string values = "[" + std::to_string(n) + ",1,2,3,4,5,6,7,8,9]";
            const auto start = Clock::now();
            head = pondus::journal::chainDigest(
                head, pondus::journal::rowContent({n, 1, n, n, 1'700'000'000'000 + n, 10800, values, 1023,
                                                   "0000000000", {}}));
            chainMs.push_back(msSince(start));
        }
        std::sort(chainMs.begin(), chainMs.end());
        std::printf("the chain's work per row: median %.4f ms\n", chainMs[chainMs.size() / 2]);
        // Its head kept beside the journal after each commit, as recordRow does.
        pondus::journal::HeadFile headFile;
        headFile.open(folder + "/bench.head", 0, head);
        std::vector<double> headMs;
        for (int n = 1; n <= std::min(rows, 100000); ++n) {
            const auto start = Clock::now();
            headFile.write(n, head);
            headMs.push_back(msSince(start));
        }
        std::sort(headMs.begin(), headMs.end());
        std::printf("keeping the head file per commit: median %.4f ms, 99th percentile %.4f ms\n",
                    headMs[headMs.size() / 2], headMs[headMs.size() * 99 / 100]);
        const auto start = Clock::now();
        const pondus::journal::ChainCheck check = pondus::journal::verifyChain(path);
        std::printf("verifying the chain: %lld links in %.2f s, %s\n", (long long)check.links, msSince(start) / 1000,
                    check.intact ? "intact" : check.broken.c_str());
        // The same file without the chain's columns, both compacted.
        const std::string bare = folder + "/bare.sqlite";
        std::filesystem::copy_file(path, bare);
        sqlite3 *db = nullptr;
        for (const std::string &file : {path, bare}) {
            sqlite3_open(file.c_str(), &db);
            if (file == bare)
                sqlite3_exec(db, "UPDATE measurement SET link = NULL, hash = NULL", nullptr, nullptr, nullptr);
            sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        std::printf("compacted file: %.1f bytes per row with the chain, %.1f without\n",
                    double(std::filesystem::file_size(path)) / rows, double(std::filesystem::file_size(bare)) / rows);
    }
    std::filesystem::remove_all(folder);
    return failed ? 1 : 0;
}

// What pondus-log costs on a line of ten balances at 19200 baud, recording at
// the shortest period, 0,2 s: its CPU against that of the library alone
// polled by a bare client at the same period, and its resident memory early
// in the run against at its end (flat means no growth per row).
//
//   logger_bench PONDUS_LOG LIBRARY SIMULATOR [seconds, default 60]
#include "ProcessUsage.h"
#include "SimulatorProcess.h"
#include "TrutinaClient.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using pondus::sim::SimulatorProcess;
namespace fs = std::filesystem;

constexpr auto period = std::chrono::milliseconds(200);

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds and resident bytes of another process, from /proc.
struct Usage {
    double cpuSeconds;
    long residentBytes;
};

Usage usageOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    // The command name may hold spaces; the fields after its ')' are fixed.
    std::getline(stat, field, ')');
    unsigned long long user = 0;
    unsigned long long system = 0;
    for (int i = 3; i <= 15 && stat >> field; ++i) {
        if (i == 14)
            user = std::stoull(field);
        if (i == 15)
            system = std::stoull(field);
    }
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return {double(user + system) / double(::sysconf(_SC_CLK_TCK)), resident * ::sysconf(_SC_PAGESIZE)};
}

// The library alone, polled as a client that does nothing else would.
double libraryCpuShare(const std::string &libraryPath, double seconds)
{
    const trutina::Library library(libraryPath);
    if (!library.exports().complete())
        throw std::runtime_error(library.error());
    library.setComPort(1);
    trutina::Block block;
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    for (auto next = start; secondsSince(start) < seconds; next += period) {
        std::this_thread::sleep_until(next);
        library.freshData(block);
    }
    return (cpuSeconds() - cpuBefore) / secondsSince(start);
}

pid_t startLogger(const std::string &program, const std::string &libraryPath, const std::string &device,
                  const fs::path &output)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            ::_exit(127);
        ::execl(program.c_str(), program.c_str(), "--library", libraryPath.c_str(), "--port", device.c_str(),
                "--period", "0,2", "-o", output.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    return pid;
}

long rowsIn(const fs::path &path)
{
    std::ifstream in(path);
    long lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return std::max(0L, lines - 3);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PONDUS_LOG LIBRARY SIMULATOR [SECONDS]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 4 ? std::atof(argv[4]) : 60.0;
    try {
        const SimulatorProcess line(argv[3], {"--quiet", "--balances", "10", "--baud", "19200"});
        ::setenv("TRUTINA_COM1", line.path().c_str(), 1);
        const double library = libraryCpuShare(argv[2], std::min(seconds, 20.0));

        const fs::path output = fs::temp_directory_path() / ("logger-bench-" + std::to_string(::getpid()) + ".tsv");
        const pid_t logger = startLogger(argv[1], argv[2], line.path(), output);
        // Early figures once the line is on line and the first rows are written.
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(std::max(3.0, seconds / 10)));
        const Usage early = usageOf(logger);
        const long earlyRows = rowsIn(output);
        const double earlyAt = secondsSince(start);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds - earlyAt));
        const Usage late = usageOf(logger);
        const long lateRows = rowsIn(output);
        const double window = secondsSince(start) - earlyAt;
        ::kill(logger, SIGTERM);
        int status = 0;
        ::waitpid(logger, &status, 0);
        fs::remove(output);

        const double loggerShare = (late.cpuSeconds - early.cpuSeconds) / window;
        std::printf("ten balances, 19200 baud, period 0,2 s, %.0f s:\n", seconds);
        std::printf("   rows: %ld in %.0f s (%.2f per s; a poll every 0,2 s is 5 per s)\n", lateRows - earlyRows,
                    window, double(lateRows - earlyRows) / window);
        std::printf("   CPU: pondus-log %.2f %% of one core, the library alone %.2f %%: %.2f %% above the library\n",
                    100 * loggerShare, 100 * library, 100 * (loggerShare - library));
        std::printf("   resident memory: %.1f MiB after %.0f s, %.1f MiB at the end: %+.1f KiB over %ld rows "
                    "(%.1f bytes per row)\n",
                    double(early.residentBytes) / 1048576.0, earlyAt, double(late.residentBytes) / 1048576.0,
                    double(late.residentBytes - early.residentBytes) / 1024.0, lateRows - earlyRows,
                    double(late.residentBytes - early.residentBytes) / double(std::max(1L, lateRows - earlyRows)));
        std::printf("   exit on SIGTERM: %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "logger_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}

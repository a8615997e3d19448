// Measures the scale link library on a simulated line at 19200 baud:
// readings per second per balance against what the line allows, the CPU
// the polling process spends, the CPU of a search for absent ports, and
// how long unloading takes while the worker awaits a reply.
//
//   line_bench LIBRARY SIMULATOR [seconds per measurement, default 10]
#include "ProcessUsage.h"
#include "SimulatorProcess.h"
#include "TrutinaClient.h"
#include "WaitFor.h"

#include "balance_sim/line.h"
#include "balance_sim/pty_line.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using pondus::sim::SimulatorProcess;
using trutina::testing::waitFor;
namespace fs = std::filesystem;

constexpr int baud = 19200;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

trutina::Library load(const std::string &path)
{
    trutina::Library library(path);
    if (!library.exports().complete())
        throw std::runtime_error(library.error());
    return library;
}

// The library on line within a bound.
bool comesOnLine(const trutina::Library &library)
{
    return waitFor([&] { return library.fresh().online(); }, std::chrono::seconds(10));
}

// The simulator as a process of its own, so that its CPU is not counted.
SimulatorProcess startSimulator(const std::string &program, int balances, int lineBaud)
{
    std::vector<std::string> args = {"--quiet", "--balances", std::to_string(balances)};
    if (lineBaud > 0) { // else the line answers at once
        args.push_back("--baud");
        args.push_back(std::to_string(lineBaud));
    }
    return SimulatorProcess(program, args);
}

// Each byte goes out and travels through every balance and back: N + 1
// hops of one byte time each. A round of the poll sends N + 1 frames of
// eight bytes and brings one reading of every balance.
double idealReadingsPerSecond(int balances)
{
    return 1.0 / ((balances + 1) * 8 * pondus::sim::byteRoundTripSeconds(balances, baud));
}

struct PollFigures {
    double readingsPerBalance; // per second
    double cpuShare;           // of one core
};

PollFigures measurePolling(const std::string &libraryPath, const std::string &simulator,
                           int balances, int lineBaud, double seconds)
{
    const SimulatorProcess line = startSimulator(simulator, balances, lineBaud);
    ::setenv("TRUTINA_COM1", line.path().c_str(), 1);
    const trutina::Library library = load(libraryPath);
    library.setComPort(1);
    if (!comesOnLine(library))
        throw std::runtime_error("the line did not come on line");
    auto totalReadings = [&] {
        const trutina::Block block = library.fresh();
        int64_t sum = 0;
        for (int p = 1; p <= balances; ++p)
            sum += block.readingCount(p);
        return sum;
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // past the first round
    const int64_t readingsBefore = totalReadings();
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = secondsSince(start);
    return {double(totalReadings() - readingsBefore) / balances / wall, (cpuSeconds() - cpuBefore) / wall};
}

// Time per byte round trip implied by a reading rate: a round of N + 1
// frames of eight bytes brings one reading of each balance.
double microsecondsPerByte(int balances, double readingsPerBalance)
{
    return 1e6 / (readingsPerBalance * (balances + 1) * 8);
}

void reportPolling(const std::string &libraryPath, const std::string &simulator,
                   int balances, double seconds)
{
    // The same line answering at once shows what the pseudo-terminal and
    // the scheduler add to every byte, whatever the library does.
    const PollFigures instant = measurePolling(libraryPath, simulator, balances, 0, seconds / 2);
    const PollFigures paced = measurePolling(libraryPath, simulator, balances, baud, seconds);
    const double ideal = idealReadingsPerSecond(balances);
    const double lineMicros = microsecondsPerByte(balances, ideal);
    const double transportMicros = microsecondsPerByte(balances, instant.readingsPerBalance);
    const double measuredMicros = microsecondsPerByte(balances, paced.readingsPerBalance);
    std::printf("%2d balances at %d baud: %.2f readings/s per balance; the line allows %.2f: %.1f %%\n",
                balances, baud, paced.readingsPerBalance, ideal, 100.0 * paced.readingsPerBalance / ideal);
    std::printf("   per byte: %.0f us measured = %.0f us line + %.0f us transport "
                "(pseudo-terminal round trip, %.0f us with an instant line); "
                "of line + transport: %.1f %%\n",
                measuredMicros, lineMicros, measuredMicros - lineMicros, transportMicros,
                100.0 * (lineMicros + transportMicros) / measuredMicros);
    std::printf("   CPU of the polling process: %.2f %% of one core (%.2f %% with an instant line)\n",
                100.0 * paced.cpuShare, 100.0 * instant.cpuShare);
}

void measureSearch(const std::string &libraryPath, double seconds)
{
    const std::string absent = (fs::temp_directory_path() / ("line-bench-absent-" + std::to_string(::getpid()))).string();
    for (int port = 1; port <= 4; ++port)
        ::setenv(("TRUTINA_COM" + std::to_string(port)).c_str(), absent.c_str(), 1);
    const trutina::Library library = load(libraryPath);
    library.setComPort(0);
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = secondsSince(start);
    std::printf("search for absent ports: CPU %5.2f %% of one core\n", 100.0 * (cpuSeconds() - cpuBefore) / wall);
}

void measureUnload(const std::string &libraryPath)
{
    using namespace pondus::sim;
    Line line(std::vector<BalanceConfig>(3));
    PtyLine pty(line);
    ::setenv("TRUTINA_COM1", pty.path().c_str(), 1);
    trutina::Library library = load(libraryPath);
    library.setComPort(1);
    if (!comesOnLine(library))
        throw std::runtime_error("the line did not come on line");
    line.setUnplugged(true); // replies stop: the worker is left waiting for one
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    library.unload();
    std::printf("unload while awaiting a reply: %.2f ms\n", secondsSince(start) * 1000.0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIBRARY SIMULATOR [SECONDS]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    try {
        for (int balances : {3, 10})
            reportPolling(argv[1], argv[2], balances, seconds);
        measureSearch(argv[1], seconds);
        measureUnload(argv[1]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "line_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}

// The balance-sim program itself, run through SimulatorProcess as the
// library's tests and the demo run it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "SimulatorProcess.h"
#include "balance_sim/pty_line.h"
#include "host.h"

namespace pondus::sim {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using testing::PortClient;

fs::path uniqueLink(const char* name)
{
    return fs::temp_directory_path() / (std::string("balance_sim_") + name + "_" + std::to_string(::getpid()));
}

SimulatorProcess start(std::vector<std::string> args)
{
    return SimulatorProcess(BALANCE_SIM_PROGRAM, args);
}

TEST(Program, ServesTheReadyMadeLine)
{
    const auto link = uniqueLink("serve");
    {
        SimulatorProcess sim(BALANCE_SIM_PROGRAM, {"--link", link.string(), "--balances", "4"});
        EXPECT_TRUE(sim.path().starts_with("/dev/pts/")) << sim.path();
        EXPECT_EQ(fs::read_symlink(link), sim.path());

        PortClient port(link.string());
        ASSERT_TRUE(port.isOpen());
        auto host = port.host();
        ASSERT_TRUE(host.setUp());
        EXPECT_EQ(host.balanceCount, 4);
        EXPECT_EQ(host.tables.modelCode[1], 300);
        EXPECT_EQ(host.tables.modelCode[2], 400);
        EXPECT_TRUE(host.poll(10));
        EXPECT_EQ(host.invalidReplies, 0);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(Program, BalancesOfTheCommandLine)
{
    SimulatorProcess sim(BALANCE_SIM_PROGRAM,
                         {"--balance", "kind=2,model=3,ident=1234,unit=kg,decimals=3,weight=fixed:-0.002",
                          "--balance", "kind=other"});
    PortClient port(sim.path());
    auto host = port.host();
    ASSERT_TRUE(host.setUp());
    EXPECT_EQ(host.balanceCount, 2);
    EXPECT_EQ(host.tables.modelCode[1], 403);
    EXPECT_EQ(host.tables.ident[1], 1234);
    EXPECT_EQ(host.tables.modelCode[2], 100);
    ASSERT_TRUE(host.poll(3));
    EXPECT_EQ(host.tables.raw[1], -2);
    EXPECT_EQ(host.tables.divisor[1], 1000);
    EXPECT_EQ(host.tables.unit[1], 205);
}

TEST(Program, UnplugHangsUpTheClientAndReplugOffersANewTerminal)
{
    const auto link = uniqueLink("replug");
    SimulatorProcess sim(BALANCE_SIM_PROGRAM, {"--link", link.string(), "--balances", "1"});
    PortClient port(link.string());
    ASSERT_EQ(port.host().count(), 1);

    sim.unplug();
    EXPECT_TRUE(port.hungUp(milliseconds{2000}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    sim.replug();
    EXPECT_EQ(fs::read_symlink(link), sim.path());
    PortClient again(link.string());
    EXPECT_EQ(again.host().count(), 1);
}

TEST(Program, UnplugsAndReplugsOnItsOwnSchedule)
{
    SimulatorProcess sim(BALANCE_SIM_PROGRAM, {"--unplug-after", "0.2", "--replug-after", "0.2"});
    PortClient port(sim.path());
    EXPECT_TRUE(port.hungUp(milliseconds{3000}));
}

TEST(Program, FaultOptionsReachTheLine)
{
    SimulatorProcess sim(BALANCE_SIM_PROGRAM, {"--balances", "2", "--corrupt", "1"});
    PortClient port(sim.path());
    auto host = port.host();
    ASSERT_TRUE(host.setUp());
    EXPECT_EQ(host.tables.modelCode[1], 100);  // every scan answer failed its check
    EXPECT_TRUE(host.poll(6));
    EXPECT_EQ(host.readingCount(), 0);

    SimulatorProcess never(BALANCE_SIM_PROGRAM, {"--never-sync"});
    PortClient other(never.path());
    EXPECT_EQ(other.host().count(), std::nullopt);
}

TEST(Program, StrayBytesAndBaudPacing)
{
    SimulatorProcess stray(BALANCE_SIM_PROGRAM, {"--stray-bytes", "100"});
    PortClient noisy(stray.path());
    EXPECT_TRUE(noisy.readByte(milliseconds{2000}));

    SimulatorProcess paced(BALANCE_SIM_PROGRAM, {"--balances", "15", "--baud", "9600"});
    PortClient port(paced.path());
    const auto before = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(port.exchange(0x00));
    }
    // 16 hops of 10 bits at 9600 baud: about 17 ms a byte, at the least.
    EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds{160});
}

TEST(Program, StrayByteOnASignalAndTheAdapterLatencyTimer)
{
    SimulatorProcess sim(BALANCE_SIM_PROGRAM, {"--balances", "0", "--latency-ms", "40"});
    PortClient port(sim.path());
    sim.strayMidFrame();
    std::vector<std::uint8_t> back;
    const auto start = std::chrono::steady_clock::now();
    for (const std::uint8_t byte : kFramePreamble) {
        back.push_back(port.exchange(byte, milliseconds{2000}).value_or(0));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds{3 * 40}) << "answers wait for the timer";
    EXPECT_EQ(back, (std::vector<std::uint8_t>{'S', 'i', 'm', kStrayByte, 'p', 'l'})) << "one byte out of step";
}

TEST(Program, StopsAfterTheDurationAndRejectsBadOptions)
{
    // Long enough for the client to open the line first on a busy machine.
    SimulatorProcess timed(BALANCE_SIM_PROGRAM, {"--duration", "1", "--quiet"});
    EXPECT_TRUE(PortClient(timed.path()).hungUp(milliseconds{10000}));

    EXPECT_THROW(start({"--balances", "99"}), std::runtime_error);
    EXPECT_THROW(SimulatorProcess("/nonexistent/balance-sim", {}), std::system_error);
}

}  // namespace
}  // namespace pondus::sim

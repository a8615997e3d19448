// The shared library on simulated balance lines behind pseudo-terminals,
// driven only through SetComPort and FreshData.
#include "TrutinaClient.h"
#include "ComLinks.h"
#include "WaitFor.h"

#include "balance_sim/line.h"
#include "balance_sim/pty_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <list>
#include <optional>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace trutina {
namespace {

using namespace std::chrono_literals;
using pondus::sim::BalanceConfig;
using pondus::sim::Kind;
using pondus::sim::Line;
using pondus::sim::PtyLine;
using pondus::sim::PtyOptions;
using pondus::sim::Reading;
using pondus::sim::Unit;
using pondus::sim::WeightProfile;
using testing::waitFor;

namespace fs = std::filesystem;

std::vector<BalanceConfig> balances(int count)
{
    std::vector<BalanceConfig> configs;
    for (int i = 1; i <= count; ++i)
        configs.push_back({i == 2 ? Kind::Two : Kind::One, static_cast<uint8_t>(i), uint32_t(500'000 + i),
                           WeightProfile::constant(Reading{i == 1 ? -2 : 12345 * i, i, Unit::Gram, i != 3})});
    return configs;
}

int32_t utcMillisecondsOfDay()
{
    using namespace std::chrono;
    return static_cast<int32_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() %
                                86'400'000);
}

// COM1..COM4 name links in a folder of the test's own; a port "exists"
// while a simulated line is plugged in behind its link.
class LibraryEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { folder = testing::pointPortsIntoFolder("trutina-e2e-"); }
    static void TearDownTestSuite() { fs::remove_all(folder); }
    static std::string linkFor(int port) { return testing::comLink(folder, port); }

    Line &makeLine(int balanceCount) { return lines.emplace_back(balances(balanceCount)); }
    void plugIn(int port, Line &line) { plugged[port].emplace(line, PtyOptions{linkFor(port), {}}); }
    void unplug(int port) { plugged[port].reset(); }

    void SetUp() override { ASSERT_TRUE(library.exports().complete()) << library.error(); }
    bool online() { return library.fresh().online(); }
    int32_t readings(int position) { return library.fresh().readingCount(position); }

    static inline fs::path folder;
    Library library{TRUTINA_LIBRARY_PATH};
    std::list<Line> lines; // outlive the terminals that play them
    std::optional<PtyLine> plugged[5];
};

TEST_F(LibraryEndToEnd, BlockBeforeAnyPortRequest)
{
    EXPECT_EQ(0, library.freshData(nullptr));
    Block block;
    block.fill(-7);
    EXPECT_NE(0, library.freshData(block.data()));
    EXPECT_EQ(65538, block.version());
    EXPECT_EQ(101, block.linkState());
    EXPECT_EQ(0, block.currentPort());
    EXPECT_EQ(0, block.balanceCount());
    for (int p = 0; p < 16; ++p) {
        EXPECT_EQ(100, block.modelCode(p));
        EXPECT_EQ(0, block.readingCount(p));
        EXPECT_EQ(100, block.unitCode(p));
        EXPECT_EQ(1, block.divisor(p));
    }
}

TEST_F(LibraryEndToEnd, ThreeBalancesOnCom1AreCountedIdentifiedAndPolled)
{
    Line &line = makeLine(3);
    plugIn(1, line);
    EXPECT_NE(0, library.setComPort(1));
    ASSERT_TRUE(waitFor([&] { return online(); }));
    ASSERT_TRUE(waitFor([&] { return readings(1) >= 3 && readings(2) >= 3 && readings(3) >= 3; }));

    const Block block = library.fresh();
    EXPECT_EQ(1, block.currentPort());
    EXPECT_EQ(3, block.balanceCount());
    EXPECT_EQ(301, block.modelCode(1));
    EXPECT_EQ(402, block.modelCode(2));
    EXPECT_EQ(303, block.modelCode(3));
    EXPECT_EQ(500'003, block.identNumber(3));

    EXPECT_EQ(-2, block.rawValue(1));
    EXPECT_EQ(10, block.divisor(1));
    EXPECT_DOUBLE_EQ(-0.2, block.weight(1));
    EXPECT_EQ(24690, block.rawValue(2));
    EXPECT_EQ(100, block.divisor(2));
    EXPECT_TRUE(block.stable(2));
    EXPECT_FALSE(block.stable(3));
    EXPECT_EQ(200, block.unitCode(3));
    EXPECT_STREQ("g", block.unit(3));

    const int32_t age = utcMillisecondsOfDay() - block.timeOfDayMs(1);
    EXPECT_TRUE((age >= 0 && age < 10'000) || age < -86'000'000) << "reading time is the UTC time of day";
    EXPECT_EQ(0, library.setComPort(1)) << "only the first request starts the worker";
}

TEST_F(LibraryEndToEnd, AutomaticSearchFindsTheLineOnCom2)
{
    Line &line = makeLine(2);
    plugIn(2, line);
    library.setComPort(0);
    ASSERT_TRUE(waitFor([&] { return online(); }));
    const Block block = library.fresh();
    EXPECT_EQ(2, block.currentPort());
    EXPECT_EQ(2, block.balanceCount());
    EXPECT_EQ(301, block.modelCode(1));
    EXPECT_EQ(402, block.modelCode(2));
}

TEST_F(LibraryEndToEnd, UnpluggedLineIsNoticedAtOnceAndFoundAgain)
{
    Line &line = makeLine(2);
    plugIn(3, line);
    library.setComPort(0);
    ASSERT_TRUE(waitFor([&] { return readings(1) > 0 && readings(2) > 0; }));

    unplug(3);
    const auto unpluggedAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return !online(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - unpluggedAt, 900ms) << "no byte time-out was waited out";
    ASSERT_TRUE(waitFor([&] { return library.fresh().currentPort() == 4; })) << "the search moves on";
    const int32_t count = readings(1);
    EXPECT_GT(count, 0) << "readings are kept";

    plugIn(3, line);
    ASSERT_TRUE(waitFor([&] { return online(); }));
    EXPECT_EQ(3, library.fresh().currentPort());
    ASSERT_TRUE(waitFor([&] { return readings(1) > count; }));
}

TEST_F(LibraryEndToEnd, ABalanceThatAnswersEveryScanBadlyIsPolledAllTheSame)
{
    struct Case {
        int balances;
        std::vector<int> failing; // positions whose identify and model replies fail
    };
    for (const Case &c : {Case{1, {1}}, Case{2, {1, 2}}}) {
        std::vector<BalanceConfig> configs = balances(c.balances);
        for (const int p : c.failing)
            configs[size_t(p - 1)].badScanFrom = 1;
        Line &line = lines.emplace_back(configs);
        plugIn(1, line);
        library.setComPort(1);
        ASSERT_TRUE(waitFor([&] { return online() && readings(c.balances) > 2; }, 15s))
            << c.balances << " balance(s): link " << library.fresh().linkState();
        const Block block = library.fresh();
        EXPECT_EQ(c.balances, block.balanceCount());
        for (const int p : c.failing) {
            EXPECT_EQ(100, block.modelCode(p));
            EXPECT_EQ(0, block.identNumber(p));
        }
        unplug(1);
        ASSERT_TRUE(waitFor([&] { return !online(); }));
    }
}

TEST_F(LibraryEndToEnd, PortChangeRestartsTheSearch)
{
    Line &first = makeLine(1);
    Line &second = makeLine(3);
    plugIn(1, first);
    plugIn(4, second);
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(); }));
    EXPECT_EQ(1, library.fresh().balanceCount());

    EXPECT_EQ(0, library.setComPort(4));
    ASSERT_TRUE(waitFor([&] { return online() && library.fresh().currentPort() == 4; }));
    EXPECT_EQ(3, library.fresh().balanceCount());
}

TEST_F(LibraryEndToEnd, RequestsFromManyThreadsStartOneWorker)
{
    std::vector<std::future<int32_t>> calls;
    for (int i = 0; i < 8; ++i)
        calls.push_back(std::async(std::launch::async, [&] { return library.setComPort(0); }));
    int started = 0;
    for (auto &call : calls)
        started += call.get() != 0;
    EXPECT_EQ(1, started);
}

TEST_F(LibraryEndToEnd, UnloadingStopsAWorkerThatAwaitsAReply)
{
    Line &line = makeLine(2);
    plugIn(1, line);
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(); }));
    line.setUnplugged(true); // bytes vanish: the worker waits for a reply

    auto unloaded = std::async(std::launch::async, [&] {
        const auto start = std::chrono::steady_clock::now();
        library.unload();
        return std::chrono::steady_clock::now() - start;
    });
    ASSERT_EQ(std::future_status::ready, unloaded.wait_for(10s)) << "unloading hangs";
    EXPECT_LT(unloaded.get(), 900ms) << "the wait for a reply was not cut short";
}

TEST_F(LibraryEndToEnd, ProcessExitsWhileTheWorkerAwaitsAReply)
{
    Line &line = makeLine(1);
    line.setUnplugged(true);
    plugIn(2, line);
    const std::string probe = TRUTINA_EXIT_PROBE;
    char *argv[] = {const_cast<char *>(probe.c_str()), const_cast<char *>(TRUTINA_LIBRARY_PATH), nullptr};
    pid_t child = 0;
    ASSERT_EQ(0, ::posix_spawn(&child, probe.c_str(), nullptr, nullptr, argv, environ));
    int status = 0;
    ASSERT_TRUE(waitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10s))
        << "the process did not end";
    ASSERT_TRUE(WIFEXITED(status)) << "crashed with signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status));
}

} // namespace
} // namespace trutina

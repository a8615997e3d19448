// The shared library against the faults of real lines, on simulated lines
// behind pseudo-terminals, driven only through SetComPort and FreshData:
// noise, a second program on the port, a forking host, a port change during
// a long step, a device that only echoes.
#include "TrutinaClient.h"
#include "ComLinks.h"
#include "WaitFor.h"

#include "balance_sim/line.h"
#include "balance_sim/pty_line.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace trutina {
namespace {

using namespace std::chrono_literals;
using pondus::sim::BalanceConfig;
using pondus::sim::Line;
using pondus::sim::LineFaults;
using pondus::sim::PtyLine;
using pondus::sim::PtyOptions;
using testing::waitFor;
namespace fs = std::filesystem;

class LineUnderFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() { folder = testing::pointPortsIntoFolder("trutina-faults-"); }
    static void TearDownTestSuite() { fs::remove_all(folder); }
    static std::string linkFor(int port) { return testing::comLink(folder, port); }

    // A line of `balances` balances at 19200 baud behind COMn.
    Line &plugIn(int port, int balances)
    {
        Line &line = lines.emplace_back(std::vector<BalanceConfig>(balances));
        const auto byteTime = std::chrono::duration<double>(pondus::sim::byteRoundTripSeconds(balances, 19200));
        plugged[port].emplace(line, PtyOptions{linkFor(port), std::chrono::duration_cast<std::chrono::nanoseconds>(byteTime)});
        return line;
    }

    static bool online(const Library &library) { return library.fresh().online(); }
    static int32_t readings(const Library &library, int position) { return library.fresh().readingCount(position); }
    // True when every balance brings `more` readings within the time.
    static bool readingsGrow(const Library &library, int balances, int more, std::chrono::milliseconds limit)
    {
        std::vector<int32_t> before;
        for (int p = 1; p <= balances; ++p)
            before.push_back(readings(library, p));
        return waitFor([&] {
            for (int p = 1; p <= balances; ++p)
                if (readings(library, p) < before[p - 1] + more)
                    return false;
            return true;
        }, limit);
    }

    static inline fs::path folder;
    Library library{TRUTINA_LIBRARY_PATH};
    std::list<Line> lines; // outlive the terminals that play them
    std::optional<PtyLine> plugged[5];
};

TEST_F(LineUnderFaults, OneStrayByteMidFrameCostsAtMostARound)
{
    plugIn(1, 3);
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(library); }, 10s));
    ASSERT_TRUE(readingsGrow(library, 3, 2, 10s));
    plugged[1]->strayMidFrame();
    // Stuck one byte out of step, no reply would pass its checks again.
    EXPECT_TRUE(readingsGrow(library, 3, 5, 5s)) << "readings did not resume";
    EXPECT_TRUE(online(library));
}

TEST_F(LineUnderFaults, ARoundWithoutAValidReplyCountsTheLineAgain)
{
    Line &line = plugIn(1, 2);
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(library); }, 10s));
    const auto counts = line.stats().countBytes;
    LineFaults corrupt;
    corrupt.corruptRate = 1;
    line.setFaults(corrupt);
    EXPECT_TRUE(waitFor([&] { return line.stats().countBytes >= counts + 2; }, 10s));
    line.setFaults({});
    ASSERT_TRUE(readingsGrow(library, 2, 3, 10s));
    EXPECT_EQ(2, library.fresh().balanceCount());
    EXPECT_NE(100, library.fresh().modelCode(1)) << "scanned again once in step";
}

TEST_F(LineUnderFaults, ASecondProgramOnThePortIsRefused)
{
    plugIn(1, 2);
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(library); }, 10s));

    // A second copy of the library is a second program's worker.
    const fs::path copy = folder / "second-instance.so";
    fs::copy_file(TRUTINA_LIBRARY_PATH, copy, fs::copy_options::overwrite_existing);
    Library second(copy.string());
    second.setComPort(1);
    EXPECT_FALSE(waitFor([&] { return second.fresh().linkState() != TRUTINA_LINK_SETTING_UP; }, 1500ms))
        << "the second program got through to the line";
    EXPECT_TRUE(online(library));
    EXPECT_TRUE(readingsGrow(library, 2, 5, 10s));

    library.setComPort(2); // the first lets go of COM1
    EXPECT_TRUE(waitFor([&] { return online(second); }, 10s)) << "the port is free again";
}

TEST_F(LineUnderFaults, AForkedChildThatEndsLeavesTheParentsLinkAlone)
{
    plugIn(1, 2);
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(library); }, 10s));
    for (const auto &entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == plugged[1]->devicePath()) {
            EXPECT_TRUE(::fcntl(std::stoi(entry.path().filename()), F_GETFD) & FD_CLOEXEC);
        }
    }

    const pid_t child = ::fork();
    if (child == 0)
        std::exit(0); // a normal end: the library's destructors run in the child
    ASSERT_GT(child, 0);
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10s);
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    EXPECT_TRUE(ended && WIFEXITED(status)) << "the child did not end by itself";
    EXPECT_TRUE(readingsGrow(library, 2, 10, 10s));
    EXPECT_TRUE(online(library));
}

TEST_F(LineUnderFaults, APortChangeCutsALongStepShort)
{
    Line &slow = plugIn(1, 1);
    LineFaults late;
    late.replyDelay = 900ms;
    slow.setFaults(late);
    plugIn(2, 2);
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return library.fresh().linkState() == TRUTINA_LINK_INITIALISING; }, 10s));
    library.setComPort(2);
    // Counting on the slow line takes sixteen seconds and more.
    EXPECT_TRUE(waitFor([&] { return online(library) && library.fresh().currentPort() == 2; }, 4s));
}

TEST_F(LineUnderFaults, AnEchoingDeviceIsCountedAtAGentlePace)
{
    Line &echo = plugIn(1, 0); // no balances: every byte comes back as sent
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return echo.stats().countBytes > 0; }, 10s));
    const auto before = echo.stats().countBytes;
    std::this_thread::sleep_for(2s); // the window in which the attempts are counted
    const auto attempts = echo.stats().countBytes - before;
    EXPECT_LT(attempts, 40u) << "a pause of 75 ms follows each failed count";
    EXPECT_GE(attempts, 3u) << "yet it is tried again";
}

} // namespace
} // namespace trutina

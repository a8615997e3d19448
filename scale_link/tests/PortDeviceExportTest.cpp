// SetPortDevice through the shared library: an assigned device is opened,
// the environment variable wins over it, and a removed one is not opened.
#include "TrutinaClient.h"
#include "WaitFor.h"

#include "balance_sim/line.h"
#include "balance_sim/pty_line.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace trutina {
namespace {

using namespace std::chrono_literals;
using pondus::sim::BalanceConfig;
using pondus::sim::Kind;
using pondus::sim::Line;
using pondus::sim::PtyLine;
using pondus::sim::Reading;
using pondus::sim::Unit;
using pondus::sim::WeightProfile;
using testing::waitFor;

std::vector<BalanceConfig> balances(int count)
{
    std::vector<BalanceConfig> configs;
    for (int i = 1; i <= count; ++i)
        configs.push_back({Kind::One, uint8_t(i), uint32_t(700'000 + i),
                           WeightProfile::constant(Reading{100 * i, 1, Unit::Gram, true})});
    return configs;
}

// The environment is set before the library's worker runs and left alone
// while it runs.
class PortDeviceExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int port = 1; port <= 4; ++port)
            ::unsetenv(("TRUTINA_COM" + std::to_string(port)).c_str());
        ASSERT_TRUE(library.exports().complete()) << library.error();
        ASSERT_NE(nullptr, library.exports().setPortDevice);
    }
    void TearDown() override { ::unsetenv("TRUTINA_COM2"); }

    bool onlineOn(int port, int balanceCount)
    {
        const Block block = library.fresh();
        return block.online() && block.currentPort() == port && block.balanceCount() == balanceCount;
    }
    int32_t setPortDevice(int32_t port, const std::string &path) { return library.setPortDevice(port, path.c_str()); }

    Library library{TRUTINA_LIBRARY_PATH};
    Line twoBalances{balances(2)};
    PtyLine twoBalancePty{twoBalances};
};

TEST_F(PortDeviceExport, AssignedDeviceIsOpenedForItsPort)
{
    EXPECT_NE(0, setPortDevice(3, twoBalancePty.path()));
    EXPECT_EQ(0, setPortDevice(5, twoBalancePty.path()));
    EXPECT_EQ(0, setPortDevice(0, twoBalancePty.path()));
    library.setComPort(3);
    ASSERT_TRUE(waitFor([&] { return onlineOn(3, 2); }));
}

TEST_F(PortDeviceExport, AutomaticSearchFindsTheAssignedPort)
{
    setPortDevice(2, twoBalancePty.path());
    // The other ports lead nowhere, whatever this machine has as /dev/ttyS*.
    for (int port : {1, 3, 4})
        setPortDevice(port, "/nonexistent/serial");
    library.setComPort(0);
    ASSERT_TRUE(waitFor([&] { return onlineOn(2, 2); }));
}

TEST_F(PortDeviceExport, EnvironmentVariableWinsOverTheAssignment)
{
    Line oneBalance{balances(1)};
    PtyLine oneBalancePty{oneBalance};
    ::setenv("TRUTINA_COM2", oneBalancePty.path().c_str(), 1);
    setPortDevice(2, twoBalancePty.path());
    library.setComPort(2);
    ASSERT_TRUE(waitFor([&] { return onlineOn(2, 1); }));
}

TEST_F(PortDeviceExport, RemovedAssignmentIsNoLongerOpened)
{
    setPortDevice(1, twoBalancePty.path());
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return onlineOn(1, 2); }));

    // Back to the port's own device, /dev/ttyS0, where no balances are.
    setPortDevice(1, "");
    library.setComPort(1);
    EXPECT_FALSE(waitFor([&] { return onlineOn(1, 2); }, 1500ms));

    setPortDevice(1, twoBalancePty.path());
    library.setComPort(1);
    ASSERT_TRUE(waitFor([&] { return onlineOn(1, 2); }));
}

} // namespace
} // namespace trutina

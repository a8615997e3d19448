#include "LinkControl.h"

#include <gtest/gtest.h>

namespace trutina {
namespace {

TEST(LinkControl, RequestStartsTheSearchOverWithPortZero)
{
    LinkControl control;
    LinkStatus polling = control.load();
    polling.phase = LinkPhase::Polling;
    polling.currentPort = 2;
    ASSERT_TRUE(control.advance(control.load(), polling));

    control.request(3);
    const LinkStatus status = control.load();
    EXPECT_EQ(LinkPhase::PortSearch, status.phase);
    EXPECT_EQ(3, status.requestedPort);
    EXPECT_EQ(0, status.currentPort);
}

TEST(LinkControl, PortsOutsideOneToFourSearchAutomatically)
{
    LinkControl control;
    for (int port : {0, 5, -1, 256 + 2}) {
        control.request(port);
        EXPECT_EQ(0, control.load().requestedPort) << port;
    }
    control.request(4);
    EXPECT_EQ(4, control.load().requestedPort);
}

TEST(LinkControl, WorkerCannotOverwriteALaterRequest)
{
    LinkControl control;
    const LinkStatus seen = control.load();
    LinkStatus online = seen;
    online.phase = LinkPhase::Polling;

    control.request(1); // arrives while the worker is busy with `seen`
    EXPECT_FALSE(control.advance(seen, online));
    EXPECT_EQ(LinkPhase::PortSearch, control.load().phase);
}

TEST(LinkControl, AutomaticSearchCyclesThroughFourPorts)
{
    LinkStatus status;
    int tried[6];
    for (int &port : tried) {
        port = status.nextPortToTry();
        status.currentPort = static_cast<uint8_t>(port);
    }
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 1, 2}), std::vector<int>(std::begin(tried), std::end(tried)));
    status.requestedPort = 3;
    EXPECT_EQ(3, status.nextPortToTry());
}

} // namespace
} // namespace trutina

// The port assignments: range, removal, and changes from one thread while
// another opens ports.
#include "PortDevices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace trutina {
namespace {

TEST(PortDevices, AssignsPortsOneToFourOnly)
{
    PortDevices devices;
    EXPECT_TRUE(devices.assign(1, "/dev/ttyUSB0"));
    EXPECT_TRUE(devices.assign(4, "/dev/serial/by-id/usb-x-if00-port0"));
    EXPECT_FALSE(devices.assign(0, "/dev/ttyUSB1"));
    EXPECT_FALSE(devices.assign(5, "/dev/ttyUSB1"));
    EXPECT_EQ("/dev/ttyUSB0", devices.deviceFor(1));
    EXPECT_EQ("", devices.deviceFor(2));
    EXPECT_EQ("/dev/serial/by-id/usb-x-if00-port0", devices.deviceFor(4));
    EXPECT_EQ("", devices.deviceFor(0));
    EXPECT_EQ("", devices.deviceFor(5));
}

TEST(PortDevices, EmptyOrNullPathRemovesTheAssignment)
{
    PortDevices devices;
    devices.assign(2, "/dev/ttyACM0");
    EXPECT_TRUE(devices.assign(2, ""));
    EXPECT_EQ("", devices.deviceFor(2));
    devices.assign(2, "/dev/ttyACM0");
    EXPECT_TRUE(devices.assign(2, nullptr));
    EXPECT_EQ("", devices.deviceFor(2));
}

// Under ThreadSanitizer this is the proof that the program may reassign a
// port while the worker reads it.
TEST(PortDevices, ReaderSeesWholePathsWhileAnotherThreadAssigns)
{
    PortDevices devices;
    const std::string first = "/dev/ttyUSB0";
    const std::string second = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i)
            devices.assign(1, (i % 2 ? first : second).c_str());
        done.store(true);
    });
    int torn = 0;
    while (!done.load()) {
        const std::string seen = devices.deviceFor(1);
        torn += !seen.empty() && seen != first && seen != second;
    }
    writer.join();
    EXPECT_EQ(0, torn);
}

} // namespace
} // namespace trutina

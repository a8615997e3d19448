// The POSIX serial port on a pseudo-terminal that the test holds itself.
#include "SerialDevice.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <future>

namespace trutina {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The other end of a pseudo-terminal, playing the line.
class Terminal {
public:
    Terminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            path_ = ::ptsname(master_);
    }
    ~Terminal() { unplug(); }

    const std::string &path() const { return path_; }
    void unplug()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    bool send(uint8_t byte) { return ::write(master_, &byte, 1) == 1; }
    int receive()
    {
        pollfd ready{master_, POLLIN, 0};
        uint8_t byte = 0;
        if (::poll(&ready, 1, 2000) != 1 || ::read(master_, &byte, 1) != 1)
            return -1;
        return byte;
    }

private:
    int master_;
    std::string path_;
};

int openDescriptorsOn(const std::string &path)
{
    int count = 0;
    for (const auto &entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == path)
            ++count;
    }
    return count;
}

class SerialDevicePosix : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(line.path().empty());
        ::setenv("TRUTINA_COM1", line.path().c_str(), 1);
        ::setenv("TRUTINA_COM2", "/nonexistent/serial-device", 1);
    }
    void TearDown() override
    {
        ::unsetenv("TRUTINA_COM1");
        ::unsetenv("TRUTINA_COM2");
    }

    Terminal line;
    std::unique_ptr<SerialDevice> device = makePlatformSerialDevice();
};

TEST_F(SerialDevicePosix, OpensTheConfiguredDeviceWithTheLineSettings)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    EXPECT_TRUE(device->isOpen());

    const int probe = ::open(line.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    termios settings{};
    ASSERT_EQ(0, ::tcgetattr(probe, &settings));
    ::close(probe);
    EXPECT_EQ(B19200, ::cfgetispeed(&settings));
    EXPECT_EQ(B19200, ::cfgetospeed(&settings));
    EXPECT_EQ(tcflag_t(CS8), settings.c_cflag & CSIZE);
    EXPECT_FALSE(settings.c_cflag & (PARENB | CSTOPB));
    EXPECT_TRUE(settings.c_cflag & CREAD);
    EXPECT_TRUE(settings.c_cflag & CLOCAL);
    EXPECT_FALSE(settings.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(settings.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP)) << "binary bytes pass unchanged";
    EXPECT_FALSE(settings.c_oflag & OPOST);
}

TEST_F(SerialDevicePosix, BytesGoBothWays)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    for (uint8_t byte : {uint8_t(0x11), uint8_t(0x13), uint8_t(0x0D), uint8_t(0xFF), uint8_t(0x00)}) {
        ASSERT_EQ(1, device->writeByte(byte, SteadyClock::now() + 1s));
        EXPECT_EQ(byte, line.receive());
        ASSERT_TRUE(line.send(byte ^ 0x80));
        ASSERT_EQ(SerialDevice::WaitResult::Ready, device->waitReadable(SteadyClock::now() + 2s));
        uint8_t reply = 0;
        ASSERT_EQ(1, device->read(&reply, 1));
        EXPECT_EQ(byte ^ 0x80, reply);
    }
    EXPECT_EQ(0, device->inputCount());
    EXPECT_EQ(SerialDevice::WaitResult::TimedOut, device->waitReadable(SteadyClock::now() + 20ms));
}

TEST_F(SerialDevicePosix, AFailedOpenLeavesNoPortOpen)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    EXPECT_EQ(1, openDescriptorsOn(line.path()));
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    EXPECT_EQ(1, openDescriptorsOn(line.path())) << "opening again closes the first handle";

    EXPECT_EQ(SerialDevice::OpenResult::NotOpened, device->open("COM2"));
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(0, openDescriptorsOn(line.path()));
    for (const char *name : {"COM5", "COM0", "", "LPT1"})
        EXPECT_EQ(SerialDevice::OpenResult::NotOpened, device->open(name)) << name;
}

TEST_F(SerialDevicePosix, UnpluggedDeviceFailsTheWaitAtOnce)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    line.unplug();
    const auto start = SteadyClock::now();
    const auto waited = device->waitReadable(start + 5s);
    EXPECT_LT(SteadyClock::now() - start, 1s);
    EXPECT_NE(SerialDevice::WaitResult::TimedOut, waited);
    uint8_t byte = 0;
    EXPECT_LT(device->read(&byte, 1), 0) << "a hang-up reads as a failure, not as no data";
    EXPECT_LT(device->writeByte(0, SteadyClock::now() + 1s), 1);
}

TEST_F(SerialDevicePosix, InterruptWakesAWaitFromAnotherThread)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    auto waited = std::async(std::launch::async, [&] { return device->waitReadable(SteadyClock::now() + 30s); });
    ASSERT_EQ(std::future_status::timeout, waited.wait_for(50ms)) << "nothing to read yet";
    device->interrupt();
    ASSERT_EQ(std::future_status::ready, waited.wait_for(5s));
    EXPECT_EQ(SerialDevice::WaitResult::Interrupted, waited.get());
    EXPECT_EQ(SerialDevice::WaitResult::Interrupted, device->waitReadable(SteadyClock::now() + 30s))
        << "an interrupt lasts";
}

TEST_F(SerialDevicePosix, APortInUseIsRefusedWithItsReasonUntilItIsClosed)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    EXPECT_EQ(0, device->lastError());
    const auto second = makePlatformSerialDevice();
    EXPECT_EQ(SerialDevice::OpenResult::NotOpened, second->open("COM1"));
    EXPECT_EQ(EBUSY, second->lastError());
    EXPECT_EQ(1, openDescriptorsOn(line.path())) << "the refused open leaves nothing open";

    const int other = ::open(line.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0) << "we run as root, whom exclusive mode lets through";
    EXPECT_NE(0, ::flock(other, LOCK_EX | LOCK_NB)) << "a program that locks its ports sees it taken";
    ::close(other);

    EXPECT_EQ(SerialDevice::OpenResult::NotOpened, second->open("COM2"));
    EXPECT_EQ(ENOENT, second->lastError());
    device->close();
    EXPECT_EQ(SerialDevice::OpenResult::Opened, second->open("COM1"));
}

TEST_F(SerialDevicePosix, ACancellationEndsOneWaitOnly)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    auto waited = std::async(std::launch::async, [&] { return device->waitReadable(SteadyClock::now() + 30s); });
    device->cancelWait();
    ASSERT_EQ(std::future_status::ready, waited.wait_for(5s));
    EXPECT_EQ(SerialDevice::WaitResult::Interrupted, waited.get());
    EXPECT_EQ(SerialDevice::WaitResult::TimedOut, device->waitReadable(SteadyClock::now() + 20ms));

    device->cancelWait(); // nothing waits: the next open forgets it
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    EXPECT_EQ(SerialDevice::WaitResult::TimedOut, device->waitReadable(SteadyClock::now() + 20ms));
}

TEST_F(SerialDevicePosix, AForkedChildNeitherWakesTheOwnerNorFreesThePort)
{
    ASSERT_EQ(SerialDevice::OpenResult::Opened, device->open("COM1"));
    const pid_t child = ::fork();
    if (child == 0) {
        device->interrupt();
        device->close();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_EQ(SerialDevice::WaitResult::TimedOut, device->waitReadable(SteadyClock::now() + 20ms));
    EXPECT_EQ(SerialDevice::OpenResult::NotOpened, makePlatformSerialDevice()->open("COM1")) << "still ours";
}

} // namespace
} // namespace trutina

#include "balance_sim/pty_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "host.h"

namespace pondus::sim {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using testing::PortClient;

std::vector<BalanceConfig> twoBalances()
{
    return {BalanceConfig{Kind::One, 2, 4242, WeightProfile::constant(Reading{-1500, 3, Unit::Gram, true})},
            BalanceConfig{Kind::Two, 3, 77, WeightProfile::constant(Reading{250, 1, Unit::Kilogram, false})}};
}

// A fresh folder for links, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "balance_sim_test.XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

TEST(PtyLine, ProgramTalksToTheLineThroughTheTerminal)
{
    Line line(twoBalances());
    PtyLine pty(line);
    EXPECT_TRUE(fs::exists(pty.devicePath()));
    EXPECT_EQ(pty.path(), pty.devicePath());

    PortClient port(pty.path());
    ASSERT_TRUE(port.isOpen());
    auto host = port.host();
    ASSERT_TRUE(host.setUp());
    EXPECT_EQ(host.balanceCount, 2);
    EXPECT_EQ(host.tables.modelCode[1], 302);
    EXPECT_EQ(host.tables.ident[1], 4242);
    EXPECT_EQ(host.tables.modelCode[2], 403);
    ASSERT_TRUE(host.poll(6));
    EXPECT_DOUBLE_EQ(host.weight(1), -1.5);
    EXPECT_DOUBLE_EQ(host.weight(2), 25.0);
    EXPECT_EQ(host.tables.unit[2], 205);
    EXPECT_EQ(host.tables.stable[2], 0);
}

TEST(PtyLine, LineSurvivesTheProgramClosingAndReopeningThePort)
{
    Line line(twoBalances());
    PtyLine pty(line);
    {
        PortClient port(pty.path());
        auto host = port.host();
        ASSERT_TRUE(host.setUp());
    }
    PortClient again(pty.path());
    auto host = again.host();
    ASSERT_TRUE(host.setUp());
    EXPECT_EQ(host.balanceCount, 2);
}

TEST(PtyLine, LinkPointsAtTheTerminalAndGoesAwayOnStop)
{
    TempDir dir;
    const auto link = (dir / "COM2").string();
    Line line(twoBalances());
    {
        PtyLine pty(line, PtyOptions{link, {}});
        EXPECT_EQ(pty.path(), link);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), pty.devicePath());

        PortClient port(link);
        auto host = port.host();
        EXPECT_EQ(host.count(), 2);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(PtyLine, StaleLinkIsReplacedButOtherFilesAreLeftAlone)
{
    TempDir dir;
    const auto link = (dir / "COM3").string();
    fs::create_symlink("/nonexistent/device", link);
    Line line;
    {
        PtyLine pty(line, PtyOptions{link, {}});
        EXPECT_EQ(fs::read_symlink(link), pty.devicePath());
    }

    const auto file = (dir / "COM4").string();
    std::ofstream(file) << "keep me";
    EXPECT_THROW(PtyLine(line, PtyOptions{file, {}}), std::system_error);
    EXPECT_TRUE(fs::is_regular_file(file));
}

TEST(PtyLine, UnpluggedLineLeavesTheProgramWaiting)
{
    Line line(twoBalances());
    PtyLine pty(line);
    PortClient port(pty.path());
    line.setUnplugged(true);
    EXPECT_EQ(port.exchange(0x00, milliseconds{300}), std::nullopt);
    line.setUnplugged(false);
    EXPECT_EQ(port.exchange(0x00, milliseconds{1000}), 0x00);
}

TEST(PtyLine, ReplyDelayHoldsBackEachAnswer)
{
    Line line;
    LineFaults faults;
    faults.replyDelay = milliseconds{300};
    line.setFaults(faults);
    PtyLine pty(line);
    PortClient port(pty.path());
    EXPECT_EQ(port.exchange(0x5A, milliseconds{150}), std::nullopt);
    EXPECT_EQ(port.readByte(milliseconds{1000}), 0x5A);
}

TEST(PtyLine, RoundTripCountsOneCharacterTimePerHop)
{
    EXPECT_EQ(byteRoundTripSeconds(3, 0), 0.0);
    EXPECT_DOUBLE_EQ(byteRoundTripSeconds(0, 19200), 10.0 / 19200);
    EXPECT_DOUBLE_EQ(byteRoundTripSeconds(3, 19200), 40.0 / 19200);
}

TEST(PtyLine, AnswersWaitForTheirByteTime)
{
    Line line;
    PtyLine pty(line, PtyOptions{{}, milliseconds{2}});
    PortClient port(pty.path());
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(port.exchange(std::uint8_t(i)), std::uint8_t(i));
    }
    // Each answer comes no earlier than its byte time: a lower bound only.
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds{40});
}

TEST(PtyLine, BytesWrittenTogetherAreAnsweredInOrder)
{
    Line line;
    PtyLine pty(line, PtyOptions{{}, std::chrono::microseconds{500}});
    PortClient port(pty.path());
    const std::vector<std::uint8_t> burst{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(::write(port.fd(), burst.data(), burst.size()), ssize_t(burst.size()));
    for (const auto byte : burst) {
        EXPECT_EQ(port.readByte(milliseconds{1000}), byte);
    }
}

TEST(PtyLine, UnplugHangsUpAndReplugBringsANewTerminal)
{
    TempDir dir;
    const auto link = (dir / "COM1").string();
    Line line(twoBalances());
    PtyLine pty(line, PtyOptions{link, {}});
    PortClient port(link);
    ASSERT_EQ(port.exchange(0x00), 0x00);

    pty.unplug();
    EXPECT_FALSE(pty.plugged());
    EXPECT_TRUE(port.hungUp(milliseconds{1000}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    pty.unplug();

    pty.replug();
    EXPECT_TRUE(pty.plugged());
    EXPECT_EQ(fs::read_symlink(link), pty.devicePath());
    PortClient again(link);
    auto host = again.host();
    EXPECT_EQ(host.count(), 2);
}

TEST(PtyLine, StrayBytesArriveUnasked)
{
    Line line;
    PtyLine pty(line, PtyOptions{{}, {}, 200.0, 5});
    PortClient port(pty.path());
    int strays = 0;
    for (int i = 0; i < 5; ++i) {
        strays += port.readByte(milliseconds{1000}) ? 1 : 0;
    }
    EXPECT_EQ(strays, 5);
}

TEST(PtyLine, InjectedBytesWaitForTheProgram)
{
    Line line;
    PtyLine pty(line);
    PortClient port(pty.path());
    const std::vector<std::uint8_t> noise{0xDE, 0xAD, 0xBE};
    EXPECT_EQ(port.waiting(), 0);
    pty.inject(noise);
    for (const auto byte : noise) {
        EXPECT_EQ(port.readByte(milliseconds{1000}), byte);
    }
}

TEST(PtyLine, OneStrayByteLandsInTheMiddleOfTheNextFrame)
{
    Line line;  // no balances: every byte comes back as it went
    PtyLine pty(line);
    PortClient port(pty.path());
    pty.strayMidFrame();
    EXPECT_EQ(port.exchange(0x00), 0x00) << "counting bytes are no frame";
    EXPECT_EQ(port.readByte(milliseconds{50}), std::nullopt);
    for (int frame = 0; frame < 2; ++frame) {
        for (const std::uint8_t byte : kFramePreamble) {
            EXPECT_EQ(port.exchange(byte), byte);
            const bool strayDue = frame == 0 && byte == 'm';
            EXPECT_EQ(port.readByte(milliseconds{strayDue ? 1000 : 50}),
                      strayDue ? std::optional<std::uint8_t>(kStrayByte) : std::nullopt)
                << "frame " << frame << " byte " << byte;
        }
    }
}

TEST(PtyLine, LatencyTimerHoldsAnswersBackAndHandsThemOnTogether)
{
    Line line;
    PtyOptions options;
    options.latencyTimer = milliseconds{60};
    PtyLine pty(line, options);
    PortClient port(pty.path());
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::uint8_t> burst{7, 8, 9};
    ASSERT_EQ(::write(port.fd(), burst.data(), burst.size()), ssize_t(burst.size()));
    EXPECT_EQ(port.readByte(milliseconds{2000}), 7);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds{60});
    EXPECT_EQ(port.readByte(milliseconds{10}), 8) << "held back together with the first";
    EXPECT_EQ(port.readByte(milliseconds{10}), 9);

    const auto single = std::chrono::steady_clock::now();
    EXPECT_EQ(port.exchange(0x33, milliseconds{2000}), 0x33);
    EXPECT_GE(std::chrono::steady_clock::now() - single, milliseconds{60}) << "each exchange waits for the timer";
}

TEST(PtyLine, UnplugIsPromptWithAnAnswerPending)
{
    Line line;
    LineFaults faults;
    faults.replyDelay = milliseconds{10000};
    line.setFaults(faults);
    PtyLine pty(line);
    PortClient port(pty.path());
    EXPECT_EQ(port.exchange(0x01, milliseconds{100}), std::nullopt);
    const auto start = std::chrono::steady_clock::now();
    pty.unplug();
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds{2000});
}

TEST(PtyLine, TwoLinesRunSideBySide)
{
    Line first(twoBalances());
    Line second({BalanceConfig{}});
    PtyLine a(first);
    PtyLine b(second);
    EXPECT_NE(a.devicePath(), b.devicePath());
    PortClient portA(a.path());
    PortClient portB(b.path());
    auto hostA = portA.host();
    auto hostB = portB.host();
    EXPECT_EQ(hostA.count(), 2);
    EXPECT_EQ(hostB.count(), 1);
}

}  // namespace
}  // namespace pondus::sim

// The recording session without a QApplication: the real library through its
// exports on balance-sim's line, the journal on a real SQLite file as its
// keeper, and the reasons a port does not come on line.
#include "SimulatorProcess.h"

#include "journal/JournalObserver.h"
#include "journal/JournalReader.h"
#include "recording/LinkLibrary.h"
#include "recording/RecordingSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using pondus::sim::SimulatorProcess;
namespace fs = std::filesystem;

// Everything the session told, in order.
struct Told final : SessionObserver {
    std::vector<std::string> events;
    std::vector<CommittedRow> rows;
    std::vector<LinkEvent> links;
    std::vector<CaptionChange> replacements;
    std::vector<std::string> reasons;
    RunInfo started;

    void runStarted(const RunInfo &run) override
    {
        started = run;
        events.push_back("start");
    }
    void rowCommitted(const CommittedRow &row) override { rows.push_back(row); }
    void linkChanged(const LinkEvent &event) override
    {
        links.push_back(event);
        events.push_back(event.online ? "back" : "lost");
    }
    void balanceReplaced(const CaptionChange &replacement) override
    {
        replacements.push_back(replacement);
        events.push_back("replaced");
    }
    void portReasonChanged(const std::string &reason) override { reasons.push_back(reason); }
    void runStopped(const RunInfo &) override { events.push_back("stop"); }
};

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("session-test-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        // COM1 is the simulator's link, whichever terminal it plays on.
        ::setenv("TRUTINA_COM1", linkPath().c_str(), 1);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string linkPath() const { return (folder / "com1").string(); }
    SimulatorProcess simulator(const std::string &ident)
    {
        return SimulatorProcess(BALANCE_SIM, {"--balance", "kind=1,model=3,ident=" + ident + ",weight=steps:1:1:0.3",
                                              "--balance", "kind=2,model=2,ident=22,weight=ramp:5:0.5", "--link",
                                              linkPath(), "--quiet"});
    }
    void start(int32_t port = 1)
    {
        RunSettings settings;
        settings.port = "COM" + std::to_string(port);
        settings.periodMs = 100;
        settings.balances = {1, 2};
        session.start(settings, port, pondus::ports::LinkDiagnosis::forPort(port, [this](int) {
                          return QString::fromStdString(linkPath());
                      }), rules);
    }
    // Polls every 50 ms, as a run would, until the condition holds; false
    // when it does not within the limit.
    template <class Condition>
    bool pollUntil(Condition condition, std::chrono::milliseconds limit = 20s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            lastPoll = session.poll(RecordingSession::wallClock());
            if (condition())
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    fs::path folder;
    LinkLibrary library{std::string(TRUTINA_LIBRARY)};
    RecordingSession session{library};
    Told told;
    SessionPoll lastPoll;
    RecordingSession::Rules rules;
};

TEST_F(Session, RowsAreKeptThenToldAcrossALossOfTheLine)
{
    SimulatorProcess line = simulator("11");
    pondus::journal::JournalObserver journal((folder / "journal.sqlite").string(), {});
    session.keepRunsIn(journal);
    session.addObserver(told);
    start();
    ASSERT_TRUE(pollUntil([&] { return session.running(); }));
    EXPECT_EQ(told.started.linkPort, 1);
    EXPECT_NE(told.started.keptRun, 0);
    EXPECT_EQ(told.started.settings.balances, (std::vector<int32_t>{1, 2}));
    ASSERT_TRUE(pollUntil([&] { return told.rows.size() >= 3; }));

    line.unplug();
    ASSERT_TRUE(pollUntil([&] { return told.links.size() == 1; }));
    const size_t rowsBeforeLoss = told.rows.size();
    EXPECT_FALSE(told.links[0].online);
    EXPECT_EQ(session.linkLostSinceUtcMs(), told.links[0].utcMs);
    line.replug();
    ASSERT_TRUE(pollUntil([&] { return told.links.size() == 2; }, 30s));
    EXPECT_TRUE(told.links[1].online);
    EXPECT_EQ(told.links[1].lostSinceUtcMs, told.links[0].utcMs);
    EXPECT_GE(told.links[1].utcMs, told.links[0].utcMs);
    ASSERT_TRUE(pollUntil([&] { return told.rows.size() >= rowsBeforeLoss + 2; }));
    session.stop();
    EXPECT_EQ(told.events, (std::vector<std::string>{"start", "lost", "back", "stop"}));

    // The observers had each row with the place the journal gave it.
    pondus::journal::JournalReader reader((folder / "journal.sqlite").string());
    const std::vector<SequencedRow> kept = reader.rowsAfter(told.started.keptRun, 0, 1000);
    ASSERT_EQ(kept.size(), told.rows.size());
    for (size_t n = 0; n < kept.size(); ++n) {
        EXPECT_EQ(told.rows[n].run, told.started.keptRun);
        EXPECT_EQ(told.rows[n].seq, kept[n].seq);
        EXPECT_EQ(told.rows[n].row.number, kept[n].row.number);
        EXPECT_EQ(told.rows[n].row.readings[1].rawValue, kept[n].row.readings[1].rawValue);
    }
}

TEST_F(Session, AnotherBalanceAtTheSamePlaceStopsTheRun)
{
    session.addObserver(told);
    {
        SimulatorProcess first = simulator("11");
        start();
        ASSERT_TRUE(pollUntil([&] { return !told.rows.empty(); }));
    }
    SimulatorProcess second = simulator("12345");
    ASSERT_TRUE(pollUntil([&] { return !session.running(); }, 30s));
    ASSERT_TRUE(lastPoll.replaced);
    ASSERT_EQ(told.replacements.size(), 1u);
    const CaptionChange &replaced = told.replacements[0];
    EXPECT_EQ(replaced.slot, 0u);
    EXPECT_EQ(replaced.before.balance, 1);
    EXPECT_EQ(replaced.before.ident, 11);
    EXPECT_EQ(replaced.after.ident, 12345);
    EXPECT_EQ(told.events.back(), "replaced");
    // Rows recorded under the old balance stay its own.
    for (const CommittedRow &row : told.rows)
        EXPECT_EQ(row.row.readings[0].ident, 11);
}

TEST_F(Session, ThePortThatDoesNotComeUpIsToldWhy)
{
    const fs::path plainFile = folder / "notes.txt";
    std::ofstream(plainFile) << "not a port";
    struct Case {
        std::string device;
        std::string reason;
    };
    for (const Case &c : {Case{(folder / "ttyUSB9").string(), "Устройство " + (folder / "ttyUSB9").string() +
                                                                   " не найдено."},
                          Case{plainFile.string(), plainFile.string() + " не последовательный порт."}}) {
        SCOPED_TRACE(c.device);
        ::setenv("TRUTINA_COM2", c.device.c_str(), 1);
        session.addObserver(told);
        RunSettings settings;
        settings.port = "COM2";
        settings.balances = {1};
        session.start(settings, 2, pondus::ports::LinkDiagnosis::forPort(2, [&](int) {
                          return QString::fromStdString(c.device);
                      }), {});
        ASSERT_TRUE(pollUntil([&] { return !session.portReason().empty(); }, 10s));
        EXPECT_EQ(session.portReason().rfind(c.reason, 0), 0u) << session.portReason();
        EXPECT_EQ(told.reasons.back(), session.portReason());
        EXPECT_FALSE(session.running());
        session.stop();
        session.removeObserver(told);
        told = Told();
    }
}

} // namespace

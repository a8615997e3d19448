// The hash chain on a real journal file: an untouched file verifies, and
// each change made behind the program's back with SQL is caught and named,
// the last events removed by the head file kept beside it.
#include "JournalFixture.h"

#include "journal/ChainVerifier.h"
#include "journal/HeadFile.h"

#include <fstream>
#include <functional>
#include <sstream>

using pondus::journal::ChainCheck;
using pondus::journal::verifyChain;

namespace {

std::string contents(const std::string &file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class JournalChain : public JournalFixture {
protected:
    // A run of five rows over two balances with a link loss, an edit and an
    // export; the head the verifier reports for it.
    std::string recordRun()
    {
        auto journal = makeJournal();
        journal.programStarted();
        journal.runStarted(settings(2));
        for (int n = 1; n <= 5; ++n)
            journal.recordRow(row(n, 2));
        journal.linkLost(101);
        journal.cellEdited({journal.cellAt(5, 3), "-4,98", "1", "перепутаны весы"});
        journal.runStopped();
        const std::string exported = (folder / "run.tsv").string();
        std::ofstream(exported) << "abc";
        journal.exported(exported, journal.sheetRows());
        return journal.head();
    }
};

} // namespace

TEST_F(JournalChain, AnUntouchedJournalVerifiesWithItsRunsAndHead)
{
    const std::string head = recordRun();
    const ChainCheck check = verifyChain(path);
    EXPECT_TRUE(check.intact) << check.broken;
    EXPECT_EQ(check.links, scalar("SELECT (SELECT count(*) FROM event) + (SELECT count(*) FROM measurement)"));
    EXPECT_EQ(check.head, head);
    ASSERT_EQ(check.runs.size(), 1u);
    EXPECT_EQ(check.runs[0].rows, 5);
    EXPECT_TRUE(check.runs[0].stoppedMs.has_value());
    EXPECT_EQ(check.runs[0].firstHash.size(), 64u);
    EXPECT_NE(check.runs[0].firstHash, check.runs[0].lastHash);
    // The export names the file's own digest (SHA-256 of "abc").
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.sha256') = "
                     "'ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad' AND "
                     "json_extract(detail, '$.format') = 'tsv' FROM event WHERE kind = 'export'"),
              1);
    EXPECT_EQ(scalar("SELECT count(*) FROM event AS e JOIN actor AS a ON a.id = e.actor WHERE a.user <> '' AND a.host <> ''"),
              scalar("SELECT count(*) FROM event"));
}

TEST_F(JournalChain, TheOperatorsDisplayNameStandsBesideTheSystemAccount)
{
    auto journal = makeJournal();
    journal.setOperatorName("Иванова А.");
    journal.programStarted();
    EXPECT_EQ(scalar("SELECT count(*) FROM event AS e JOIN actor AS a ON a.id = e.actor WHERE "
                     "a.operator = 'Иванова А.' AND a.user <> '' AND a.uid >= 0"),
              1);
    EXPECT_TRUE(verifyChain(path).intact);
}

TEST_F(JournalChain, EachChangeBehindTheProgramsBackIsNamed)
{
    using Fault = pondus::journal::ChainBreak::Fault;
    struct Case {
        const char *change;
        const char *sql;
        const char *named;
        Fault fault;
        int64_t seq; // of the row named; 0 for an event
    };
    const Case cases[] = {
        {"a value changed", "UPDATE measurement SET raw_values = '[1,2]' WHERE seq = 3", "run 1, row 3 (№ 3) does not match", Fault::Changed, 3},
        {"a row deleted", "DELETE FROM measurement WHERE seq = 2", "are missing before run 1, row 3", Fault::Missing, 3},
        {"an event inserted", "INSERT INTO event (utc_ms, utc_offset_s, kind) VALUES (1, 0, 'clear')", "(clear) is not in the chain", Fault::Unlinked, 0},
        {"an event inserted into the chain", "INSERT INTO event (utc_ms, utc_offset_s, kind, link, hash) SELECT 1, 0, 'clear', link, hash FROM measurement WHERE seq = 4", "event 7 (clear) does not match", Fault::Changed, 0},
        {"two rows swapped", "UPDATE measurement SET raw_values = (SELECT m.raw_values FROM measurement AS m WHERE m.seq = 7 - measurement.seq) WHERE seq IN (2, 5)", "run 1, row 2 (№ 2) does not match", Fault::Changed, 2},
        {"an edit's reason changed", "UPDATE event SET detail = replace(detail, 'перепутаны', 'спутаны') WHERE kind = 'cell_edit'", "(cell_edit, run 1", Fault::Changed, 0},
        {"an edit's text changed", "UPDATE event SET detail = replace(detail, '\"new\":\"1\"', '\"new\":\"2\"') WHERE kind = 'cell_edit'", "\"column\":\"value\",\"balance\":1", Fault::Changed, 0},
        {"a run's settings changed", "UPDATE run SET period_ms = 100", "(run_start, run 1, {\"program\":", Fault::Changed, 0},
        {"a balance's ident changed", "UPDATE balance_state SET ident = 1 WHERE slot = 1", "run 1, row 1 (№ 1) does not match", Fault::Changed, 1},
        {"a link repeated", "UPDATE event SET link = link - 1 WHERE kind = 'run_stop'", "repeats link", Fault::Repeated, 0},
    };
    for (const Case &c : cases) {
        std::filesystem::remove(path);
        recordRun();
        execute(c.sql);
        const ChainCheck check = verifyChain(path);
        EXPECT_FALSE(check.intact) << c.change;
        EXPECT_NE(check.broken.find(c.named), std::string::npos) << c.change << ": " << check.broken;
        ASSERT_TRUE(check.fault) << c.change;
        EXPECT_EQ(check.fault->fault, c.fault) << c.change;
        EXPECT_EQ(check.fault->isRow, c.seq != 0) << c.change;
        EXPECT_EQ(check.fault->seq, c.seq) << c.change;
        EXPECT_EQ(check.fault->run, c.seq != 0 ? 1 : check.fault->run) << c.change;
    }
}

TEST_F(JournalChain, SettingsChangedAreChainedEventsWithTheirOldAndNewValues)
{
    struct Step {
        int balances;
        int32_t periodMs;
        const char *changes; // what the run's event lists; empty for no event
    };
    const Step steps[] = {
        {2, 200, ""}, // the file's first run
        {2, 200, ""},
        {3, 1000, "period_ms:200>1000 balances:[1,2]>[1,2,3]"},
        {3, 1000, ""},
    };
    auto journal = makeJournal();
    for (const Step &step : steps) {
        RunSettings run = settings(step.balances);
        run.periodMs = step.periodMs;
        const int64_t id = journal.runStarted(run);
        journal.runStopped();
        EXPECT_EQ(text("SELECT coalesce(group_concat(json_extract(c.value, '$.key') || ':' || json_extract(c.value, "
                       "'$.old') || '>' || json_extract(c.value, '$.new'), ' '), '') FROM event AS e, "
                       "json_each(e.detail, '$.changes') AS c WHERE e.kind = 'settings_changed' AND e.run = " +
                       std::to_string(id)),
                  step.changes);
    }
    journal.settingsChanged("samples", {{"Samples/2", "", "Торф"}, {"Experiment/StopWhenConstant", "0", "1"}});
    journal.settingsChanged("samples", {});
    EXPECT_EQ(scalar("SELECT count(*) FROM event WHERE kind = 'settings_changed'"), 2);
    EXPECT_EQ(text("SELECT json_extract(detail, '$.changes[1].new') || json_extract(detail, '$.section') FROM event "
                   "WHERE kind = 'settings_changed' AND run IS NULL"),
              "1samples");
    const ChainCheck check = verifyChain(path);
    EXPECT_TRUE(check.intact) << check.broken;
    EXPECT_EQ(check.head, journal.head());
    execute("UPDATE event SET detail = replace(detail, 'Торф', 'Песок') WHERE kind = 'settings_changed'");
    EXPECT_FALSE(verifyChain(path).intact);
}

TEST_F(JournalChain, TheHeadFileBesideTheJournalTellsTheLastEventsRemoved)
{
    using pondus::journal::headFilePath;
    const std::string headFile = headFilePath(path);
    struct Case {
        const char *change;
        std::function<void()> make;
        bool intact;
        const char *named;
    };
    std::string keptEarlier;
    const Case cases[] = {
        {"untouched", [] {}, true, "matches"},
        {"the last event removed", [&] { execute("DELETE FROM event WHERE link = (SELECT max(link) FROM event)"); },
         false, "last events removed: the head file"},
        {"the last three links removed",
         [&] {
             execute("DELETE FROM event WHERE link > (SELECT max(link) - 3 FROM event)");
             execute("DELETE FROM measurement WHERE link > (SELECT max(link) FROM event)");
         },
         false, "names 16 events"},
        {"the head file removed", [&] { std::filesystem::remove(headFile); }, true, "is missing"},
        {"an older head file", [&] { std::ofstream(headFile) << keptEarlier; }, true, "matches link 4; the 12 events"},
        {"another head",
         [&] {
             pondus::journal::HeadFile other;
             other.open(headFile, 15, pondus::journal::Digest{1});
         },
         false, "the chain was rewritten"},
        {"no head file's text", [&] { std::ofstream(headFile) << "head\n"; }, true, "cannot be read: not a head file"},
    };
    for (const Case &c : cases) {
        std::filesystem::remove(path);
        std::filesystem::remove(headFile);
        {
            auto journal = makeJournal();
            journal.programStarted();
            journal.runStarted(settings(1));
            journal.recordRow(row(1, 1));
            journal.recordRow(row(2, 1));
            keptEarlier = contents(headFile);
        }
        recordRun();
        c.make();
        const ChainCheck check = verifyChain(path);
        EXPECT_EQ(check.intact, c.intact) << c.change << ": " << check.broken;
        EXPECT_NE((check.broken + check.headFile).find(c.named), std::string::npos)
            << c.change << ": " << check.broken << check.headFile;
        if (!c.intact) {
            ASSERT_TRUE(check.fault) << c.change;
            EXPECT_EQ(check.fault->fault, check.fault->link > check.links ? pondus::journal::ChainBreak::Fault::LastRemoved
                                                                    : pondus::journal::ChainBreak::Fault::HeadDiffers)
                << c.change;
        }
    }
}

TEST_F(JournalChain, AHeadFileThatCannotBeWrittenIsToldOnceAndRecordingGoesOn)
{
    // Its temporary file cannot be made.
    std::filesystem::create_directory(pondus::journal::headFilePath(path) + ".new");
    std::vector<std::string> told;
    auto journal = makeJournal();
    journal.setHeadFailureSink([&](const std::string &where, const std::string &reason) {
        told.push_back(where + ": " + reason);
    });
    journal.programStarted();
    journal.runStarted(settings(1));
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(journal.recordRow(row(n, 1)).has_value());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], pondus::journal::headFilePath(path) + ": Is a directory");
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(journal.isOpen());
}

TEST_F(JournalChain, AJournalOpenedAfterItsLastEventsWereRemovedLeavesTheHeadFileAsEvidence)
{
    recordRun();
    const std::string headFile = pondus::journal::headFilePath(path);
    const std::string kept = contents(headFile);
    execute("DELETE FROM event WHERE link = (SELECT max(link) FROM event)");
    std::vector<std::string> told;
    auto journal = makeJournal();
    journal.setHeadFailureSink([&](const std::string &, const std::string &reason) { told.push_back(reason); });
    journal.programStarted();
    journal.runStarted(settings(1));
    journal.recordRow(row(1, 1));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("it names 11 events, the journal holds 10: the last events were removed"), std::string::npos)
        << told[0];
    EXPECT_EQ(contents(headFile), kept);
    const ChainCheck check = verifyChain(path);
    EXPECT_FALSE(check.intact);
    EXPECT_NE(check.broken.find("the chain was rewritten"), std::string::npos) << check.broken;
}

TEST_F(JournalChain, TheHeadFileOfAJournalNoLongerThereIsKeptUnderAnotherName)
{
    recordRun();
    const std::string kept = contents(pondus::journal::headFilePath(path));
    std::filesystem::remove(path);
    recordRun();
    EXPECT_TRUE(verifyChain(path).intact);
    std::vector<std::string> aside;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("journal.sqlite.head.replaced-", 0) == 0)
            aside.push_back(contents(entry.path().string()));
    EXPECT_EQ(aside, std::vector<std::string>{kept});
}

TEST_F(JournalChain, TablesPrunedWithAgeLeaveAChainThatVerifiesAndAForgedGapIsCaught)
{
    // Three tables of two rows each, the first two cleared; the oldest is
    // aged past the kept days and pruned, then the second.
    {
        auto journal = makeJournal();
        for (int sheet = 1; sheet <= 3; ++sheet) {
            journal.runStarted(settings(1));
            journal.recordRow(row(1, 1));
            journal.recordRow(row(2, 1));
            journal.runStopped();
            if (sheet < 3)
                journal.cleared();
        }
    }
    const auto pruneSheet = [this](int sheet) {
        execute("UPDATE sheet SET opened_ms = opened_ms - 8640000000, closed_ms = closed_ms - 8640000000 WHERE id = " +
                std::to_string(sheet));
        auto journal = makeJournal();
        EXPECT_TRUE(journal.open());
        EXPECT_EQ(journal.prune(90), 1);
        return journal.head();
    };
    std::string head = pruneSheet(1);
    ChainCheck check = verifyChain(path);
    EXPECT_TRUE(check.intact) << check.broken;
    EXPECT_EQ(check.head, head);
    EXPECT_GT(check.pruned, 2);
    EXPECT_EQ(check.headFileState, pondus::journal::HeadFileState::Matches) << check.headFile;
    const int64_t firstPruned = check.pruned;

    head = pruneSheet(2);
    check = verifyChain(path);
    EXPECT_TRUE(check.intact) << check.broken;
    EXPECT_EQ(check.head, head);
    EXPECT_GT(check.pruned, firstPruned);
    EXPECT_EQ(scalar("SELECT count(*) FROM event WHERE kind = 'pruned'"), 2);

    // A row of the kept table deleted and hidden behind a gap, with its true
    // digest, added to the last pruning event: that event no longer matches.
    const int64_t link = scalar("SELECT link FROM measurement WHERE seq = 1");
    const std::string digest = text("SELECT lower(hex(hash)) FROM measurement WHERE seq = 1");
    execute("DELETE FROM measurement WHERE seq = 1; UPDATE event SET detail = json_insert(detail, '$.gaps[#]', "
            "json_array(" + std::to_string(link) + ", " + std::to_string(link) + ", '" + digest +
            "')) WHERE id = (SELECT max(id) FROM event WHERE kind = 'pruned')");
    check = verifyChain(path);
    EXPECT_FALSE(check.intact);
    ASSERT_TRUE(check.fault);
    EXPECT_NE(check.broken.find("(pruned"), std::string::npos) << check.broken;
}

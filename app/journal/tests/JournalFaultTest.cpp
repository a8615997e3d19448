// Journal faults made for real: each turns the journal off with one message
// naming the path and the system's reason, loses nothing already written,
// and leaves the next run free to try again.
#include "JournalFixture.h"

#include "journal/JournalReader.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

// Runs body in a forked child and returns what it wrote to its pipe.
template <typename Body>
std::string inChild(Body body)
{
    int ends[2];
    if (pipe(ends) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        const std::string said = body();
        (void)!write(ends[1], said.data(), said.size());
        _exit(0);
    }
    close(ends[1]);
    std::string said;
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(ends[0], buffer, sizeof buffer)) > 0)
        said.append(buffer, size_t(got));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return said;
}

std::string fileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST_F(JournalFixture, AFolderTheUserCannotWriteTurnsTheJournalOffWithTheReason)
{
    // Root writes anywhere: the journal runs as an ordinary user.
    chmod(folder.c_str(), 0755);
    const std::string said = inChild([this] {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            return std::string("could not drop root");
        auto journal = makeJournal();
        journal.programStarted();
        journal.runStarted(settings(2));
        journal.recordRow(row(1, 2));
        journal.runStarted(settings(2));
        return std::to_string(failures.size()) + "|" + (journal.isOpen() ? "open" : "off") + "|" + failures.front();
    });
    // Told at start-up and at each retry, the start of a run.
    EXPECT_EQ(said, "3|off|" + path + ": Permission denied");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(JournalFixture, AFullDiskKeepsEveryRowWrittenBeforeItAndSaysSoOnce)
{
    const std::string said = inChild([this] {
        // A file size limit stands for the full disk; the signal it raises
        // would end the process before the write could fail.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024 * 1024, 1024 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto journal = makeJournal();
        journal.programStarted();
        journal.runStarted(settings(10));
        int written = 0;
        for (int n = 1; n <= 20000 && journal.isOpen(); ++n) {
            journal.recordRow(row(n, 10));
            if (journal.isOpen())
                written = n;
        }
        // Rows after the failure go nowhere, without a further message.
        for (int n = 0; n < 100; ++n)
            journal.recordRow(row(n, 10));
        return std::to_string(written) + "|" + std::to_string(failures.size()) + "|" + failures.front();
    });
    const int written = std::stoi(said);
    EXPECT_GT(written, 100) << said;
    EXPECT_NE(said.find("|1|" + path + ": "), std::string::npos) << said;
    EXPECT_NE(said.find("File too large"), std::string::npos) << said;
    EXPECT_EQ(scalar("SELECT count(*) FROM measurement"), written);
    EXPECT_EQ(scalar("SELECT max(seq) FROM measurement"), written);
    EXPECT_EQ(scalar("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"), 1);
}

TEST_F(JournalFixture, AFileThatIsNotAJournalIsLeftAsItIs)
{
    struct Case {
        const char *what;
        std::function<void()> make;
        const char *reason;
    };
    const std::vector<Case> cases = {
        {"not SQLite",
         [this] { std::ofstream(path, std::ios::binary) << std::string(4096, 'x') << "результаты"; },
         "file is not a database"},
        {"another program's database",
         [this] { execute("CREATE TABLE orders (id INTEGER); INSERT INTO orders VALUES (1);"); },
         "another program's database"},
        {"a journal of a newer version", [this] { execute("PRAGMA application_id = 1347374660; PRAGMA user_version = 7; CREATE TABLE t (x);"); },
         "newer version"},
    };
    for (const Case &c : cases) {
        std::filesystem::remove(path);
        failures.clear();
        c.make();
        const std::string before = fileBytes(path);
        {
            auto journal = makeJournal();
            journal.programStarted();
            journal.runStarted(settings(1));
            journal.recordRow(row(1, 1));
            EXPECT_FALSE(journal.isOpen()) << c.what;
        }
        ASSERT_EQ(failures.size(), 2u) << c.what;
        EXPECT_NE(failures[0].find(path + ": "), std::string::npos) << c.what;
        EXPECT_NE(failures[0].find(c.reason), std::string::npos) << c.what << ": " << failures[0];
        EXPECT_EQ(fileBytes(path), before) << c.what;
    }
}

TEST_F(JournalFixture, AFileLockedByAnotherConnectionTurnsTheJournalOffUntilTheNextRun)
{
    auto journal = makeJournal();
    journal.programStarted();
    journal.runStarted(settings(3));
    journal.recordRow(row(1, 3));
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; INSERT INTO event (utc_ms, utc_offset_s, kind) VALUES (0, 0, 'x')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    for (int n = 2; n <= 5; ++n)
        journal.recordRow(row(n, 3));
    EXPECT_FALSE(journal.isOpen());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("database is locked"), std::string::npos) << failures[0];
    // While the lock holds, the next run cannot open it either.
    journal.runStarted(settings(3));
    EXPECT_EQ(failures.size(), 2u);
    ASSERT_EQ(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    journal.runStarted(settings(3));
    journal.recordRow(row(6, 3));
    EXPECT_TRUE(journal.isOpen());
    EXPECT_EQ(failures.size(), 2u);
    // The rows of both runs are in one table, as in the window.
    EXPECT_EQ(journal.sheetRows(), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM measurement"), 2);
    EXPECT_EQ(scalar("SELECT count(DISTINCT sheet) FROM run"), 1);
}

TEST_F(JournalFixture, SigkillLosesNoRowThatWasRecorded)
{
    // The child reports each row once recordRow returned; it is killed in
    // the middle of writing.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        auto journal = makeJournal();
        journal.programStarted();
        journal.runStarted(settings(10));
        for (int32_t n = 1;; ++n) {
            journal.recordRow(row(n, 10));
            (void)!write(ends[1], &n, sizeof n);
        }
    }
    close(ends[1]);
    int32_t reported = 0;
    while (reported < 2000 && read(ends[0], &reported, sizeof reported) == sizeof reported) {
    }
    kill(child, SIGKILL);
    int32_t n = 0;
    while (read(ends[0], &n, sizeof n) == sizeof n)
        reported = n;
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const int64_t journaled = scalar("SELECT count(*) FROM measurement");
    // Every reported row is there, at most the one being written beyond it,
    // and none twice.
    EXPECT_GE(journaled, reported);
    EXPECT_LE(journaled, reported + 1);
    EXPECT_EQ(scalar("SELECT max(seq) FROM measurement"), journaled);
    EXPECT_EQ(scalar("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"), 1);
    auto journal = makeJournal();
    ASSERT_TRUE(journal.open());
    const auto pending = journal.pendingSheets();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].rows, journaled);
}

TEST_F(JournalFixture, AFileDeletedDuringARunIsFollowedByANewOneThatKeepsTheLaterRows)
{
    auto journal = makeJournal();
    std::vector<std::string> told;
    journal.setNewFileSink([&](const std::string &where, const std::string &reason) {
        told.push_back(where + ": " + reason);
    });
    journal.programStarted();
    journal.runStarted(settings(2));
    // A reader of the old file stays open across the deletion, as the
    // publisher's does: the new file must not take up its log.
    pondus::journal::JournalReader reader(path);
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(journal.recordRow(row(n, 2)));
    ASSERT_TRUE(std::filesystem::remove(path));
    std::optional<RowKey> key;
    for (int n = 4; n <= 6; ++n) {
        key = journal.recordRow(row(n, 2));
        ASSERT_TRUE(key);
        EXPECT_EQ(n, key->seq) << "numbered on";
    }
    ASSERT_EQ(1u, told.size());
    EXPECT_EQ(path + ": deleted during the run; a new journal file is started there with the run's rows from row 4 on",
              told[0]);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM run"), 1);
    pondus::journal::JournalReader fresh(path);
    const std::vector<SequencedRow> rows = fresh.rowsAfter(key->run, 0, 2);
    ASSERT_EQ(2u, rows.size()) << "read from the first row the file has";
    EXPECT_EQ(4, rows[0].row.number);
    EXPECT_EQ(2u, rows[1].row.readings.size());
    journal.runStopped();
    auto nextStart = makeJournal();
    ASSERT_TRUE(nextStart.open());
    const std::vector<pondus::journal::PendingSheet> pending = nextStart.pendingSheets();
    ASSERT_EQ(1u, pending.size());
    EXPECT_EQ(3, pending[0].rows) << "what the new file holds";

    // Between runs, the next run starts in a new file.
    ASSERT_TRUE(std::filesystem::remove(path));
    EXPECT_NE(0, journal.runStarted(settings(2)));
    ASSERT_EQ(2u, told.size());
    EXPECT_EQ(path + ": deleted during the run; a new journal file is started there", told[1]);
    EXPECT_EQ(scalar("SELECT count(*) FROM run"), 1);
}

// pondus-log end to end: the program against balance-sim on a
// pseudo-terminal, with the real library, its files read back, and its rows
// published to a real mosquitto.
#include "CommandOutput.h"
#include "MosquittoBroker.h"
#include "SimulatorProcess.h"
#include "TopicWatcher.h"
#include "WaitFor.h"

#include "journal/Journal.h"
#include "export/JournalSnapshot.h"
#include "export/CsvText.h"
#include "export/TabSeparatedText.h"
#include "journal/JournalReader.h"
#include "publish/ReadingMessage.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using pondus::sim::SimulatorProcess;
using trutina::testing::waitFor;
namespace fs = std::filesystem;

std::string contents(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string &text, const std::string &end = "\r\n")
{
    std::vector<std::string> result;
    size_t from = 0;
    for (size_t at; (at = text.find(end, from)) != std::string::npos; from = at + end.size())
        result.push_back(text.substr(from, at - from));
    return result;
}

std::vector<std::string> cells(const std::string &line, char separator)
{
    std::vector<std::string> result;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, separator);)
        result.push_back(cell);
    return result;
}

// The kinds of the journal's events, oldest first, joined by spaces.
std::string eventKinds(const std::string &journal)
{
    sqlite3 *db = nullptr;
    std::string kinds;
    if (sqlite3_open_v2(journal.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(
            db, "SELECT kind FROM event ORDER BY id",
            [](void *out, int, char **values, char **) {
                *static_cast<std::string *>(out) += std::string(values[0]) + " ";
                return 0;
            },
            &kinds, nullptr);
    sqlite3_close(db);
    return kinds;
}

// pondus-log as a child process with its output in files of the test.
class Logger {
public:
    // fileSizeLimit: the child's RLIMIT_FSIZE in bytes, 0 for none.
    Logger(const fs::path &folder, std::vector<std::string> args, rlim_t fileSizeLimit = 0) : folder_(folder)
    {
        args.insert(args.begin(), {PONDUS_LOG, "--library", TRUTINA_LIBRARY});
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::chdir(folder.c_str()) != 0)
                ::_exit(127);
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            if (fileSizeLimit > 0 && ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(127);
            const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            std::vector<char *> argv;
            for (std::string &arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Logger()
    {
        if (!status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // The exit code, or nothing when it did not end in time.
    std::optional<int> exitCode(std::chrono::milliseconds limit = 30s)
    {
        if (!status_) {
            int status = 0;
            if (!waitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit))
                return std::nullopt;
            status_ = status;
        }
        return WIFEXITED(*status_) ? std::optional(WEXITSTATUS(*status_)) : std::optional(-WTERMSIG(*status_));
    }
    void signal(int number) { ::kill(pid_, number); }
    std::string out() const { return contents(folder_ / "stdout.txt"); }
    std::string err() const { return contents(folder_ / "stderr.txt"); }

private:
    fs::path folder_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

class PondusLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("pondus-log-test-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    SimulatorProcess simulator(std::vector<std::string> args = {"--balances", "3"})
    {
        args.push_back("--quiet");
        return SimulatorProcess(BALANCE_SIM, args);
    }
    std::vector<std::string> rows(const std::string &name) { return lines(contents(folder / name)); }

    fs::path folder;
};

TEST_F(PondusLog, TimedRowsUpToTheCountGoToTheFileAndToStandardOutput)
{
    const SimulatorProcess line = simulator();
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "--balances", "1,3", "--count", "5", "-o",
                           "rows.tsv"});
    ASSERT_EQ(0, logger.exitCode()) << logger.err();
    const std::vector<std::string> written = rows("rows.tsv");
    ASSERT_EQ(3u + 5u, written.size()) << contents(folder / "rows.tsv");
    EXPECT_EQ("Весы №1", cells(written[0], '\t').at(3));
    EXPECT_EQ("Весы №3", cells(written[0], '\t').at(5));
    EXPECT_EQ("№", cells(written[1], '\t').at(0));
    for (int n = 1; n <= 5; ++n) {
        const std::vector<std::string> row = cells(written[size_t(2 + n)], '\t');
        EXPECT_EQ(std::to_string(n), row.at(0));
        EXPECT_EQ(7u, row.size()) << "number, time, date and two balances";
    }
    const std::vector<std::string> printed = lines(logger.out(), "\n");
    ASSERT_EQ(5u, printed.size()) << logger.out();
    EXPECT_EQ(written[7], printed[4]);
    EXPECT_NE(std::string::npos, logger.err().find("5 rows in rows.tsv")) << logger.err();
}

// What openpyxl, a reader independent of the program, finds on the sheet
// "Измерения" below the caption rows: "№" and balance 1's weight per row,
// tab-separated, one row a line.
std::string workbookRows(const fs::path &path)
{
    const std::string command = std::string(PYTHON3) + " -c '"
                                "import openpyxl, sys\n"
                                "sheet = openpyxl.load_workbook(sys.argv[1])[\"Измерения\"]\n"
                                "for row in sheet.iter_rows(min_row=4, values_only=True):\n"
                                "    print(\"%d\\t%r\" % (row[0], row[3]))\n' " + path.string();
    return commandOutput(command);
}

TEST_F(PondusLog, AWorkbookIsWrittenWhenTheRunEndsAndNeverReplacesAFile)
{
    const SimulatorProcess line = simulator();
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "--count", "3", "-o", "run.xlsx"});
    ASSERT_EQ(0, logger.exitCode()) << logger.err();
    EXPECT_FALSE(fs::exists(folder / "run.xlsx.rows.csv")) << "the row file goes once the workbook is in place";
    // The rows printed as CSV lines, against the workbook read back.
    const std::vector<std::string> printed = lines(logger.out(), "\n");
    ASSERT_EQ(3u, printed.size()) << logger.out();
    const std::vector<std::string> book = lines(workbookRows(folder / "run.xlsx"), "\n");
    ASSERT_EQ(3u, book.size()) << workbookRows(folder / "run.xlsx");
    for (size_t n = 0; n < book.size(); ++n) {
        const std::vector<std::string> fields = cells(printed[n], ',');
        const std::vector<std::string> cellsOfBook = cells(book[n], '\t');
        EXPECT_EQ(fields.at(0), cellsOfBook.at(0));
        EXPECT_DOUBLE_EQ(std::stod(fields.at(2)), std::stod(cellsOfBook.at(1)));
    }

    const std::string before = contents(folder / "run.xlsx");
    Logger again(folder, {"--port", line.path(), "--count", "1", "-o", "run.xlsx"});
    EXPECT_EQ(1, again.exitCode()) << again.err();
    EXPECT_NE(std::string::npos, again.err().find("run.xlsx: exists")) << again.err();
    EXPECT_EQ(before, contents(folder / "run.xlsx"));
    EXPECT_FALSE(fs::exists(folder / "run.xlsx.rows.csv"));
}

TEST_F(PondusLog, RowsAlsoGoToTheJournalAndLeaveNoTableForRecovery)
{
    const SimulatorProcess line = simulator();
    const std::string journalPath = (folder / "journal.sqlite").string();
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "--balances", "1,3", "--count", "4", "-o",
                           "rows.tsv", "--journal", journalPath});
    ASSERT_EQ(0, logger.exitCode()) << logger.err();
    EXPECT_EQ(std::string::npos, logger.err().find("journal off")) << logger.err();

    pondus::journal::JournalReader reader(journalPath);
    const auto run = reader.newestRun();
    ASSERT_TRUE(run) << reader.failure().value_or("");
    const std::vector<SequencedRow> journaled = reader.rowsAfter(run->run, 0, 100);
    ASSERT_EQ(4u, journaled.size());
    const std::vector<std::string> written = rows("rows.tsv");
    for (size_t n = 0; n < journaled.size(); ++n) {
        EXPECT_EQ(int64_t(n + 1), journaled[n].seq);
        EXPECT_EQ(int32_t(n + 1), journaled[n].row.number);
        ASSERT_EQ(2u, journaled[n].row.readings.size());
        EXPECT_EQ(3, journaled[n].row.readings[1].balance);
        EXPECT_EQ(std::to_string(n + 1), cells(written.at(3 + n), '\t').at(0));
    }
    // The journal's snapshot of the run makes the same file again.
    const std::optional<RunSnapshot> snapshot = snapshotOfRun(reader, run->run);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ((std::vector<int32_t>{1, 3}), snapshot->settings.balances);
    EXPECT_EQ(200, snapshot->settings.periodMs);
    EXPECT_EQ(run->startedUtcMs, snapshot->startedUtcMs);
    EXPECT_EQ(contents(folder / "rows.tsv"), TabSeparatedText(ValueFormat()).table(*snapshot).toStdString());
    EXPECT_FALSE(snapshotOfRun(reader, run->run + 1)) << "no such run";
    // The rows are in the row file already: the window must not offer them back.
    pondus::journal::Journal journal(journalPath, [](const std::string &, const std::string &) {});
    ASSERT_TRUE(journal.open());
    EXPECT_TRUE(journal.pendingSheets().empty());
}

TEST_F(PondusLog, OnChangeRecordsOnlyNewStableWeights)
{
    // Balance 1 steps by 100 g every second; balance 2 never changes.
    const SimulatorProcess line = simulator({"--balance", "kind=1,model=1,ident=11,unit=g,decimals=0,stable=1,"
                                                          "weight=steps:0:100:1",
                                             "--balance", "kind=2,model=1,ident=12,unit=g,decimals=0,stable=1,"
                                                          "weight=fixed:5"});
    Logger changing(folder, {"--port", line.path(), "--on-change", "50", "--duration", "3.5", "-o", "steps.csv"});
    ASSERT_EQ(0, changing.exitCode()) << changing.err();
    const std::vector<std::string> written = lines(contents(folder / "steps.csv"), "\n");
    ASSERT_GE(written.size(), 1u + 2u) << contents(folder / "steps.csv");
    EXPECT_LE(written.size(), 1u + 5u) << "a row per step, not per poll";
    for (size_t n = 2; n < written.size(); ++n)
        EXPECT_GE(std::stod(cells(written[n], ',').at(2)) - std::stod(cells(written[n - 1], ',').at(2)), 50.0);

    Logger steady(folder, {"--port", line.path(), "--on-change", "1", "--balances", "2", "--duration", "2", "-o",
                           "steady.csv"});
    ASSERT_EQ(0, steady.exitCode()) << steady.err();
    EXPECT_EQ(1u + 1u, lines(contents(folder / "steady.csv"), "\n").size()) << "the first stable weight only";
}

TEST_F(PondusLog, SigtermMidRunLeavesEveryRowWhole)
{
    const SimulatorProcess line = simulator();
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "-o", "run.tsv"});
    ASSERT_TRUE(waitFor([&] { return rows("run.tsv").size() >= 3 + 3; }, 20s)) << logger.err();
    logger.signal(SIGTERM);
    ASSERT_EQ(0, logger.exitCode(20s)) << logger.err();
    const std::string text = contents(folder / "run.tsv");
    EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << "the last row is complete";
    const std::vector<std::string> written = lines(text);
    for (size_t n = 3; n < written.size(); ++n)
        EXPECT_EQ(std::to_string(n - 2), cells(written[n], '\t').at(0));
    EXPECT_NE(std::string::npos, logger.err().find(std::to_string(written.size() - 3) + " rows in run.tsv"))
        << logger.err();
}

TEST_F(PondusLog, AFullDiskLeavesTheFileEndingWithItsLastWholeRow)
{
    // The file size limit stands for the full disk: a row's write comes
    // short, as on a disk with a few bytes left.
    const SimulatorProcess line = simulator();
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "-o", "full.tsv"}, 700);
    ASSERT_EQ(1, logger.exitCode()) << logger.err();
    EXPECT_NE(std::string::npos, logger.err().find("full.tsv: File too large")) << logger.err();
    const std::string text = contents(folder / "full.tsv");
    ASSERT_GT(text.size(), 2u);
    EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << "the cut-off row is gone";
    const std::vector<std::string> written = lines(text);
    ASSERT_GT(written.size(), 3u + 1u) << text;
    for (size_t n = 3; n < written.size(); ++n)
        EXPECT_EQ(cells(written[2], '\t').size(), cells(written[n], '\t').size()) << written[n];
}

TEST_F(PondusLog, AnOutputThatIsNoRegularFileIsRefusedAtOnce)
{
    const SimulatorProcess line = simulator();
    const fs::path fifo = folder / "rows.fifo";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
    struct Case {
        std::string output;
        const char *says;
    };
    for (const Case &c : {Case{fifo.string(), "is a FIFO"}, Case{line.path(), "is a character device"}}) {
        SCOPED_TRACE(c.output);
        Logger logger(folder, {"--port", line.path(), "--period", "0,2", "--count", "2", "-o", c.output});
        // Not waiting for a reader or for the line: it ends on its own.
        ASSERT_EQ(1, logger.exitCode(10s)) << logger.err();
        EXPECT_NE(std::string::npos, logger.err().find(c.output + ": " + c.says)) << logger.err();
        EXPECT_EQ(std::string::npos, logger.err().find("recording to")) << logger.err();
    }
    EXPECT_TRUE(fs::is_fifo(fifo)) << "left as it was";
}

TEST_F(PondusLog, BadArgumentsExitTwoWithOneLineAndNoFile)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--period", "9", "-o", "never.tsv"}, {"--balances", "1,x", "-o", "never.tsv"},
          {"--on-change", "5", "--period", "1", "-o", "never.tsv"}, {"--what", "-o", "never.tsv"}}) {
        Logger logger(folder, args);
        ASSERT_EQ(2, logger.exitCode());
        const std::vector<std::string> message = lines(logger.err(), "\n");
        ASSERT_EQ(1u, message.size()) << logger.err();
        EXPECT_EQ(0u, message[0].find("pondus-log: ")) << message[0];
        EXPECT_FALSE(fs::exists(folder / "never.tsv"));
    }
}

TEST_F(PondusLog, HelpNeedsNoDisplay)
{
    Logger logger(folder, {"--help"});
    ASSERT_EQ(0, logger.exitCode());
    EXPECT_NE(std::string::npos, logger.out().find("--on-change")) << logger.out();
    EXPECT_NE(std::string::npos, logger.out().find("Exit status"));
}

TEST_F(PondusLog, ALineLostBeyondTheTimeoutEndsWithCodeThree)
{
    // The line is reached through a link that goes away with the unplug: the
    // terminal's own name is handed to the next terminal opened on the
    // machine, and pondus-log, still looking for its line, would find another
    // test's simulator there and never give up.
    const std::string link = (folder / "line").string();
    SimulatorProcess line = simulator({"--balances", "3", "--link", link});
    // Long enough that a busy machine's slow start does not count as a loss.
    Logger logger(folder, {"--port", link, "--period", "0,2", "--link-timeout", "3", "-o", "lost.tsv"});
    ASSERT_TRUE(waitFor([&] { return rows("lost.tsv").size() >= 3 + 2; }, 20s)) << logger.err();
    line.unplug();
    ASSERT_EQ(3, logger.exitCode(20s)) << logger.err();
    EXPECT_NE(std::string::npos, logger.err().find("off line for longer than 3.0 s")) << logger.err();
}

TEST_F(PondusLog, ABalanceThatAnswersARescanBadlyKeepsItsCaptionsAndTheRunGoesOn)
{
    // Balance 2's identify and model replies fail from its second scan on,
    // which the new terminal after a replug brings.
    const std::string link = (folder / "line").string();
    SimulatorProcess line = simulator({"--link", link, "--balance", "kind=1,model=3,ident=111,weight=fixed:1",
                                       "--balance", "kind=2,model=4,ident=222,weight=fixed:2,bad-scan=2"});
    const std::string journalPath = (folder / "journal.sqlite").string();
    Logger logger(folder, {"--port", link, "--period", "0,2", "--link-timeout", "0", "-o", "rescan.tsv",
                           "--journal", journalPath});
    ASSERT_TRUE(waitFor([&] { return rows("rescan.tsv").size() >= 3 + 2; }, 20s)) << logger.err();
    line.unplug();
    line.replug();
    const size_t beforeRescan = rows("rescan.tsv").size();
    ASSERT_TRUE(waitFor([&] { return rows("rescan.tsv").size() >= beforeRescan + 3; }, 30s)) << logger.err();
    logger.signal(SIGTERM);
    ASSERT_EQ(0, logger.exitCode(20s)) << logger.err();

    const std::vector<std::string> models = cells(rows("rescan.tsv").at(1), '\t');
    EXPECT_EQ("ЛВ-12000", models.at(5));
    EXPECT_NE(std::string::npos, logger.err().find("balance 2 answered its scan badly")) << logger.err();
    pondus::journal::JournalReader reader(journalPath);
    const auto run = reader.newestRun();
    ASSERT_TRUE(run) << reader.failure().value_or("");
    const std::vector<SequencedRow> journaled = reader.rowsAfter(run->run, 0, 1000);
    ASSERT_GE(journaled.size(), beforeRescan - 3 + 3);
    for (const SequencedRow &row : journaled) {
        EXPECT_EQ(404, row.row.readings.at(1).modelCode) << "row " << row.seq;
        EXPECT_EQ(222, row.row.readings.at(1).ident) << "row " << row.seq;
    }
    const std::string kinds = eventKinds(journalPath);
    EXPECT_NE(std::string::npos, kinds.find("scan_failed")) << kinds;
    EXPECT_EQ(std::string::npos, kinds.find("balance_replaced")) << kinds;
}

TEST_F(PondusLog, ALineWhoseOnlyBalanceAnswersEveryScanBadlyIsRecorded)
{
    const SimulatorProcess line = simulator({"--balance", "kind=1,model=3,ident=111,weight=fixed:1,bad-scan=1"});
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "--count", "2", "-o", "unknown.tsv"});
    ASSERT_EQ(0, logger.exitCode()) << logger.err();
    const std::vector<std::string> written = rows("unknown.tsv");
    ASSERT_EQ(3u + 2u, written.size()) << contents(folder / "unknown.tsv");
    EXPECT_EQ("Неизвестна", cells(written[1], '\t').at(3));
    EXPECT_EQ("0", cells(written[2], '\t').at(3));
    EXPECT_FALSE(cells(written[4], '\t').at(3).empty()) << "its weights are read";
}

TEST_F(PondusLog, AMissingDeviceIsNamedAndOnlyAFileMadeForNothingGoes)
{
    const fs::path missing = folder / "ttyUSB7";
    struct Case {
        const char *name;
        std::optional<std::string> before; // the file's bytes before the run, if it was there
    };
    for (const Case &c : {Case{"made.tsv", std::nullopt}, Case{"kept.tsv", ""}, Case{"old.tsv", "1\t2\r\n"}}) {
        SCOPED_TRACE(c.name);
        if (c.before)
            std::ofstream(folder / c.name, std::ios::binary) << *c.before;
        Logger logger(folder, {"--port", missing.string(), "--link-timeout", "2", "-o", c.name});
        ASSERT_EQ(3, logger.exitCode()) << logger.err();
        EXPECT_NE(std::string::npos, logger.err().find("Устройство " + missing.string() + " не найдено."))
            << logger.err();
        EXPECT_EQ(fs::exists(folder / c.name), c.before.has_value());
        EXPECT_EQ(contents(folder / c.name), c.before.value_or(""));
    }
}

TEST_F(PondusLog, ABalanceNotOnTheLineEndsWithCodeFour)
{
    const SimulatorProcess line = simulator();
    Logger logger(folder, {"--port", line.path(), "--balances", "1,5", "-o", "short.tsv"});
    ASSERT_EQ(4, logger.exitCode()) << logger.err();
    EXPECT_NE(std::string::npos, logger.err().find("Подключено 3 весов.")) << logger.err();
}

TEST_F(PondusLog, TheWindowsSettingsChooseTheRun)
{
    const SimulatorProcess line = simulator();
    std::ofstream(folder / "PONDUS.ini") << "[MainForm]\r\nCOM=COM2\r\nGetInfPeriod=0,2\r\n"
                                            "FCLB(0)=0\r\nFCLB(1)=1\r\nFCLB(2)=1\r\n";
    ::setenv("TRUTINA_COM2", line.path().c_str(), 1);
    Logger logger(folder, {"--ini", "PONDUS.ini", "--count", "2", "-o", "ini.csv"});
    ::unsetenv("TRUTINA_COM2");
    ASSERT_EQ(0, logger.exitCode()) << logger.err();
    const std::vector<std::string> written = lines(contents(folder / "ini.csv"));
    ASSERT_EQ(1u + 2u, written.size());
    // The window's CSV: a new file starts with the byte-order mark.
    EXPECT_EQ(0u, written[0].find("\xEF\xBB\xBF№,Время,Весы №2 ")) << written[0];
    EXPECT_NE(std::string::npos, written[0].find(",Весы №2 ед.,Весы №2 Δm,Весы №2 Δm %,Весы №2 стаб.,Весы №3 "))
        << written[0];
    EXPECT_TRUE(written[0].ends_with(",Весы №3 ед.,Весы №3 Δm,Весы №3 Δm %,Весы №3 стаб.")) << written[0];
}

TEST_F(PondusLog, OnATerminalALiveViewInstead)
{
    const SimulatorProcess line = simulator();
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(127);
        ::execl(PONDUS_LOG, PONDUS_LOG, "--library", TRUTINA_LIBRARY, "--port", line.path().c_str(), "--period",
                "0,2", "--count", "3", "-o", "view.tsv", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    std::string screen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
        screen.append(buffer, size_t(n));
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_EQ(0, WEXITSTATUS(status)) << screen;
    EXPECT_NE(std::string::npos, screen.find("link: on line")) << screen;
    EXPECT_NE(std::string::npos, screen.find("rows recorded: 3")) << screen;
    EXPECT_NE(std::string::npos, screen.find("\033[H\033[J")) << "redrawn in place";
    EXPECT_EQ(3u + 3u, rows("view.tsv").size());
}

} // namespace

TEST_F(PondusLog, AJournalDeletedDuringTheRunIsFollowedByANewOneAndEveryRowIsPublished)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    TopicWatcher watcher(broker.clientSettings("lab"), "lab/+/+/reading");
    ASSERT_TRUE(watcher.waitSubscribed());
    const SimulatorProcess line = simulator();
    const fs::path journalPath = folder / "journal.sqlite";
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "-o", "rows.tsv", "--journal",
                           journalPath.string(), "--mqtt", "--mqtt-host", "127.0.0.1", "--mqtt-port",
                           std::to_string(broker.port()), "--mqtt-prefix", "lab"});
    ASSERT_TRUE(waitFor([&] { return rows("rows.tsv").size() >= 3 + 3; }, 20s)) << logger.err();
    ASSERT_TRUE(fs::remove(journalPath));
    ASSERT_TRUE(waitFor([&] { return fs::exists(journalPath) && rows("rows.tsv").size() >= 3 + 8; }, 20s))
        << logger.err();
    logger.signal(SIGTERM);
    ASSERT_EQ(0, logger.exitCode(20s)) << logger.err();
    EXPECT_NE(std::string::npos, logger.err().find("journal " + journalPath.string() + ": deleted during the run"))
        << logger.err();

    const int64_t recorded = int64_t(rows("rows.tsv").size() - 3);
    pondus::journal::JournalReader reader(journalPath.string());
    const auto run = reader.newestRun();
    ASSERT_TRUE(run) << reader.failure().value_or("");
    const std::vector<SequencedRow> kept = reader.rowsAfter(run->run, 0, 1000);
    ASSERT_FALSE(kept.empty());
    EXPECT_GT(kept.front().seq, 3) << "the new file starts where the old one was left";
    EXPECT_EQ(recorded, kept.back().seq) << "and keeps every later row";
    std::set<int64_t> published;
    EXPECT_TRUE(watcher.waitFor([&](const std::vector<WatchedMessage> &messages) {
        for (const WatchedMessage &message : messages)
            if (const auto reading = parseReadingPayload(message.payload))
                published.insert(reading->row.seq);
        return int64_t(published.size()) >= recorded;
    })) << logger.err();
    EXPECT_EQ(recorded, int64_t(published.size()));
}

TEST_F(PondusLog, AnUnreadableCaFileIsNamedWithTheSystemsReasonAndTheRowsNotSentAreCounted)
{
    const SimulatorProcess line = simulator();
    const std::string missing = (folder / "missing.crt").string();
    struct Case {
        std::vector<std::string> journal;
        const char *fate;
    };
    for (const Case &c : {Case{{"--journal", (folder / "journal.sqlite").string()}, "they wait in the journal"},
                          Case{{"--no-journal"}, "they are lost (no journal)"}}) {
        SCOPED_TRACE(c.fate);
        std::vector<std::string> args{"--port", line.path(), "--period", "0,2", "--count", "3", "-o", "ca.tsv",
                                      "--mqtt", "--mqtt-port", "1", "--mqtt-ca", missing};
        args.insert(args.end(), c.journal.begin(), c.journal.end());
        Logger logger(folder, args);
        ASSERT_EQ(0, logger.exitCode()) << logger.err();
        EXPECT_NE(std::string::npos,
                  logger.err().find("не удалось открыть файл CA " + missing + ": No such file or directory"))
            << logger.err();
        EXPECT_NE(std::string::npos, logger.err().find("MQTT: 3 rows were not sent to the broker; " +
                                                      std::string(c.fate)))
            << logger.err();
    }
}

TEST_F(PondusLog, OnThePortSearchRowsArePublishedUnderThePortFound)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    TopicWatcher watcher(broker.clientSettings("lab"), "lab/+/+/reading");
    TopicWatcher statuses(broker.clientSettings("lab"), "lab/+/+/status");
    ASSERT_TRUE(watcher.waitSubscribed());
    ASSERT_TRUE(statuses.waitSubscribed());
    const SimulatorProcess line = simulator();
    for (int port : {1, 2, 4})
        ::setenv(("TRUTINA_COM" + std::to_string(port)).c_str(), (folder / "absent").c_str(), 1);
    ::setenv("TRUTINA_COM3", line.path().c_str(), 1);
    Logger logger(folder, {"--port", "AUTO", "--period", "0,2", "--count", "3", "-o", "auto.tsv", "--mqtt",
                           "--mqtt-host", "127.0.0.1", "--mqtt-port", std::to_string(broker.port()),
                           "--mqtt-prefix", "lab"});
    for (int port = 1; port <= 4; ++port)
        ::unsetenv(("TRUTINA_COM" + std::to_string(port)).c_str());
    ASSERT_EQ(0, logger.exitCode()) << logger.err();

    // Every row reached the broker before the program ended.
    std::vector<WatchedMessage> arrived;
    ASSERT_TRUE(watcher.waitFor([&](const std::vector<WatchedMessage> &messages) {
        arrived = messages;
        return messages.size() >= 3;
    })) << logger.err();
    ASSERT_EQ(3u, arrived.size());
    for (const WatchedMessage &message : arrived)
        EXPECT_TRUE(message.topic.ends_with("/COM3/reading")) << message.topic;
    // The first status after connecting already tells the link.
    std::string first;
    ASSERT_TRUE(statuses.waitFor([&](const std::vector<WatchedMessage> &messages) {
        for (const WatchedMessage &message : messages)
            if (!message.payload.empty() && first.empty())
                first = message.payload;
        return !first.empty();
    }));
    EXPECT_EQ("{\"link\":\"OnLine\",\"status\":\"online\"}", first);
}

namespace {

// The details of the journal's events of one kind, oldest first.
std::vector<nlohmann::json> eventDetails(const std::string &journal, const std::string &kind)
{
    sqlite3 *db = nullptr;
    std::vector<nlohmann::json> details;
    if (sqlite3_open_v2(journal.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(
            db, ("SELECT detail FROM event WHERE kind = '" + kind + "' ORDER BY id").c_str(),
            [](void *out, int, char **values, char **) {
                static_cast<std::vector<nlohmann::json> *>(out)->push_back(nlohmann::json::parse(values[0]));
                return 0;
            },
            &details, nullptr);
    sqlite3_close(db);
    return details;
}

} // namespace

TEST_F(PondusLog, ARunStopsByItselfOnceEverySampleHasReachedConstantMass)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    TopicWatcher readings(broker.clientSettings("lab"), "lab/+/+/reading");
    TopicWatcher status(broker.clientSettings("lab"), "lab/+/+/status");
    ASSERT_TRUE(readings.waitSubscribed());
    ASSERT_TRUE(status.waitSubscribed());
    // Two samples drying towards 11 g and 48 g, 63 % of the way after 1 s
    // and after 2 s: within 0,01 % over 2 s after some 7 s and 15 s.
    const SimulatorProcess line = simulator({"--balance", "kind=2,unit=g,decimals=3,weight=approach:12:11:1",
                                             "--balance", "kind=1,unit=g,decimals=3,weight=approach:50:48:2"});
    const std::string journal = (folder / "journal.sqlite").string();
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "-o", "drying.csv", "--journal", journal,
                           "--sample", "1=Глина К-2", "--sample", "2=Торф, верх", "--until-constant", "0,01%/2s",
                           "--duration", "60s", "--mqtt", "--mqtt-host", "127.0.0.1", "--mqtt-port",
                           std::to_string(broker.port()), "--mqtt-prefix", "lab"});
    ASSERT_EQ(0, logger.exitCode(60s)) << logger.err();
    EXPECT_NE(std::string::npos, logger.err().find("every balance's sample has reached constant mass")) << logger.err();
    EXPECT_NE(std::string::npos, logger.err().find("Весы №2 — Торф, верх: постоянная масса с ")) << logger.err();

    // The journal holds the names, each balance's constant mass once, and
    // every row the file holds.
    EXPECT_EQ("program_start run_start sample sample constant_mass constant_mass run_stop export program_exit ",
              eventKinds(journal));
    const std::vector<nlohmann::json> names = eventDetails(journal, "sample");
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ("Торф, верх", names[1].at("name"));
    const std::vector<nlohmann::json> reached = eventDetails(journal, "constant_mass");
    ASSERT_EQ(2u, reached.size());
    EXPECT_EQ(1, reached[0].at("balance"));
    EXPECT_EQ("Глина К-2", reached[0].at("sample"));
    EXPECT_EQ("0,01%/2s", reached[0].at("criterion"));
    EXPECT_NEAR(11.0, reached[0].at("reference").get<double>() + reached[0].at("change").get<double>(), 0.01)
        << "dried almost to its end";
    EXPECT_LE(reached[0].at("utcMs").get<int64_t>(), reached[1].at("utcMs").get<int64_t>()) << "the faster first";
    pondus::journal::JournalReader reader(journal);
    const auto run = reader.newestRun();
    ASSERT_TRUE(run) << reader.failure().value_or("");
    const std::vector<SequencedRow> journaled = reader.rowsAfter(run->run, 0, 1000);
    const std::vector<std::string> written = rows("drying.csv");
    ASSERT_EQ(journaled.size() + 1, written.size()) << "a header line and every row";
    EXPECT_NE(std::string::npos, written[0].find(",Весы №1 — Глина К-2 ")) << written[0];
    // The file's Δm of the last row is the journal's change at it.
    const std::vector<std::string> last = cells(written.back(), ',');
    EXPECT_NEAR(reached[1].at("change").get<double>(), std::stod(last.at(9)), 1e-9) << written.back();
    EXPECT_EQ("1", last.at(11));
    // The run's end names each sample with its change over the run, the last
    // row's, and the time it reached constant mass.
    const std::string &told = logger.err();
    for (const auto &[sample, changeField] : {std::pair{"Весы №1 — Глина К-2", 4}, std::pair{"Весы №2 — Торф, верх", 9}}) {
        const std::string reachedText = std::string(sample) + ": постоянная масса с ";
        const size_t at = told.find(reachedText);
        ASSERT_NE(std::string::npos, at) << told;
        const std::string since = told.substr(at + reachedText.size(), told.find(" (", at) - at - reachedText.size());
        char expected[256];
        std::snprintf(expected, sizeof expected, "pondus-log: %s: Δm %+.6g g (%+.6g %%) over the run; постоянная масса с %s\n",
                      sample, std::stod(last.at(changeField)), std::stod(last.at(changeField + 1)), since.c_str());
        EXPECT_NE(std::string::npos, told.find(expected)) << expected << told;
    }
    // The journal's snapshot of the run, its names included, makes the same file.
    const std::optional<RunSnapshot> snapshot = snapshotOfRun(reader, run->run);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ((std::vector<std::string>{"Глина К-2", "Торф, верх"}), snapshot->settings.samples);
    CsvText csv{ValueFormat()};
    QByteArray again = CsvText::byteOrderMark;
    csv.appendHeader(*snapshot, again);
    for (size_t index = 0; index < snapshot->rowCount(); ++index)
        csv.appendRow(*snapshot, index, again);
    EXPECT_EQ(contents(folder / "drying.csv"), again.toStdString());
    EXPECT_EQ(reached[1].at("utcMs").get<int64_t>(), journaled.back().row.utcMs) << "the last row made it";

    // Readings carry the names; the status each sample's change, drift and
    // constant mass.
    std::string readingPayload;
    ASSERT_TRUE(readings.waitFor([&](const std::vector<WatchedMessage> &messages) {
        if (messages.size() < journaled.size())
            return false;
        readingPayload = messages.back().payload;
        return true;
    })) << logger.err();
    const nlohmann::json reading = nlohmann::json::parse(readingPayload);
    EXPECT_EQ("Глина К-2", reading.at("balances").at(0).at("sample"));
    EXPECT_EQ("Торф, верх", reading.at("balances").at(1).at("sample"));
    nlohmann::json constant;
    ASSERT_TRUE(status.waitFor([&](const std::vector<WatchedMessage> &messages) {
        for (const WatchedMessage &message : messages) {
            const nlohmann::json payload = nlohmann::json::parse(message.payload, nullptr, false);
            if (payload.contains("samples") && payload["samples"].at(1).at("constant") == true)
                constant = payload;
        }
        return !constant.is_null();
    })) << logger.err();
    const nlohmann::json &second = constant.at("samples").at(1);
    EXPECT_EQ("Торф, верх", second.at("sample"));
    EXPECT_EQ(reached[1].at("utcMs"), second.at("constantSinceUtcMs"));
    EXPECT_LT(second.at("changePercent").get<double>(), -3.0);
    EXPECT_GT(second.at("changePercent").get<double>(), -4.1);
    EXPECT_LT(second.at("driftPerHour").get<double>(), 0.0) << "still drying";
    EXPECT_GT(second.at("driftPerHour").get<double>(), -10.0) << "but almost flat";
}

TEST_F(PondusLog, TheWorkbooksChangesAreFormulasOfItsWeightsThatGiveTheCsvsNumbers)
{
    const SimulatorProcess line = simulator({"--balance", "kind=2,unit=g,decimals=3,weight=approach:12:11:1",
                                             "--balance", "kind=1,unit=mg,decimals=1,weight=approach:850:792:2"});
    const std::string journal = (folder / "journal.sqlite").string();
    Logger logger(folder, {"--port", line.path(), "--period", "0,2", "--count", "8", "-o", "run.xlsx", "--journal",
                           journal, "--sample", "2=Каолин"});
    ASSERT_EQ(0, logger.exitCode()) << logger.err();

    // openpyxl reads each formula and the value written with it; the
    // formula is recomputed here from the weight cells it names.
    const std::string command = std::string(PYTHON3) + " -c '"
        "import openpyxl, re, sys\n"
        "book = openpyxl.load_workbook(sys.argv[1])\n"
        "values = openpyxl.load_workbook(sys.argv[1], data_only=True)\n"
        "sheet, cached = book[\"Измерения\"], values[\"Измерения\"]\n"
        "print(sheet.cell(3, 10).value, book[\"Настройки\"].cell(11, 4).value)\n"
        "for row in range(4, sheet.max_row + 1):\n"
        "    out = []\n"
        "    for column in range(8, 12):\n"
        "        formula = sheet.cell(row, column).value\n"
        "        cells = re.findall(r\"(?:\\x27[^\\x27]+\\x27!)?\\$?([A-Z]+)\\$?([0-9]+)\", formula)\n"
        "        weight = sheet[cells[0][0] + cells[0][1]].value\n"
        "        reference = book[\"Измерения\"][cells[-1][0] + cells[-1][1]].value\n"
        "        change = weight - reference\n"
        "        again = change if column % 2 == 0 else change / reference * 100\n"
        "        out.append(\"%r/%r\" % (cached.cell(row, column).value, again))\n"
        "    print(\" \".join(out))\n' " + (folder / "run.xlsx").string();
    const std::string text = commandOutput(command);
    const std::vector<std::string> read = lines(text, "\n");
    ASSERT_EQ(1u + 8u, read.size()) << text;
    EXPECT_EQ("Каолин Каолин", read[0]) << "the sample in the sheet's captions and in the settings";

    pondus::journal::JournalReader reader(journal);
    const std::optional<RunSnapshot> snapshot = snapshotOfRun(reader, reader.newestRun()->run);
    ASSERT_TRUE(snapshot);
    CsvText csv{ValueFormat()};
    QByteArray bytes;
    csv.appendHeader(*snapshot, bytes);
    for (size_t index = 0; index < snapshot->rowCount(); ++index)
        csv.appendRow(*snapshot, index, bytes);
    const std::vector<std::string> csvLines = lines(bytes.toStdString());
    for (size_t n = 1; n < read.size(); ++n) {
        const std::vector<std::string> fields = cells(csvLines.at(n), ',');
        const std::vector<std::string> workbook = cells(read[n], ' ');
        ASSERT_EQ(4u, workbook.size()) << read[n];
        for (size_t k = 0; k < 4; ++k) {
            const std::string &pair = workbook[k];
            const double written = std::stod(pair.substr(0, pair.find('/')));
            const double again = std::stod(pair.substr(pair.find('/') + 1));
            const double fromCsv = std::stod(fields.at(k < 2 ? 4 + k : 9 + k - 2));
            EXPECT_NEAR(again, written, 1e-9) << "row " << n << ": " << pair;
            EXPECT_NEAR(fromCsv, written, 1e-9) << "row " << n << ": " << csvLines.at(n);
        }
    }
}

TEST_F(PondusLog, VerifyWalksTheJournalsChainAndNamesWhatWasChangedWithCodeFive)
{
    const SimulatorProcess line = simulator();
    const std::string journalPath = (folder / "journal.sqlite").string();
    Logger run(folder, {"--port", line.path(), "--period", "0,2", "--balances", "1,3", "--count", "4", "-o",
                        "rows.tsv", "--journal", journalPath});
    ASSERT_EQ(0, run.exitCode()) << run.err();
    Logger intact(folder, {"--verify", journalPath});
    ASSERT_EQ(0, intact.exitCode()) << intact.err();
    EXPECT_NE(std::string::npos, intact.out().find("run 1: start ")) << intact.out();
    EXPECT_NE(std::string::npos, intact.out().find(", 4 rows, first ")) << intact.out();
    EXPECT_NE(std::string::npos, intact.out().find("intact: ")) << intact.out();
    EXPECT_NE(std::string::npos, intact.out().find("journal.sqlite.head matches")) << intact.out();
    struct Case {
        const char *sql;
        const char *named;
    };
    for (const Case &c : {Case{"UPDATE measurement SET raw_values = '[1,1]' WHERE seq = 3", "run 1, row 3 (№ 3) does not match"},
                          Case{"DELETE FROM measurement WHERE seq = 2", "missing before run 1, row 3"},
                          Case{"DELETE FROM event WHERE link = (SELECT max(link) FROM event)", "last events removed"}}) {
        const std::string tampered = (folder / "tampered.sqlite").string();
        fs::copy_file(journalPath, tampered, fs::copy_options::overwrite_existing);
        fs::copy_file(journalPath + ".head", tampered + ".head", fs::copy_options::overwrite_existing);
        ASSERT_EQ(0, std::system(("sqlite3 '" + tampered + "' \"" + c.sql + "\"").c_str()));
        Logger broken(folder, {"--verify", tampered});
        EXPECT_EQ(5, broken.exitCode()) << broken.err();
        EXPECT_NE(std::string::npos, broken.err().find(c.named)) << broken.err();
        EXPECT_EQ(std::string::npos, broken.out().find("intact")) << broken.out();
    }
}

TEST_F(PondusLog, TheReportOfARunCarriesItsFiguresAndTheHashesVerifyPrints)
{
    const SimulatorProcess line = simulator({"--balance", "kind=2,unit=g,decimals=3,weight=approach:12:11:1"});
    const std::string journal = (folder / "journal.sqlite").string();
    Logger run(folder, {"--port", line.path(), "--period", "0,2", "--count", "8", "-o", "rows.tsv", "--journal",
                        journal, "--sample", "1=Каолин"});
    ASSERT_EQ(0, run.exitCode()) << run.err();
    Logger verify(folder, {"--verify", journal});
    ASSERT_EQ(0, verify.exitCode()) << verify.err();
    const std::string listed = verify.out();
    const auto after = [&](const std::string &key) {
        const size_t at = listed.find(key);
        return at == std::string::npos ? std::string() : listed.substr(at + key.size(), 64);
    };
    Logger report(folder, {"--journal", journal, "--report", "last", "-o", "report.pdf"});
    ASSERT_EQ(0, report.exitCode()) << report.err();
    EXPECT_NE(std::string::npos, report.err().find("the report of run 1 is in report.pdf")) << report.err();

    const std::string text =
        commandOutput(std::string(PDFTOTEXT) + " -layout '" + (folder / "report.pdf").string() + "' -");
    for (const std::string &hash : {after(", first "), after(", last "), after(", head ")}) {
        ASSERT_EQ(64u, hash.size()) << listed;
        EXPECT_NE(std::string::npos, text.find(hash)) << hash << " not in:\n" << text;
    }
    EXPECT_NE(std::string::npos, text.find("Каолин")) << text;
    // The figures of balance 1 against the row file's first and last rows.
    const std::vector<std::string> written = rows("rows.tsv");
    ASSERT_EQ(3u + 8u, written.size());
    const auto number = [](std::string cell) {
        std::replace(cell.begin(), cell.end(), ',', '.');
        return std::stod(cell);
    };
    std::vector<std::string> figures;
    for (const std::string &pdfLine : lines(text, "\n"))
        if (pdfLine.rfind("Весы №1 ", 0) == 0 && pdfLine.find(" g ") != std::string::npos) {
            std::stringstream words(pdfLine);
            for (std::string word; words >> word;)
                figures.push_back(word);
        }
    ASSERT_EQ(11u, figures.size()) << text;
    EXPECT_EQ("8", figures[3]);
    EXPECT_DOUBLE_EQ(number(cells(written[3], '\t').at(3)), number(figures[4]));
    EXPECT_DOUBLE_EQ(number(cells(written[10], '\t').at(3)), number(figures[5]));
    EXPECT_NEAR(number(figures[5]) - number(figures[4]), number(figures[10]), 1e-9) << "the change over the run";

    Logger noRun(folder, {"--journal", journal, "--report", "7", "-o", "seven.pdf"});
    EXPECT_EQ(6, noRun.exitCode());
    EXPECT_NE(std::string::npos, noRun.err().find("holds no run 7")) << noRun.err();
    EXPECT_FALSE(fs::exists(folder / "seven.pdf"));
}

TEST_F(PondusLog, AJournaledRunsWorkbookCarriesTheChainsHashesInItsSettings)
{
    const SimulatorProcess line = simulator();
    const std::string journal = (folder / "journal.sqlite").string();
    Logger run(folder, {"--port", line.path(), "--period", "0,2", "--count", "3", "-o", "run.xlsx", "--journal",
                        journal});
    ASSERT_EQ(0, run.exitCode()) << run.err();
    Logger verify(folder, {"--verify", journal});
    ASSERT_EQ(0, verify.exitCode()) << verify.err();
    // openpyxl prints the settings sheet's labels and values.
    const std::string command = std::string(PYTHON3) + " -c '"
        "import openpyxl, sys\n"
        "sheet = openpyxl.load_workbook(sys.argv[1])[\"Настройки\"]\n"
        "for row in sheet.iter_rows(values_only=True):\n"
        "    print(row[0], row[1])\n' " + (folder / "run.xlsx").string();
    const std::string text = commandOutput(command);
    const auto valueOf = [&](const std::string &label) {
        const size_t at = text.find(label + " ");
        return at == std::string::npos ? std::string() : text.substr(at + label.size() + 1, 64);
    };
    const std::string listed = verify.out();
    const size_t first = listed.find(", first ");
    ASSERT_NE(std::string::npos, first) << listed;
    EXPECT_EQ(listed.substr(first + 8, 64), valueOf("Первое событие серии")) << text;
    EXPECT_EQ(listed.substr(listed.find(", last ") + 7, 64), valueOf("Последнее событие серии")) << text;
    // The head when the workbook was written: a link of the journal's chain.
    const std::string head = valueOf("Голова цепочки журнала");
    ASSERT_EQ(64u, head.size()) << text;
    sqlite3 *db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(journal.c_str(), &db, SQLITE_OPEN_READONLY, nullptr));
    int found = 0;
    sqlite3_exec(db, ("SELECT 1 FROM event WHERE lower(hex(hash)) = '" + head + "'").c_str(),
                 [](void *count, int, char **, char **) { return ++*static_cast<int *>(count), 0; }, &found, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(1, found) << head;
}

TEST_F(PondusLog, TheWorkbooksExportIsJournaledOnceItIsInPlaceWithItsDigest)
{
    const SimulatorProcess line = simulator();
    const std::string journal = (folder / "journal.sqlite").string();
    Logger run(folder, {"--port", line.path(), "--period", "0,2", "--count", "3", "-o", "run.xlsx", "--journal",
                        journal});
    ASSERT_EQ(0, run.exitCode()) << run.err();
    // sha256sum, a reader independent of the program, digests the file.
    const std::string digest = commandOutput("sha256sum '" + (folder / "run.xlsx").string() + "'").substr(0, 64);
    ASSERT_EQ(64u, digest.size());
    std::vector<nlohmann::json> exports = eventDetails(journal, "export");
    ASSERT_EQ(1u, exports.size());
    EXPECT_EQ("run.xlsx", exports[0]["file"]);
    EXPECT_EQ("xlsx", exports[0]["format"]);
    EXPECT_EQ(3, exports[0]["rows"]);
    EXPECT_EQ(digest, exports[0]["sha256"]);

    // A workbook that cannot be put in place is claimed by no export, and
    // its rows wait in its row file.
    Logger blocked(folder, {"--port", line.path(), "--period", "0,2", "-o", "blocked.xlsx", "--journal", journal});
    ASSERT_TRUE(waitFor([&] { return rows("blocked.xlsx.rows.csv").size() >= 3 + 2; }, 20s)) << blocked.err();
    fs::create_directory(folder / "blocked.xlsx");
    blocked.signal(SIGTERM);
    ASSERT_NE(0, blocked.exitCode(20s)) << blocked.err();
    EXPECT_NE(std::string::npos, blocked.err().find("blocked.xlsx: ")) << blocked.err();
    EXPECT_TRUE(fs::exists(folder / "blocked.xlsx.rows.csv"));
    exports = eventDetails(journal, "export");
    ASSERT_EQ(1u, exports.size()) << exports.back().dump();
    EXPECT_EQ("run.xlsx", exports[0]["file"]);
}

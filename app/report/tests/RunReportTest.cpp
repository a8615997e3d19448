// The run report on real journal files: each balance's figures in one pass,
// the chart thinned to its columns, the run chosen by id or "last", the
// run's edits, link losses and exports, and the PDF read back as text with
// the same hashes as the chain's walk.
#include "CommandOutput.h"
#include "JournalFixture.h"

#include "journal/ChainVerifier.h"
#include "report/ChartLines.h"
#include "report/RunReport.h"
#include "report/RunReportFile.h"

#include <QGuiApplication>

#include <cmath>
#include <cstdio>
#include <fstream>

using namespace pondus::report;

namespace {

class RunReportTest : public JournalFixture {
protected:
    // Two runs; the second of five rows over two balances with a link lost
    // and regained, an edit and an export.
    void recordRuns()
    {
        auto journal = makeJournal();
        journal.programStarted();
        journal.runStarted(settings(1));
        journal.recordRow(row(1, 1));
        journal.runStopped();
        RunSettings second = settings(2);
        second.samples = {"Глина К-2"};
        journal.runStarted(second, {1'700'000'000'000, 10800}, 65538);
        for (int n = 1; n <= 3; ++n)
            journal.recordRow(row(n, 2));
        journal.linkLost(101);
        journal.linkRegained();
        for (int n = 4; n <= 5; ++n)
            journal.recordRow(row(n, 2));
        journal.cellEdited({journal.cellAt(5, 3), "-49,60", "-49,61", ""});
        journal.runStopped();
        const std::string exported = (folder / "run.tsv").string();
        std::ofstream(exported) << "abc";
        journal.exported(exported, journal.sheetRows());
    }

    // The PDF's text as pdftotext reads it, in its layout.
    static std::string pdfText(const std::string &pdf)
    {
        return commandOutput(std::string(PDFTOTEXT) + " -layout '" + pdf + "' -");
    }
};

} // namespace

TEST(BalanceFigures, OnePassGivesTheFiguresOfTheWholeSeries)
{
    struct Case {
        std::vector<double> weights;
        double mean, deviation, change;
    };
    const Case cases[] = {
        {{12.5}, 12.5, 0.0, 0.0},
        {{2, 4, 4, 4, 5, 5, 7, 9}, 5.0, std::sqrt(32.0 / 7), 7.0},
        // Large weights with a small spread keep their precision.
        {{100000.001, 100000.002, 100000.003}, 100000.002, 0.001, 0.002},
        {{-4990, -4980, -4970, -4960, -4950}, -4970, std::sqrt(250.0), 40},
    };
    for (const Case &c : cases) {
        BalanceFigures figures;
        for (const double weight : c.weights)
            figures.add(weight);
        EXPECT_EQ(figures.count, int64_t(c.weights.size()));
        EXPECT_EQ(figures.first, c.weights.front());
        EXPECT_EQ(figures.last, c.weights.back());
        EXPECT_EQ(figures.min, *std::min_element(c.weights.begin(), c.weights.end()));
        EXPECT_EQ(figures.max, *std::max_element(c.weights.begin(), c.weights.end()));
        EXPECT_NEAR(figures.mean, c.mean, 1e-9);
        EXPECT_NEAR(figures.standardDeviation(), c.deviation, 1e-6);
        EXPECT_NEAR(figures.change(), c.change, 1e-9);
    }
}

TEST(ChartLines, ADayOfPointsIsThinnedToTwoAColumnKeepingEveryExtreme)
{
    struct Case {
        int points, columns;
        size_t most;
    };
    for (const Case &c : {Case{432000, 2000, 4000}, Case{10, 2000, 10}, Case{1, 100, 1}}) {
        ChartLines lines(1, 0, int64_t(c.points - 1) * 200, c.columns);
        double low = 1e9, high = -1e9;
        for (int n = 0; n < c.points; ++n) {
            const double value = std::sin(n * 0.01) * 100 + (n == c.points / 3 ? 500 : 0);
            low = std::min(low, value);
            high = std::max(high, value);
            lines.add(0, int64_t(n) * 200, value);
        }
        const std::vector<ChartPoint> points = lines.points(0);
        EXPECT_LE(points.size(), c.most);
        EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                                   [](const ChartPoint &a, const ChartPoint &b) { return a.utcMs < b.utcMs; }));
        const auto [lowest, highest] = std::minmax_element(
            points.begin(), points.end(), [](const ChartPoint &a, const ChartPoint &b) { return a.value < b.value; });
        EXPECT_EQ(lowest->value, low);
        EXPECT_EQ(highest->value, high) << "a single spike stays on the chart";
    }
}

TEST_F(RunReportTest, TheRunIsChosenByItsIdOrAsTheLast)
{
    recordRuns();
    struct Case {
        std::string run;
        int64_t chosen; // 0: none
        bool noSuchRun;
    };
    for (const Case &c : {Case{"last", 2, false}, Case{"1", 1, false}, Case{"2", 2, false}, Case{"3", 0, true},
                          Case{"0", 0, true}, Case{"zwei", 0, true}, Case{"", 0, true}}) {
        const ReportRead read = readRunReport(path, c.run, 100);
        EXPECT_EQ(read.report ? read.report->run : 0, c.chosen) << c.run;
        EXPECT_EQ(read.noSuchRun, c.noSuchRun) << c.run << ": " << read.error;
        EXPECT_EQ(read.error.empty(), c.chosen != 0) << c.run << ": " << read.error;
    }
    const ReportRead missing = readRunReport((folder / "none.sqlite").string(), "last", 100);
    EXPECT_FALSE(missing.report);
    EXPECT_FALSE(missing.noSuchRun) << "a journal that cannot be read is another failure";
    EXPECT_NE(missing.error.find("none.sqlite"), std::string::npos) << missing.error;
}

TEST_F(RunReportTest, TheReportHoldsTheRunsFiguresEventsAndHashes)
{
    recordRuns();
    const ReportRead read = readRunReport(path, "last", 100);
    ASSERT_TRUE(read.report) << read.error;
    const RunReport &report = *read.report;
    const pondus::journal::ChainCheck check = pondus::journal::verifyChain(path);
    EXPECT_EQ(report.rows, 5);
    EXPECT_EQ(report.libraryVersion, "1.2");
    EXPECT_FALSE(report.programVersion.empty());
    EXPECT_FALSE(report.user.empty());
    EXPECT_EQ(report.utcOffsetSeconds, 10800);
    ASSERT_EQ(report.balances.size(), 2u);
    EXPECT_EQ(report.balances[0].first, -4990.0);
    EXPECT_EQ(report.balances[1].last, -4949.99);
    EXPECT_EQ(report.balances[1].model, 301);
    EXPECT_EQ(report.balances[1].ident, 5001);
    EXPECT_TRUE(report.chain.intact);
    EXPECT_EQ(report.chain.head, check.head);
    EXPECT_EQ(report.firstHash, check.runs.at(1).firstHash);
    EXPECT_EQ(report.lastHash, check.runs.at(1).lastHash);
    ASSERT_EQ(report.edits.size(), 1u);
    EXPECT_EQ(report.edits[0].text, "строка 2, Весы №1, значение: «-49,60» → «-49,61»; причина не указана");
    ASSERT_EQ(report.linkLosses.size(), 1u);
    EXPECT_NE(report.linkLosses[0].text.find(", восстановлена "), std::string::npos) << report.linkLosses[0].text;
    ASSERT_EQ(report.exports.size(), 1u);
    EXPECT_NE(report.exports[0].text.find("run.tsv (tsv), строк: 6, SHA-256 ba7816bf8f01cfea414140de5dae2223b00361a3"
                                          "96177a9cb410ff61f20015ad"),
              std::string::npos)
        << report.exports[0].text;
}

TEST_F(RunReportTest, AReasonGivenWithAnEditIsShownAndAChangedJournalSaysSo)
{
    recordRuns();
    execute("UPDATE event SET detail = json_set(detail, '$.reason', 'опечатка') WHERE kind = 'cell_edit'");
    const ReportRead read = readRunReport(path, "2", 100);
    ASSERT_TRUE(read.report) << read.error;
    ASSERT_EQ(read.report->edits.size(), 1u);
    EXPECT_NE(read.report->edits[0].text.find("; причина: опечатка"), std::string::npos) << read.report->edits[0].text;
    EXPECT_FALSE(read.report->chain.intact) << "the reason was not written by the program";
}

TEST_F(RunReportTest, ThePdfReadsBackWithTheFiguresAndHashes)
{
    recordRuns();
    const std::string pdf = (folder / "report.pdf").string();
    const ReportWritten written = writeRunReport(path, "last", pdf, false);
    ASSERT_TRUE(written.written) << written.error;
    EXPECT_EQ(written.run, 2);
    const std::string text = pdfText(pdf);
    const pondus::journal::ChainCheck check = pondus::journal::verifyChain(path);
    for (const std::string &expected :
         {std::string("Отчёт о серии измерений № 2"), std::string("Глина К-2"), std::string("периодически, период 0,2 с"),
          std::string("Цепочка не нарушена: ") + std::to_string(check.links) + " событий", check.head,
          check.runs.at(1).firstHash, check.runs.at(1).lastHash, std::string("-4990,00"), std::string("-4949,99"),
          std::string("15,811"), std::string("40,00"), std::string("причина не указана"),
          std::string("journal.sqlite.head совпадает с журналом")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " not in:\n" << text;
}

TEST_F(RunReportTest, AReportThatCannotBeWrittenLeavesNoFile)
{
    recordRuns();
    const std::string existing = (folder / "existing.pdf").string();
    std::ofstream(existing) << "kept";
    struct Case {
        std::string run, pdf;
        bool replace, noSuchRun;
        const char *named;
    };
    const Case cases[] = {
        {"9", (folder / "nine.pdf").string(), false, true, "holds no run 9"},
        {"last", existing, false, false, "existing.pdf: exists"},
        {"last", existing + "/r.pdf", false, false, "existing.pdf/r.pdf: "},
    };
    for (const Case &c : cases) {
        const ReportWritten written = writeRunReport(path, c.run, c.pdf, c.replace);
        EXPECT_FALSE(written.written) << c.pdf;
        EXPECT_EQ(written.noSuchRun, c.noSuchRun) << c.pdf;
        EXPECT_NE(written.error.find(c.named), std::string::npos) << written.error;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "nine.pdf"));
    std::ifstream in(existing);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "kept");
    EXPECT_TRUE(writeRunReport(path, "last", existing, true).written) << "replaced when asked";
}

int main(int argc, char **argv)
{
    // Text on a page needs the fonts of a GUI application, off screen (also
    // when the tests are listed, without the tests' environment).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

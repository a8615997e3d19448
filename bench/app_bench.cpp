// Usage: app_bench [rows], rows of the long run, 432000 unless given.
//
// Measures the main window with ten balances and a chart window of 1000:
// time per recorded measurement once the window is full, process memory
// per recorded row, the time to scroll to the end of the table, and the
// longest single call on the window's thread.
#include "FakeReadingSource.h"
#include "ProcessUsage.h"
#include "journal/Journal.h"
#include "mainform/Serialer.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace {

constexpr int balances = 10;
constexpr int chartWindow = 1000;
constexpr int timedMeasurements = 2000;
constexpr int dayOfRows = 432000; // a day at one row per 0,2 s

// Rows into the journal while `on` holds, as the window's keeper writes them
// in the poll step.
struct JournalWhileOn final : SessionObserver {
    explicit JournalWhileOn(pondus::journal::Journal &journal) : journal(journal) {}
    void rowCommitted(const CommittedRow &row) override
    {
        if (on)
            journal.recordRow(row.row);
    }
    pondus::journal::Journal &journal;
    bool on = true;
};

class Bench {
public:
    explicit Bench(TMainForm &form, FakeReadingSource &link) : form_(form), link_(link) {}

    // One poll with a new reading from every balance, then the event loop's
    // turn (repaints) as between two timer ticks.
    void recordOne()
    {
        ++tick_;
        for (int j = 1; j <= balances; ++j)
            link_.deliver(j, 100000 * j + (tick_ * 37 + j * 11) % 5000 - 2500, 1000, tick_ % 3 != 0, 200);
        QElapsedTimer call;
        call.start();
        form_.Timer2Timer();
        const qint64 pollNs = call.nsecsElapsed();
        lastPollNs = pollNs;
        longestNs = std::max(longestNs, pollNs);
        if (tick_ % eventLoopEvery_ == 0)
            spinEventLoop();
    }

    void spinEventLoop()
    {
        QElapsedTimer call;
        call.start();
        QCoreApplication::processEvents();
        longestNs = std::max(longestNs, call.nsecsElapsed());
    }
    void setEventLoopEvery(int n) { eventLoopEvery_ = n; }

    // The median of n poll calls, in ms.
    double medianPollMs(int n)
    {
        std::vector<double> ms;
        for (int i = 0; i < n; ++i) {
            recordOne();
            ms.push_back(double(lastPollNs) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    }

    qint64 lastPollNs = 0;
    qint64 longestNs = 0;

private:
    TMainForm &form_;
    FakeReadingSource &link_;
    int tick_ = 0;
    int eventLoopEvery_ = 1;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir settingsDir;
    QDir::setCurrent(settingsDir.path());

    FakeReadingSource link;
    link.setLink(TRUTINA_LINK_ONLINE, balances);
    TMainForm form(link);
    form.setMessageSink([](const QString &text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    auto *list = form.findChild<QListWidget *>(QStringLiteral("FileCheckListBox"));
    for (int item = 0; item < balances; ++item)
        list->item(item)->setCheckState(Qt::Checked);
    form.findChild<QLineEdit *>(QStringLiteral("SizeEdit"))->setText(QString::number(chartWindow));
    MainFormLayout::showText(form.findChild<QComboBox *>(QStringLiteral("ComboBox1")), QStringLiteral("вручную"));
    form.resize(1024, 700);
    form.show();
    QCoreApplication::processEvents();
    const long baseline = residentBytes();

    const QString journalPath = settingsDir.filePath(QStringLiteral("journal.sqlite"));
    pondus::journal::Journal journal(journalPath.toStdString(), [](const std::string &path, const std::string &why) {
        std::fprintf(stderr, "journal failed: %s: %s\n", path.c_str(), why.c_str());
    });
    // A run by hand: only the bench polls.
    form.findChild<QPushButton *>(QStringLiteral("WeightButton"))->click();
    if (!form.session().running()) {
        std::fprintf(stderr, "app_bench: the run did not start\n");
        return 1;
    }
    journal.runStarted(form.session().run().settings);
    JournalWhileOn journalOn(journal);
    form.session().addObserver(journalOn);

    Bench bench(form, link);
    for (int n = 0; n < chartWindow; ++n)
        bench.recordOne();
    int recorded = chartWindow + timedMeasurements;

    double totalMs = 0;
    double worstMs = 0;
    QElapsedTimer wall;
    wall.start();
    for (int n = 0; n < timedMeasurements; ++n) {
        bench.recordOne();
        const double ms = double(bench.lastPollNs) / 1e6;
        totalMs += ms;
        worstMs = std::max(worstMs, ms);
    }
    std::printf("recording at a full chart window of %d, %d balances:\n", chartWindow, balances);
    std::printf("  poll call: mean %.3f ms, worst %.3f ms\n", totalMs / timedMeasurements, worstMs);
    std::printf("  poll plus repaint: mean %.3f ms per measurement\n",
                double(wall.nsecsElapsed()) / 1e6 / timedMeasurements);
    journalOn.on = false;
    const double withoutJournal = bench.medianPollMs(timedMeasurements);
    journalOn.on = true;
    const double withJournal = bench.medianPollMs(timedMeasurements);
    std::printf("  poll call, median: %.3f ms without the journal, %.3f ms with it (%+.3f ms)\n", withoutJournal,
                withJournal, withJournal - withoutJournal);
    recorded += 2 * timedMeasurements;

    // The long run: the event loop turns every 50th measurement to save time;
    // what a row costs in memory does not depend on it.
    bench.setEventLoopEvery(50);
    const int longRun = argc > 1 ? std::max(atoi(argv[1]), 1) : dayOfRows;
    std::vector<int> checkpoints = {std::min(100000, longRun), longRun};
    checkpoints.erase(std::unique(checkpoints.begin(), checkpoints.end()), checkpoints.end());
    for (int checkpoint : checkpoints) {
        while (recorded < checkpoint) {
            bench.recordOne();
            ++recorded;
        }
        bench.spinEventLoop();
        const long grown = residentBytes() - baseline;
        std::printf("after %d rows: process memory +%.1f MB, %.0f bytes per row\n", recorded,
                    double(grown) / 1e6, double(grown) / recorded);
    }

    auto *grid = form.findChild<QTableView *>(QStringLiteral("StrGrid1"));
    grid->scrollToTop();
    bench.spinEventLoop();
    QElapsedTimer scroll;
    scroll.start();
    grid->scrollToBottom();
    QCoreApplication::processEvents();
    std::printf("scroll to the end of %d rows: %.3f ms\n", recorded, double(scroll.nsecsElapsed()) / 1e6);
    bench.spinEventLoop();
    std::printf("longest call on the window's thread: %.3f ms\n", double(bench.longestNs) / 1e6);

    const int64_t journaled = journal.sheetRows();
    journal.runStopped();
    std::printf("journal: %.1f MB for %lld rows, %.1f bytes per row\n", double(QFileInfo(journalPath).size()) / 1e6,
                static_cast<long long>(journaled), double(QFileInfo(journalPath).size()) / double(journaled));
    // Restoring a journaled day into a new window is restore_bench's.
    return 0;
}

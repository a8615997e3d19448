// Usage: restore_bench [rows], 432000 unless given (a day at one row per 0,2 s).
//
// Times putting a journaled day of ten balances back into a new window, as
// the window does after a crash when the operator answers "Да": reading the
// journal, filling the table and the chart, and the first repaint.
#include "FakeReadingSource.h"
#include "JournaledDay.h"
#include "ProcessUsage.h"
#include "mainform/JournalKeeper.h"
#include "mainform/Serialer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(std::atoi(argv[1]), 1) : 432000;
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    const QString journalPath = folder.filePath(QStringLiteral("journal.sqlite"));

    bool failed = false;
    {
        // A run the program did not live to export.
        pondus::journal::Journal journal(journalPath.toStdString(), [&](const std::string &path, const std::string &why) {
            std::fprintf(stderr, "journal failed: %s: %s\n", path.c_str(), why.c_str());
            failed = true;
        });
        journal.programStarted();
        journal.runStarted(benchRunSettings());
        for (int n = 1; n <= rows && !failed; ++n)
            journal.recordRow(benchRowOf(n));
    }
    if (failed)
        return 1;

    FakeReadingSource link;
    TMainForm form(link);
    form.resize(1024, 700);
    form.show();
    QCoreApplication::processEvents();
    const long before = residentBytes();
    QElapsedTimer restoring;
    restoring.start();
    JournalKeeper keeper(form, JournalSettings{journalPath, JournalSettings::defaultKeepDays, {}},
                         [](const QString &text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); },
                         [](const QString &) { return JournalKeeper::Answer::Yes; });
    keeper.recover();
    QCoreApplication::processEvents();
    const double seconds = double(restoring.nsecsElapsed()) / 1e9;
    std::printf("restored %d of %d journaled rows of ten balances into a new window: %.2f s, memory +%.1f MB\n",
                form.table().measurementRows(), rows, seconds, double(residentBytes() - before) / 1e6);
    return form.table().measurementRows() == rows ? 0 : 1;
}

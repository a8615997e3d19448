// Runs the measurement window unattended: starts a run with the settings
// of PONDUS.ini in the current directory, lets it record for a while,
// stops it, and optionally exports the table and saves a screenshot.
// Used by the demo without a display and by the long-run benchmark; prints
// what the run recorded and what it cost.
//
//   pondus-autorun --seconds N [--export FILE] [--screenshot FILE.png] [--ports-screenshot FILE.png] [--size WxH]
//                  [--restore | --restore-only] [--print-rows] [--kill-in-poll-step N]
//
// The journal is the user's unless PONDUS.ini's [Journal] names another
// file; the last three options serve the crash-recovery tests.
#include "recording/LinkLibrary.h"
#include "ProcessUsage.h"
#include "mainform/JournalKeeper.h"
#include "mainform/Serialer.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

template <class Widget>
Widget &control(TMainForm &form, const char *name)
{
    auto *widget = form.findChild<Widget *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return *widget;
}

// The cells of one table row as the grid shows them, tab-separated.
void printTableRow(const MeasurementTable &table, int row)
{
    QStringList cells;
    for (int column = 0; column < table.columnCount(); ++column)
        cells << table.cellText(row, column);
    std::printf("%s\n", qPrintable(cells.join(QLatin1Char('\t'))));
}

// What the crash-recovery tests watch: each row printed as the grid shows
// it (the captions with the first), and a kill inside the poll step.
class RowHooks final : public SessionObserver {
public:
    RowHooks(TMainForm &form, bool print, int killAt) : form_(form), print_(print), killAt_(killAt)
    {
        form_.session().addObserver(*this);
    }
    ~RowHooks() override { form_.session().removeObserver(*this); }

    void rowCommitted(const CommittedRow &committed) override
    {
        if (print_) {
            const int last = form_.currentRow() - 1;
            if (committed.row.number == 1)
                for (int caption = 0; caption < last; ++caption)
                    printTableRow(form_.table(), caption);
            printTableRow(form_.table(), last);
            std::fflush(stdout);
        }
        if (committed.row.number == killAt_)
            std::raise(SIGKILL);
    }

private:
    TMainForm &form_;
    const bool print_;
    const int killAt_;
};

bool saveScreenshot(TMainForm &form, const QString &path)
{
    // The whole screen where there is one (a real or virtual display),
    // else the window alone.
    QPixmap shot;
    if (QScreen *screen = QGuiApplication::primaryScreen())
        shot = screen->grabWindow(0);
    if (shot.isNull())
        shot = form.grab();
    return shot.save(path);
}

// The window "Порты" as the menu opens it over the running window.
bool savePortsScreenshot(TMainForm &form, const QString &path)
{
    control<QAction>(form, "PortsMenuItem").trigger();
    auto &ports = control<QDialog>(form, "PortsWindow");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const bool saved = ports.grab().save(path);
    ports.close();
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("PONDUS"));
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Runs the measurement window unattended."));
    const QCommandLineOption help = options.addHelpOption();
    options.addOption({QStringLiteral("seconds"), QStringLiteral("How long the run records."), QStringLiteral("N"),
                       QStringLiteral("10")});
    options.addOption({QStringLiteral("export"), QStringLiteral("Export the table to FILE."), QStringLiteral("FILE")});
    options.addOption(
        {QStringLiteral("screenshot"), QStringLiteral("Save a screenshot to FILE."), QStringLiteral("FILE")});
    options.addOption({QStringLiteral("ports-screenshot"),
                       QStringLiteral("Open \"Порты…\" at the end of the run and save a picture of it to FILE."),
                       QStringLiteral("FILE")});
    options.addOption({QStringLiteral("size"), QStringLiteral("Size of the window, such as 1000x740."),
                       QStringLiteral("WIDTHxHEIGHT")});
    options.addOption({QStringLiteral("restore"),
                       QStringLiteral("Answer \"Да\" when the journal offers a table back; otherwise nothing is asked.")});
    options.addOption({QStringLiteral("restore-only"),
                       QStringLiteral("Restore what the journal offers, print the table and end, without a run.")});
    options.addOption({QStringLiteral("print-rows"),
                       QStringLiteral("Print each recorded row as the grid shows it, after the journal has it.")});
    options.addOption({QStringLiteral("kill-in-poll-step"),
                       QStringLiteral("End by SIGKILL inside the poll step that records row N."), QStringLiteral("N")});
    // The help needs no display: it is given before the window's
    // application, which cannot start without one, exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (options.parse(arguments) && options.isSet(help)) {
        QCoreApplication helpOnly(argc, argv);
        options.process(helpOnly); // prints the help and ends the program
    }

    QApplication app(argc, argv);
    options.process(app);
    const bool restoreOnly = options.isSet(QStringLiteral("restore-only"));

    LinkLibrary link(QCoreApplication::applicationDirPath());
    TMainForm form(link);
    int exitCode = 0;
    if (options.isSet(QStringLiteral("size"))) {
        const QStringList size = options.value(QStringLiteral("size")).split(QLatin1Char('x'));
        form.resize(size.value(0).toInt(), size.value(1).toInt());
    }
    const auto toStderr = [](const QString &text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); };
    form.setMessageSink(toStderr);
    JournalKeeper::Question restoreAnswer;
    if (restoreOnly || options.isSet(QStringLiteral("restore")))
        restoreAnswer = [](const QString &) { return JournalKeeper::Answer::Yes; };
    JournalKeeper journal(form, JournalSettings::read(form.settingsPath()), toStderr, restoreAnswer);
    journal.recover();
    if (restoreOnly) {
        for (int row = 0; row < form.table().rowCount(); ++row)
            printTableRow(form.table(), row);
        return 0;
    }
    // After the window: a row is printed as its grid shows it, and a kill
    // in the poll step comes after the journal kept the row and it was printed.
    RowHooks hooks(form, options.isSet(QStringLiteral("print-rows")),
                   options.value(QStringLiteral("kill-in-poll-step")).toInt()); // 0 when not given
    form.show();

    int ticks = 0;
    QObject::connect(&control<QTimer>(form, "Timer2"), &QTimer::timeout, [&] { ++ticks; });
    const double seconds = options.value(QStringLiteral("seconds")).toDouble();
    long memoryAtStart = 0;
    double cpuAtStart = 0;
    QElapsedTimer wall;

    QTimer::singleShot(0, &form, [&] {
        control<QAbstractButton>(form, "WeightButton").click(); // returns once the line is on line
        const QString link = control<QLabel>(form, "Label6").text();
        if (link != QStringLiteral("OnLine")) {
            std::fprintf(stderr, "pondus-autorun: the line did not come on line (%s)\n", qPrintable(link));
            exitCode = 1;
            QApplication::quit();
            return;
        }
        memoryAtStart = residentBytes();
        cpuAtStart = cpuSeconds();
        wall.start();
        QTimer::singleShot(int(seconds * 1000), &form, [&] {
            const double elapsed = wall.elapsed() / 1000.0;
            const double cpu = cpuSeconds() - cpuAtStart;
            const long memory = residentBytes() - memoryAtStart;
            // The running window, rows and lines, as the operator sees it.
            for (const auto &[name, save] : {std::pair{"screenshot", &saveScreenshot},
                                             std::pair{"ports-screenshot", &savePortsScreenshot}})
                if (options.isSet(QString::fromLatin1(name)) && !save(form, options.value(QString::fromLatin1(name))))
                    exitCode = 1;
            control<QAbstractButton>(form, "StopButton").click();
            const int rows = form.table().measurementRows();
            std::printf("recorded %d rows in %.1f s over %d poll ticks (%.2f rows per tick)\n", rows, elapsed, ticks,
                        ticks ? double(rows) / ticks : 0.0);
            std::printf("memory growth %ld bytes (%.0f bytes per row); CPU %.2f %% of one core\n", memory,
                        rows ? double(memory) / rows : 0.0, 100.0 * cpu / elapsed);
            if (options.isSet(QStringLiteral("export"))) {
                form.setSaveFileChooser([&] { return options.value(QStringLiteral("export")); });
                control<QAbstractButton>(form, "ApplyButton1").click();
            }
            if (rows == 0)
                exitCode = 1;
            QApplication::quit();
        });
    });
    const int loop = QApplication::exec();
    return exitCode ? exitCode : loop;
}

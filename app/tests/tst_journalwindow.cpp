// The window with its journal on a real SQLite file: rows, link loss and
// return, edited cells, a balance replaced mid-run, recovery at start-up,
// and a journal that cannot be opened while the run goes on.
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "mainform/TableSnapshot.h"
#include "export/TabSeparatedText.h"
#include "journal/ChainVerifier.h"
#include "mainform/JournalCheck.h"
#include "mainform/JournalKeeper.h"
#include "mainform/RunReportMenu.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QFont>
#include <QLabel>
#include <QMenuBar>
#include <QtTest>

#include <sqlite3.h>

Q_DECLARE_METATYPE(JournalKeeper::Answer)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// One number from the journal, read on a connection of its own.
int64_t scalar(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *statement = nullptr;
    int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

QString text(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *statement = nullptr;
    QString value;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

// A change made behind the program's back.
void execute(const QString &path, const QString &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const int done = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(done, SQLITE_OK);
}

QStringList tableTexts(const MeasurementTable &table)
{
    QStringList cells;
    for (int row = 0; row < table.rowCount(); ++row)
        for (int column = 0; column < table.columnCount(); ++column)
            cells << table.cellText(row, column);
    return cells;
}

} // namespace

class JournalWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir journalDir;
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;
    std::unique_ptr<JournalKeeper> keeper;
    QStringList notices;
    QStringList questions;
    JournalKeeper::Answer answer = JournalKeeper::Answer::Yes;
    // [Audit] Enabled=1, and what the operator does in each reason dialog:
    // writes this reason and presses OK, or presses Cancel when none.
    bool audit = false;
    std::optional<QString> reply;
    QStringList asked;
    bool okWaitedForAReason = true;
    QTimer dialogWatch;

    QString journalPath() const { return journalDir.filePath(QStringLiteral("journal.sqlite")); }
    FormFixture &f() { return *fixture; }

    void openWindow(const QString &journal)
    {
        fixture = std::make_unique<FormFixture>(link);
        keeper = std::make_unique<JournalKeeper>(
            f().form(), JournalSettings{journal, 90, {}, audit}, [this](const QString &t) { notices << t; },
            [this](const QString &t) {
                questions << t;
                return answer;
            });
        keeper->recover();
    }
    void closeWindow()
    {
        keeper.reset();
        fixture.reset();
    }
    void start()
    {
        f().check({0, 1});
        MainFormLayout::showText(f().control<QComboBox>("ComboBox1"), QStringLiteral("1"));
        f().click("WeightButton");
    }
    void recordRow(int n)
    {
        for (int j = 1; j <= 3; ++j)
            link.deliver(j, 1000 * n + j, 100, n % 2 == 0, TRUTINA_UNIT_FIRST + j);
        f().form().Timer2Timer();
    }

    // The operator at the reason dialog, as soon as it is open.
    void answerReasonDialog()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("ReasonDialog"))
            return;
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Причина изменения"));
        asked << dialog->findChild<QLabel *>()->text();
        QPushButton *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        okWaitedForAReason = okWaitedForAReason && !ok->isEnabled();
        if (!reply)
            return dialog->reject();
        dialog->findChild<QLineEdit *>(QStringLiteral("Reason"))->setText(*reply);
        ok->click();
    }

private slots:
    void initTestCase()
    {
        connect(&dialogWatch, &QTimer::timeout, this, &JournalWindowTest::answerReasonDialog);
        dialogWatch.start(10);
    }

    void init()
    {
        audit = false;
        reply.reset();
        asked.clear();
        okWaitedForAReason = true;
        link = FakeReadingSource();
        link.setLink(TRUTINA_LINK_ONLINE, 3);
        for (int j = 1; j <= 3; ++j)
            link.setIdentity(j, 300 + j, 7000 + j);
        notices.clear();
        questions.clear();
        answer = JournalKeeper::Answer::Yes;
        QFile::remove(journalPath());
    }
    void cleanup() { closeWindow(); }

    void linkLossIsShownWithItsTimeAndJournaledWithoutRows()
    {
        openWindow(journalPath());
        start();
        recordRow(1);
        link.setLink(TRUTINA_LINK_SETTING_UP, 3);
        recordRow(2);
        const QString lost = f().control<QLabel>("Label6")->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^Устанавливается с \\d\\d:\\d\\d:\\d\\d$")).match(lost).hasMatch(),
                 qPrintable(lost));
        link.setLink(TRUTINA_LINK_INITIALISING, 3);
        f().form().Timer2Timer();
        // The state changes; the time the loss began stays.
        QCOMPARE(f().control<QLabel>("Label6")->text(), QStringLiteral("Инициализация") + lost.mid(15));
        QCOMPARE(f().form().table().measurementRows(), 1);
        link.setLink(TRUTINA_LINK_ONLINE, 3);
        recordRow(3);
        QCOMPARE(f().control<QLabel>("Label6")->text(), QStringLiteral("OnLine"));
        QCOMPARE(f().form().table().measurementRows(), 2);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM event WHERE kind = 'link_lost'"), 1);
        QCOMPARE(scalar(journalPath(), "SELECT json_extract(detail, '$.state') FROM event WHERE kind = 'link_lost'"),
                 TRUTINA_LINK_SETTING_UP);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM event WHERE kind = 'link_regained'"), 1);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM measurement"), 2);
        QVERIFY(notices.isEmpty());
    }

    void anEditedCellStandsOutAndTheJournalKeepsTheReading()
    {
        openWindow(journalPath());
        start();
        recordRow(1);
        recordRow(2);
        auto &table = const_cast<MeasurementTable &>(f().form().table());
        const QModelIndex cell = table.index(4, 3);
        const QString reading = table.cellText(4, 3);
        QVERIFY(table.setData(cell, QStringLiteral("99,5"), Qt::EditRole));
        QVERIFY(table.isEdited(4, 3));
        QVERIFY(table.data(cell, Qt::FontRole).value<QFont>().italic());
        QVERIFY(table.data(cell, Qt::BackgroundRole).isValid());
        QVERIFY(!table.data(table.index(3, 3), Qt::FontRole).isValid());
        // The export carries the operator's text, as before.
        QVERIFY(TabSeparatedText(ValueFormat()).table(snapshotOfTable(table, table.rowCount(), {})).contains("99,5"));
        QCOMPARE(text(journalPath(), "SELECT json_extract(detail, '$.old') || '|' || json_extract(detail, '$.new') "
                                     "FROM event WHERE kind = 'cell_edit'"),
                 reading + QStringLiteral("|99,5"));
        // Kept by the row's run and sequence number, not by the grid's row.
        QCOMPARE(scalar(journalPath(), "SELECT json_extract(detail, '$.seq') FROM event WHERE kind = 'cell_edit'"), 2);
        QCOMPARE(scalar(journalPath(), "SELECT raw_value FROM reading WHERE seq = 2 AND slot = 0"), 2001);
    }

    void aReplacedBalanceStopsTheRunUnderItsOldCaptions()
    {
        openWindow(journalPath());
        start();
        recordRow(1);
        link.setIdentity(2, 305, 9999);
        recordRow(2);
        QVERIFY(!f().form().session().running());
        QCOMPARE(f().messages.size(), 1);
        QVERIFY2(f().messages[0].contains(QStringLiteral("Весы №2 заменены")), qPrintable(f().messages[0]));
        QCOMPARE(f().form().table().measurementRows(), 1);
        QCOMPARE(f().form().table().cellText(2, 5), QStringLiteral("7002"));
        QCOMPARE(scalar(journalPath(), "SELECT json_extract(detail, '$.ident[1]') FROM event "
                                       "WHERE kind = 'balance_replaced'"),
                 9999);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM event WHERE kind = 'run_stop'"), 1);
    }

    void aFailedRescanKeepsTheCaptionsAndTheRunGoesOn_data()
    {
        QTest::addColumn<int>("modelCode");
        QTest::newRow("identify reply failed") << int(TRUTINA_MODEL_UNKNOWN);
        QTest::newRow("model reply failed") << int(TRUTINA_KIND_1);
    }
    void aFailedRescanKeepsTheCaptionsAndTheRunGoesOn()
    {
        QFETCH(int, modelCode);
        openWindow(journalPath());
        start();
        recordRow(1);
        link.setIdentity(2, modelCode, 0);
        recordRow(2);
        recordRow(3);
        QVERIFY(f().form().session().running());
        QVERIFY2(f().messages.isEmpty(), qPrintable(f().messages.join('\n')));
        QCOMPARE(f().form().table().measurementRows(), 3);
        QCOMPARE(f().form().table().cellText(2, 5), QStringLiteral("7002"));
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM event WHERE kind = 'scan_failed'"), 1);
        QCOMPARE(scalar(journalPath(), "SELECT json_extract(detail, '$.model[1]') FROM event "
                                       "WHERE kind = 'scan_failed'"),
                 modelCode);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM event WHERE kind = 'balance_replaced'"), 0);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM balance_state WHERE slot = 1"), 1);
        // The next sound scan finds the same balance: nothing to tell.
        link.setIdentity(2, 302, 7002);
        recordRow(4);
        QVERIFY(f().form().session().running());
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM event WHERE kind IN ('scan_failed', "
                                       "'balance_replaced')"),
                 1);
    }

    void aPendingTableComesBackAsItWasShown()
    {
        openWindow(journalPath());
        start();
        for (int n = 1; n <= 25; ++n)
            recordRow(n);
        auto &table = const_cast<MeasurementTable &>(f().form().table());
        table.setData(table.index(5, 4), QStringLiteral("мг?"), Qt::EditRole);
        table.setData(table.index(1, 3), QStringLiteral("Левые"), Qt::EditRole);
        // The operator's reference row: measurement 8, 80,01 ct on balance 1.
        QVERIFY(f().form().setReferenceRow(MeasurementColumns::rowOf(8)));
        const QStringList before = tableTexts(table);
        const qsizetype points = f().series(2)->count();
        const QPointF lastPoint = f().series(2)->at(points - 1);
        // The program ends without export or clear.
        closeWindow();

        answer = JournalKeeper::Answer::Yes;
        openWindow(journalPath());
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions[0].contains(QStringLiteral("25 измерений")), qPrintable(questions[0]));
        QCOMPARE(tableTexts(f().form().table()), before);
        QVERIFY(f().form().table().isEdited(5, 4));
        QCOMPARE(f().form().table().referenceRow(), std::optional<int>(MeasurementColumns::rowOf(8)));
        QCOMPARE(f().series(2)->count(), points);
        QCOMPARE(f().series(2)->at(points - 1), lastPoint);
        // The next run continues the table, its samples from the reference row.
        start();
        recordRow(26);
        QCOMPARE(f().form().table().cellText(28, 0), QStringLiteral("26"));
        QCOMPARE(f().form().session().samples().trends()->trend(0).reference()->value, 80.01);
        QVERIFY(notices.isEmpty());
    }

    void aRefusedTableIsDeclinedAnUnansweredOneAskedAgain_data()
    {
        QTest::addColumn<JournalKeeper::Answer>("first");
        QTest::addColumn<int>("questionsAtNextStart");
        QTest::addColumn<int>("declined");
        QTest::newRow("\"Нет\"") << JournalKeeper::Answer::No << 0 << 1;
        // The program ended (SIGTERM) with the question open.
        QTest::newRow("closed by the end of the program") << JournalKeeper::Answer::Unanswered << 1 << 0;
    }

    void aRefusedTableIsDeclinedAnUnansweredOneAskedAgain()
    {
        QFETCH(JournalKeeper::Answer, first);
        QFETCH(int, questionsAtNextStart);
        QFETCH(int, declined);
        openWindow(journalPath());
        start();
        recordRow(1);
        closeWindow();
        answer = first;
        openWindow(journalPath());
        QCOMPARE(questions.size(), 1);
        QCOMPARE(f().form().table().measurementRows(), 0);
        closeWindow();
        openWindow(journalPath());
        QCOMPARE(questions.size(), 1 + questionsAtNextStart);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM measurement"), 1);
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM sheet WHERE closed = 'declined'"), declined);
    }

    // The workbook of a table of two runs names the chain's head and the
    // first link of its first run and the last of its last, as read back by
    // an independent reader.
    void theWorkbookCarriesTheChainsHashesOfItsRuns()
    {
        openWindow(journalPath());
        for (int run = 1; run <= 2; ++run) {
            start();
            recordRow(run);
            f().click("StopButton");
        }
        const QString file = journalDir.filePath(QStringLiteral("out.xlsx"));
        f().form().setSaveFileChooser([&] { return file; });
        f().click("ApplyButton1");
        QProcess reader;
        reader.start(QStringLiteral(PYTHON3),
                     {QStringLiteral("-c"), QStringLiteral("import openpyxl, sys\n"
                                                           "for row in openpyxl.load_workbook(sys.argv[1])['Настройки'].iter_rows():\n"
                                                           "    print('|'.join(str(c.value) for c in row[:2]))"),
                      file});
        QVERIFY(reader.waitForFinished(60000));
        const QString sheet = QString::fromUtf8(reader.readAllStandardOutput());
        const auto valueOf = [&](const QString &label) {
            const qsizetype at = sheet.indexOf(label + u'|');
            return at < 0 ? QString() : sheet.mid(at + label.size() + 1, 64);
        };
        QCOMPARE(valueOf(QStringLiteral("Первое событие серии")),
                 text(journalPath(), "SELECT lower(hex(hash)) FROM event WHERE run = 1 ORDER BY link LIMIT 1"));
        QCOMPARE(valueOf(QStringLiteral("Последнее событие серии")),
                 text(journalPath(), "SELECT lower(hex(hash)) FROM event WHERE run = 2 AND kind = 'run_stop'"));
        QCOMPARE(valueOf(QStringLiteral("Голова цепочки журнала")),
                 text(journalPath(), "SELECT lower(hex(hash)) FROM event WHERE link = "
                                     "(SELECT max(link) FROM event WHERE kind <> 'export')"));
    }

    void exportedOrClearedTablesAreNotOffered()
    {
        openWindow(journalPath());
        start();
        recordRow(1);
        f().click("StopButton");
        const QString file = journalDir.filePath(QStringLiteral("out.xls"));
        f().form().setSaveFileChooser([&] { return file; });
        f().click("ApplyButton1");
        QCOMPARE(text(journalPath(), "SELECT json_extract(detail, '$.file') FROM event WHERE kind = 'export'"), file);
        closeWindow();
        openWindow(journalPath());
        QVERIFY(questions.isEmpty());
        start();
        recordRow(2);
        f().click("StopButton");
        f().click("ClearButton");
        QCOMPARE(f().form().table().measurementRows(), 0);
        closeWindow();
        openWindow(journalPath());
        QVERIFY(questions.isEmpty());
    }

    void theChainIsCheckedAtStartQuietlyAndFromTheMenu_data()
    {
        QTest::addColumn<QString>("change");
        // What the start-up tells; nothing for an intact chain.
        QTest::addColumn<QStringList>("told");
        QTest::newRow("untouched") << QString() << QStringList();
        QTest::newRow("a value changed") << "UPDATE measurement SET raw_values = '[1,2,3]' WHERE seq = 2"
                                         << QStringList{"изменён в обход программы", "Прогон 1, строка 2 (№ 2)",
                                                        "изменено", "цепочка цела: 3 событий"};
        QTest::newRow("a row deleted") << "DELETE FROM measurement WHERE seq = 1"
                                       << QStringList{"Прогон 1, строка 2 (№ 2) перед ним нет звена 3: удалено"};
        QTest::newRow("an edit changed") << "UPDATE event SET detail = replace(detail, '99,5', '98,5') WHERE "
                                            "kind = 'cell_edit'"
                                         << QStringList{"(cell_edit, прогон 1, строка 2, столбец «масса весов №1»)"};
        QTest::newRow("an event added") << "INSERT INTO event (utc_ms, utc_offset_s, kind) SELECT max(utc_ms), 0, 'clear' FROM event"
                                        << QStringList{"(clear) не входит в цепочку"};
    }
    void theChainIsCheckedAtStartQuietlyAndFromTheMenu()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, told);
        openWindow(journalPath());
        start();
        for (int n = 1; n <= 3; ++n)
            recordRow(n);
        auto &table = const_cast<MeasurementTable &>(f().form().table());
        QVERIFY(table.setData(table.index(4, 3), QStringLiteral("99,5"), Qt::EditRole));
        closeWindow();
        if (!change.isEmpty())
            execute(journalPath(), change);

        openWindow(journalPath());
        QTRY_VERIFY_WITH_TIMEOUT(!keeper->chainCheck().running(), 10000);
        QVERIFY2(notices.size() == (told.isEmpty() ? 0 : 1), qPrintable(notices.join(QStringLiteral(" / "))));
        for (const QString &part : told)
            QVERIFY2(notices[0].contains(part) && notices[0].contains(journalPath()), qPrintable(notices[0]));

        // The menu tells either way, the same walk.
        notices.clear();
        QAction *item = nullptr;
        for (QAction *action : f().form().menuBar()->actions())
            if (action->objectName() == QLatin1String("CheckJournalMenuItem"))
                item = action;
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("Проверить журнал"));
        item->trigger();
        QVERIFY(keeper->chainCheck().running());
        QTRY_VERIFY_WITH_TIMEOUT(!keeper->chainCheck().running(), 10000);
        QCOMPARE(notices.size(), 1);
        if (told.isEmpty())
            QCOMPARE(notices[0], QStringLiteral("Журнал цел: %1 событий, последний хеш %2\n%3")
                                     .arg(scalar(journalPath(), "SELECT count(*) FROM event") +
                                          scalar(journalPath(), "SELECT count(*) FROM measurement"))
                                     .arg(QString::fromStdString(keeper->journal().head()), journalPath()));
        else
            QVERIFY2(notices[0].contains(told[0]), qPrintable(notices[0]));
        // Nothing was repaired.
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM measurement"), change.startsWith("DELETE") ? 2 : 3);
    }

    void changesAskWhyOnlyWhileAudited_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("audited");
        QTest::addColumn<std::optional<QString>>("reason");
        QTest::addColumn<QString>("told"); // in the dialog
        const std::optional<QString> cancel;
        const QString typo = QStringLiteral("опечатка при вводе");
        for (const char *action : {"edit", "clear", "restore"}) {
            const QString told = QString::fromLatin1(action) == QLatin1String("edit")
                                     ? QStringLiteral("Изменение в строке № 2, столбце «Весы №1»:\n«20,01» → «99,5»")
                                     : QStringLiteral("2 измерений");
            QTest::addRow("%s, auditing off", action) << action << false << cancel << QString();
            QTest::addRow("%s, Cancel", action) << action << true << cancel << told;
            QTest::addRow("%s, a reason", action) << action << true << std::optional(typo) << told;
        }
    }
    void changesAskWhyOnlyWhileAudited()
    {
        QFETCH(QString, action);
        QFETCH(bool, audited);
        QFETCH(std::optional<QString>, reason);
        QFETCH(QString, told);
        audit = audited;
        reply = reason;
        const char *eventKind = "cell_edit";
        openWindow(journalPath());
        start();
        recordRow(1);
        recordRow(2);
        f().click("StopButton");
        auto &table = const_cast<MeasurementTable &>(f().form().table());
        const QString reading = table.cellText(4, 3);
        if (action == QLatin1String("edit")) {
            QCOMPARE(table.setData(table.index(4, 3), QStringLiteral("99,5"), Qt::EditRole), !audited);
        } else if (action == QLatin1String("clear")) {
            eventKind = "clear";
            f().click("ClearButton");
        } else {
            eventKind = "recovery_restored";
            closeWindow();
            openWindow(journalPath());
            QCOMPARE(questions.size(), 1);
        }
        QTRY_COMPARE(asked.size(), audited ? 1 : 0);
        QCoreApplication::processEvents();
        QCOMPARE(asked.size(), audited ? 1 : 0);
        if (audited)
            QVERIFY2(asked[0].contains(told), qPrintable(asked[0]));
        QVERIFY(okWaitedForAReason);

        // Cancel leaves the table as it was and journals nothing.
        const bool changed = !audited || reason;
        const MeasurementTable &shown = f().form().table();
        if (action == QLatin1String("edit"))
            QCOMPARE(shown.cellText(4, 3), changed ? QStringLiteral("99,5") : reading);
        else
            QCOMPARE(shown.measurementRows(), (action == QLatin1String("clear")) == changed ? 0 : 2);
        const QByteArray kind = "FROM event WHERE kind = '" + QByteArray(eventKind) + "'";
        QCOMPARE(scalar(journalPath(), "SELECT count(*) " + kind), changed ? 1 : 0);
        QCOMPARE(text(journalPath(), "SELECT json_extract(detail, '$.reason') " + kind), reason.value_or(QString()));
        QVERIFY(pondus::journal::verifyChain(journalPath().toStdString()).intact);
        // An empty table is cleared without asking.
        if (action == QLatin1String("clear") && changed) {
            f().click("ClearButton");
            QCoreApplication::processEvents();
            QCOMPARE(asked.size(), audited ? 1 : 0);
        }
        // A restore cancelled leaves the table pending, not declined.
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM sheet WHERE closed IS NULL"),
                 action == QLatin1String("clear") && changed ? 0 : 1);
    }

    void confirmedSettingsChangesAreChainedEvents()
    {
        openWindow(journalPath());
        start();
        recordRow(1);
        f().click("StopButton");
        // The same settings again change nothing.
        start();
        f().click("StopButton");
        // Keys typed into the period field are one change, confirmed by "Начать".
        f().check({0, 1, 2});
        auto *period = f().control<QComboBox>("ComboBox1");
        for (const QString &typed : {QStringLiteral("2"), QStringLiteral("25"), QStringLiteral("2")})
            MainFormLayout::showText(period, typed);
        f().click("WeightButton");
        f().click("StopButton");
        // "Образцы…" confirmed with a name, then confirmed unchanged.
        for (const QString &name : {QStringLiteral("Глина К-3"), QStringLiteral("Глина К-3")}) {
            QTimer::singleShot(0, this, [name] {
                auto *open = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                QVERIFY(open);
                open->findChild<QLineEdit *>(QStringLiteral("SampleName1"))->setText(name);
                open->accept();
            });
            f().form().findChild<QAction *>(QStringLiteral("SamplesMenuItem"))->trigger();
        }
        QCOMPARE(text(journalPath(), "SELECT group_concat(json_extract(e.detail, '$.section') || ':' || "
                                     "json_extract(c.value, '$.key') || '=' || json_extract(c.value, '$.old') || "
                                     "'>' || json_extract(c.value, '$.new'), ' | ') FROM event AS e, "
                                     "json_each(e.detail, '$.changes') AS c WHERE e.kind = 'settings_changed'"),
                 QStringLiteral("run:period_ms=1000>2000 | run:balances=[1,2]>[1,2,3] | samples:Samples/1=>Глина К-3"));
        QCOMPARE(scalar(journalPath(), "SELECT count(*) FROM event WHERE kind = 'settings_changed'"), 2);
        // Chained like every event: the run's comes just before its start.
        QCOMPARE(text(journalPath(), "SELECT group_concat(kind, ' ') FROM (SELECT kind FROM event WHERE run = 3 "
                                     "ORDER BY link LIMIT 2)"),
                 QStringLiteral("settings_changed run_start"));
        QVERIFY(pondus::journal::verifyChain(journalPath().toStdString()).intact);
    }

    void aJournalThatCannotBeOpenedIsToldOnceAndTheRunGoesOn()
    {
        QFile foreign(journalPath());
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(QByteArray(8192, 'x'));
        foreign.close();
        openWindow(journalPath());
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains(journalPath()) && notices[0].contains(QStringLiteral("not a database")),
                 qPrintable(notices[0]));
        start();
        recordRow(1);
        recordRow(2);
        QCOMPARE(f().form().table().measurementRows(), 2);
        // Tried again at the start of the run, and told again; not per row.
        QCOMPARE(notices.size(), 2);
        QCOMPARE(QFileInfo(journalPath()).size(), 8192);
    }

    void theRunsReportIsWrittenFromTheMenu()
    {
        openWindow(journalPath());
        QAction *item = nullptr;
        for (QAction *action : f().form().menuBar()->actions())
            if (action->objectName() == QLatin1String("RunReportMenuItem"))
                item = action;
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("Отчёт о серии…"));
        item->trigger();
        QCOMPARE(notices, QStringList{QStringLiteral("В журнале измерений ещё нет серии для отчёта.")});
        start();
        recordRow(1);
        recordRow(2);
        f().click("StopButton");
        const QString pdf = journalDir.filePath(QStringLiteral("серия.pdf"));
        struct Case {
            QString chosen;
            QString told; // empty: nothing told
        };
        for (const Case &c : {Case{QString(), QString()},
                              Case{pdf, QStringLiteral("Отчёт о серии № 1 сохранён:\n") + pdf},
                              Case{pdf + QStringLiteral("/x.pdf"), QStringLiteral("Отчёт о серии не сохранён:\n")}}) {
            notices.clear();
            int64_t asked = 0;
            keeper->runReport().setPathChooser([&](int64_t run) {
                asked = run;
                return c.chosen;
            });
            item->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!keeper->runReport().running(), 10000);
            QCOMPARE(asked, int64_t(1));
            QTRY_COMPARE(notices.size(), c.told.isEmpty() ? 0 : 1);
            if (!c.told.isEmpty())
                QVERIFY2(notices[0].startsWith(c.told), qPrintable(notices[0]));
        }
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(5), QByteArray("%PDF-"));
    }
};

QTEST_MAIN(JournalWindowTest)
#include "tst_journalwindow.moc"

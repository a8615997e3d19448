// The export file, byte for byte, and what a failed write leaves behind.
#include "export/ResultExport.h"
#include "mainform/TableSnapshot.h"
#include "export/TabSeparatedText.h"
#include "mainform/MeasurementTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Splits the file the way a spreadsheet reads it: rows by CR LF, fields by
// TAB, the TAB after the last cell closing it.
QList<QStringList> parseExport(const QByteArray &bytes)
{
    QList<QStringList> rows;
    QString text = QString::fromUtf8(bytes);
    if (!text.endsWith(u"\r\n"))
        return rows;
    text.chop(2);
    for (const QString &line : text.split(QStringLiteral("\r\n"))) {
        QStringList cells = line.split(u'\t');
        if (cells.last().isEmpty())
            cells.removeLast();
        rows.append(cells);
    }
    return rows;
}

const ValueFormat russian{QLocale(QLocale::Russian, QLocale::Russia)};

QByteArray tableText(const RunSnapshot &run)
{
    return TabSeparatedText(russian).table(run);
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT
private slots:
    void emptyTableIsFourLinesOfTabs()
    {
        const MeasurementTable table(russian);
        QCOMPARE(table.rowCount(), 4);
        QCOMPARE(table.columnCount(), 23);
        QByteArray expected;
        for (int row = 0; row < 4; ++row)
            expected += QByteArray(23, '\t') + "\r\n";
        QCOMPARE(tableText(snapshotOfTable(table, table.rowCount(), {})), expected);
    }

    void cellsAreWrittenAsShown()
    {
        RunSnapshot run;
        run.titled = false;
        run.balances = {{1, "Весы №1", "", "", 0}};
        const SnapshotReading reading{125, 1000, SnapshotReading::noUnit, true};
        run.appendRow(1, 0, 0, {&reading, 1});
        run.setEdit(0, 0, "-3");
        const QByteArray bytes = tableText(run);
        QCOMPARE(bytes, QByteArray("\t\t\t\xD0\x92\xD0\xB5\xD1\x81\xD1\x8B \xE2\x84\x96" "1\t\t\r\n"
                                   "\t\t\t\t\t\r\n"
                                   "\t\t\t\t\t\r\n"
                                   "-3\t00:00:00\t01.01.1970\t0,125\t\t\r\n"));
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        const auto rows = parseExport(bytes);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[3], (QStringList{QStringLiteral("-3"), QStringLiteral("00:00:00"), QStringLiteral("01.01.1970"),
                                      QStringLiteral("0,125"), QString()}));
    }

    void typedTabsAndLineBreaksDoNotSplitTheTable()
    {
        RunSnapshot run;
        run.titled = false;
        run.setEdit(0, 0, "a\tb\r\nc");
        QCOMPARE(tableText(run), QByteArray("\t\t\t\r\n\t\t\t\r\n\t\t\t\r\n"
                                            "a b  c\t\t\t\r\n"));
    }

    void writtenFileReplacesTheOldOne()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run1.xls"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content that is longer than the new");
        old.close();
        QCOMPARE(writeExportFile(path, "1\t\r\n"), std::nullopt);
        QCOMPARE(readAll(path), QByteArray("1\t\r\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("run1.xls")});
    }

    void failedWriteKeepsTheOldFileAndLeavesNoTemporary()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run1.xls"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        // A full disk, made with a file size limit (which holds for root too).
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved;
        tiny.rlim_cur = 16;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const auto failure = writeExportFile(path, QByteArray(4096, 'x'));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(readAll(path).size(), 3);
        QVERIFY(failure.has_value());
        QVERIFY(!failure->isEmpty());
        QCOMPARE(readAll(path), QByteArray("old"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("run1.xls")});
    }

    void missingFolderIsReported()
    {
        QTemporaryDir folder;
        const auto failure = writeExportFile(folder.filePath(QStringLiteral("no/such/run.xls")), "x");
        QVERIFY(failure.has_value());
        QVERIFY(!failure->isEmpty());
    }
};

QTEST_MAIN(ExportTest)
#include "tst_export.moc"

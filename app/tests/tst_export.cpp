// The export file, byte for byte, and what a failed write leaves behind.
#include "recording/MeasurementTable.h"
#include "export/ResultExport.h"

#include <QDir>
#include <QFile>
#include <QStandardItemModel>
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

} // namespace

class ExportTest : public QObject {
    Q_OBJECT
private slots:
    void emptyTableIsFourLinesOfTabs()
    {
        const MeasurementTable table(ValueFormat{QLocale(QLocale::Russian, QLocale::Russia)});
        QCOMPARE(table.rowCount(), 4);
        QCOMPARE(table.columnCount(), 23);
        QByteArray expected;
        for (int row = 0; row < 4; ++row)
            expected += QByteArray(23, '\t') + "\r\n";
        QCOMPARE(composeExportText(table), expected);
    }

    void cellsAreWrittenAsShown()
    {
        QStandardItemModel table(2, 3);
        table.setItem(0, 0, new QStandardItem(QStringLiteral("Весы №1")));
        table.setItem(1, 1, new QStandardItem(QStringLiteral("0,125")));
        table.setItem(1, 2, new QStandardItem(QStringLiteral("-3")));
        const QByteArray bytes = composeExportText(table);
        QCOMPARE(bytes, QByteArray("\xD0\x92\xD0\xB5\xD1\x81\xD1\x8B \xE2\x84\x96" "1\t\t\t\r\n"
                                   "\t0,125\t-3\t\r\n"));
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        const auto rows = parseExport(bytes);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1], (QStringList{QString(), QStringLiteral("0,125"), QStringLiteral("-3")}));
    }

    void typedTabsAndLineBreaksDoNotSplitTheTable()
    {
        QStandardItemModel table(1, 2);
        table.setItem(0, 0, new QStandardItem(QStringLiteral("a\tb\r\nc")));
        QCOMPARE(composeExportText(table), QByteArray("a b  c\t\t\r\n"));
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

// The three export formats read back by readers independent of the program:
// the tab-separated ".xls" byte for byte as before, the workbook through
// openpyxl, the CSV through Python's csv module; and failed writes, made for
// real, that leave the old file and nothing else.
#include "SampleRun.h"
#include "export/CsvFormat.h"
#include "export/TabSeparatedFormat.h"
#include "export/XlsxFormat.h"
#include "export/DecimalPlaces.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// What openpyxl or the csv module make of a file, as JSON.
QJsonObject readBack(const QString &kind, const QString &path)
{
    QProcess reader;
    reader.start(QStringLiteral(PYTHON3), {QStringLiteral(READ_EXPORT_SCRIPT), kind, path});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning() << reader.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

qint64 localWallMs(qint64 utcMs)
{
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(utcMs);
    return utcMs + qint64(moment.offsetFromUtc()) * 1000;
}

QString numberFormatOf(int32_t divisor)
{
    const int places = int(QString::number(divisor).size()) - 1;
    return places == 0 ? QStringLiteral("0") : QStringLiteral("0.") + QString(places, u'0');
}

// Checks one workbook cell against the grid's cell of the same place.
void compareWithGrid(const MeasurementTable &table, int row, int column, const QJsonValue &cell)
{
    const QString where = QStringLiteral("row %1, column %2").arg(row).arg(column);
    const QString text = table.cellText(row, column);
    const auto recorded = table.measurementCell(row, column);
    if (!recorded || table.operatorText(row, column)) {
        if (text.isEmpty())
            QVERIFY2(cell.isNull(), qPrintable(where));
        else
            QCOMPARE(cell[QStringLiteral("value")].toString(), text);
        return;
    }
    if (column == 0) {
        QCOMPARE(cell[QStringLiteral("value")].toInt(), recorded->number);
    } else if (column == 1) {
        QCOMPARE(cell[QStringLiteral("type")].toString(), QStringLiteral("datetime"));
        QCOMPARE(qint64(cell[QStringLiteral("ms")].toDouble()), localWallMs(recorded->stampMs));
        QCOMPARE(cell[QStringLiteral("format")].toString(), QStringLiteral("hh:mm:ss.000"));
    } else if (column == 2) {
        const qint64 day = localWallMs(recorded->stampMs) / 86400000 * 86400000;
        QCOMPARE(qint64(cell[QStringLiteral("ms")].toDouble()), day);
    } else if (MeasurementColumns::isUnitColumn(column)) {
        if (text.isEmpty())
            QVERIFY2(cell.isNull(), qPrintable(where));
        else
            QCOMPARE(cell[QStringLiteral("value")].toString(), text);
    } else {
        QCOMPARE(cell[QStringLiteral("type")].toString(), QStringLiteral("number"));
        QCOMPARE(cell[QStringLiteral("value")].toDouble(), *table.cellNumber(row, column));
        QCOMPARE(cell[QStringLiteral("format")].toString(), numberFormatOf(recorded->reading->divisor));
    }
}

QJsonArray firstColumn(const QJsonObject &sheet)
{
    QJsonArray column;
    for (const QJsonValue &row : sheet[QStringLiteral("rows")].toArray())
        column.append(row.toArray().at(0));
    return column;
}

// Writes with a file size limit of a few bytes, which holds for root too.
std::optional<QString> writeOnFullDisk(const ExportFormat &format, const RunSnapshot &run, const QString &path)
{
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    auto failure = format.write(run, path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    return failure;
}

// Writes into a folder the writer may not write to: as the user nobody in a
// child process when run as root (root writes anywhere), else into the
// folder made read-only for the while.
bool writeFailsInAReadOnlyFolder(const ExportFormat &format, const RunSnapshot &run, const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const bool root = ::geteuid() == 0;
    if (!root)
        ::chmod(folder.constData(), 0555);
    const auto restore = qScopeGuard([&] { ::chmod(folder.constData(), 0755); });
    const pid_t child = ::fork();
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        const auto failure = format.write(run, path);
        ::_exit(failure && !failure->isEmpty() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class ExportFormatsTest : public QObject {
    Q_OBJECT
private slots:
    void tabSeparatedFileIsByteForByteAsBefore()
    {
        const auto table = makeSampleRun();
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run.xls"));
        QCOMPARE(exportFormats().front()->write(sampleExport(*table), path), std::nullopt);
        const QByteArray stored = readAll(QStringLiteral(SAMPLE_RUN_XLS));
        QVERIFY(stored.size() > 300);
        QCOMPARE(readAll(path), stored);
        // Samples' names and a reference row are not this format's to carry.
        RunSnapshot named = sampleExport(*table);
        named.settings.samples = {"Глина К-2", "Торф", "", "Песок"};
        named.referenceRow = 2;
        QCOMPARE(exportFormats().front()->write(named, path), std::nullopt);
        QCOMPARE(readAll(path), stored);
    }

    void formatsInTheDialogsOrder()
    {
        QStringList filters;
        for (const ExportFormat *format : exportFormats())
            filters.append(format->filter());
        QCOMPARE(filters, (QStringList{QStringLiteral("Excel (*.xls)"), QStringLiteral("Excel 2007+ (*.xlsx)"),
                                      QStringLiteral("CSV (*.csv)")}));
        // The suffix typed wins over the filter; without one the filter decides.
        QCOMPARE(formatForFile(QStringLiteral("/a/run.CSV"), QStringLiteral("Excel (*.xls)")).suffix(),
                 QStringLiteral("csv"));
        QCOMPARE(formatForFile(QStringLiteral("/a/run.txt"), QStringLiteral("Excel 2007+ (*.xlsx)")).suffix(),
                 QStringLiteral("xlsx"));
        QCOMPARE(formatForFile(QStringLiteral("/a/run")).suffix(), QStringLiteral("xls"));
        QCOMPARE(ExportTarget(QStringLiteral("day.xlsx")).format->suffix(), QStringLiteral("xlsx"));
        QCOMPARE(decimalPlaces(1), std::optional<int>(0));
        QCOMPARE(decimalPlaces(1000000), std::optional<int>(6));
        QCOMPARE(decimalPlaces(250), std::nullopt);
    }

    void workbookHoldsTheGridAsNumbersAndTimes()
    {
        const auto table = makeSampleRun();
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run.xlsx"));
        QCOMPARE(XlsxFormat().write(sampleExport(*table), path), std::nullopt);
        const QJsonObject book = readBack(QStringLiteral("xlsx"), path);
        const QJsonArray sheets = book[QStringLiteral("sheets")].toArray();
        QCOMPARE(sheets.size(), 2);
        const QJsonObject measurements = sheets[0].toObject();
        QCOMPARE(measurements[QStringLiteral("name")].toString(), QStringLiteral("Измерения"));
        QCOMPARE(measurements[QStringLiteral("freeze")].toString(), QStringLiteral("A4"));
        const QJsonArray rows = measurements[QStringLiteral("rows")].toArray();
        QCOMPARE(rows.size(), table->rowCount());
        for (int row = 0; row < table->rowCount(); ++row) {
            const QJsonArray cells = rows[row].toArray();
            // The grid, then each balance's Δm and Δm, % as formulas.
            QCOMPARE(cells.size(), table->columnCount() + 2 * 3);
            for (int column = 0; column < table->columnCount(); ++column)
                compareWithGrid(*table, row, column, cells[column]);
            for (int column = table->columnCount(); row >= MeasurementColumns::captionRows && column < cells.size();
                 ++column)
                QVERIFY(cells[column].isNull() ||
                        cells[column][QStringLiteral("value")].toString().startsWith(QStringLiteral("=IF(")));
        }
        QCOMPARE(rows[3].toArray()[9][QStringLiteral("value")].toString(),
                 QStringLiteral("=IF(ISNUMBER(D4),D4-'Измерения'!$D$4,\"\")"));
        // The operator's texts stay text; the time keeps its milliseconds.
        QCOMPARE(rows[5].toArray()[3][QStringLiteral("value")].toString(), QStringLiteral("12,5 исправлено"));
        QCOMPARE(qint64(rows[3].toArray()[1][QStringLiteral("ms")].toDouble()) % 1000, 789);

        const QJsonObject settings = sheets[1].toObject();
        QCOMPARE(settings[QStringLiteral("name")].toString(), QStringLiteral("Настройки"));
        const QJsonDocument settingsText(settings[QStringLiteral("rows")].toArray());
        for (const char *expected : {"\"COM2\"", "\"периодически\"", "0.2", "\"Весы №4\"", "\"ВЛ-220\"", "\"1028\""})
            QVERIFY2(settingsText.toJson().contains(expected), expected);

        const QJsonArray charts = book[QStringLiteral("charts")].toArray();
        QCOMPARE(charts.size(), 1);
        QCOMPARE(charts[0][QStringLiteral("type")].toString(), QStringLiteral("lineChart"));
        const QJsonArray series = charts[0][QStringLiteral("series")].toArray();
        QCOMPARE(series.size(), 3);
        // Balances 1, 2 and 4 in the window's red, green and blue.
        QCOMPARE(series[0][QStringLiteral("colour")].toString(), QStringLiteral("FF0000"));
        QCOMPARE(series[1][QStringLiteral("colour")].toString(), QStringLiteral("008000"));
        QCOMPARE(series[2][QStringLiteral("colour")].toString(), QStringLiteral("0000FF"));
        QVERIFY(series[2][QStringLiteral("values")].toString().endsWith(QStringLiteral("!$H$4:$H$9")));
    }

    void longTableContinuesOnFurtherSheets()
    {
        const auto table = makeSampleRun(10);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("long.xlsx"));
        QCOMPARE(XlsxFormat(3 + 4).write(sampleExport(*table), path), std::nullopt);
        const QJsonArray sheets = readBack(QStringLiteral("xlsx"), path)[QStringLiteral("sheets")].toArray();
        QStringList names;
        for (const QJsonValue &sheet : sheets)
            names.append(sheet[QStringLiteral("name")].toString());
        QCOMPARE(names, (QStringList{QStringLiteral("Измерения"), QStringLiteral("Измерения (2)"),
                                    QStringLiteral("Измерения (3)"), QStringLiteral("Настройки")}));
        int expectedNumber = 1;
        for (int part = 0; part < 3; ++part) {
            const QJsonObject sheet = sheets[part].toObject();
            QCOMPARE(sheet[QStringLiteral("freeze")].toString(), QStringLiteral("A4"));
            const QJsonArray numbers = firstColumn(sheet);
            QCOMPARE(numbers[1][QStringLiteral("value")].toString(), QStringLiteral("№"));
            for (int row = 3; row < numbers.size(); ++row)
                QCOMPARE(numbers[row][QStringLiteral("value")].toInt(), expectedNumber++);
            QCOMPARE(sheet[QStringLiteral("rows")][0][3][QStringLiteral("value")].toString(), QStringLiteral("Весы №1"));
        }
        QCOMPARE(expectedNumber, 11);
    }

    void csvHoldsTheGridForScripts()
    {
        const auto table = makeSampleRun();
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run.csv"));
        QCOMPARE(CsvFormat().write(sampleExport(*table), path), std::nullopt);
        const QByteArray bytes = readAll(path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF\xE2\x84\x96,"));
        QCOMPARE(bytes.count("\r\n"), 1 + table->measurementRows());

        const QJsonObject csv = readBack(QStringLiteral("csv"), path);
        const QJsonArray rows = csv[QStringLiteral("rows")].toArray();
        QCOMPARE(rows.size(), 1 + table->measurementRows());
        QCOMPARE(rows[0].toArray().toVariantList(),
                 (QVariantList{"№", "Время", "Весы №1 ВЛ-120 1007", "Весы №1 ед.", "Весы №1 Δm", "Весы №1 Δm %",
                               "Весы №1 стаб.", "Весы №2 ВЛ-220 1014", "Весы №2 ед.", "Весы №2 Δm", "Весы №2 Δm %",
                               "Весы №2 стаб.", "Весы №4 Неизвестна 1028", "Весы №4 ед.", "Весы №4 Δm",
                               "Весы №4 Δm %", "Весы №4 стаб."}));
        const QJsonArray stamps = csv[QStringLiteral("stamps")].toArray();
        static const QRegularExpression isoWithMs(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));
        for (int line = 1; line < rows.size(); ++line) {
            const int row = MeasurementColumns::captionRows + line - 1;
            const QJsonArray fields = rows[line].toArray();
            const auto recorded = table->measurementCell(row, 0);
            QCOMPARE(fields[0].toString().toInt(), recorded->number);
            QVERIFY2(isoWithMs.match(fields[1].toString()).hasMatch(), qPrintable(fields[1].toString()));
            QCOMPARE(qint64(stamps[line - 1][QStringLiteral("utcMs")].toDouble()), recorded->stampMs);
            QCOMPARE(stamps[line - 1][QStringLiteral("offsetSeconds")].toInt(),
                     QDateTime::fromMSecsSinceEpoch(recorded->stampMs).offsetFromUtc());
            // Weight, unit, change and stable flag of each balance.
            for (int slot = 0; slot < 3; ++slot) {
                const int column = MeasurementColumns::valueColumn(slot);
                const QString weight = fields[2 + 5 * slot].toString();
                if (table->operatorText(row, column)) {
                    QCOMPARE(weight, table->cellText(row, column));
                } else {
                    QVERIFY2(!weight.contains(u','), qPrintable(weight));
                    bool isNumber = false;
                    QCOMPARE(weight.toDouble(&isNumber), *table->cellNumber(row, column));
                    QVERIFY(isNumber);
                }
                QCOMPARE(fields[3 + 5 * slot].toString(), table->cellText(row, column + 1));
                QCOMPARE(fields[6 + 5 * slot].toString(),
                         table->measurementCell(row, column)->reading->stable ? QStringLiteral("1") : QStringLiteral("0"));
            }
        }
        QCOMPARE(rows[1][2].toString(), QStringLiteral("0.125"));
        QCOMPARE(rows[4][8].toString(), QStringLiteral("шт, \"проверено\""));
        QCOMPARE(rows[1][11].toString(), QStringLiteral("0"));
        QCOMPARE(rows[2][11].toString(), QStringLiteral("1"));
    }

    // A drying run of two balances, the second unstable at row 3 and weighing
    // in grams from row 5 on; Δm and Δm % worked out by hand, with and
    // without a reference row, the workbook on sheets of two rows so that
    // earlier rows name a reference on a later sheet.
    void changesCountFromTheReferenceRowInCsvAndWorkbook_data()
    {
        QTest::addColumn<int>("referenceRow");
        QTest::addColumn<QList<double>>("expected"); // per row: Δm, Δm % of balance 1, then of balance 2
        QTest::newRow("first stable readings") << -1 << QList<double>{
            0, 0, 0, 0,
            -0.2, -0.2 / 12 * 100, -5, -5.0 / 850 * 100,
            -0.5, -0.5 / 12 * 100, -8, -8.0 / 850 * 100,
            -0.6, -0.6 / 12 * 100, -10, -10.0 / 850 * 100,
            -0.65, -0.65 / 12 * 100, 0, 0};
        // Row 3: balance 1 from 11,5 g, rows before it too; balance 2 is
        // unstable there and keeps its own; grams start afresh.
        QTest::newRow("row 3 picked") << 2 << QList<double>{
            0.5, 0.5 / 11.5 * 100, 0, 0,
            0.3, 0.3 / 11.5 * 100, -5, -5.0 / 850 * 100,
            0, 0, -8, -8.0 / 850 * 100,
            -0.1, -0.1 / 11.5 * 100, -10, -10.0 / 850 * 100,
            -0.15, -0.15 / 11.5 * 100, 0, 0};
        // Row 2: balance 2 from 845 mg until it weighs in grams.
        QTest::newRow("row 2 picked") << 1 << QList<double>{
            0.2, 0.2 / 11.8 * 100, 5, 5.0 / 845 * 100,
            0, 0, 0, 0,
            -0.3, -0.3 / 11.8 * 100, -3, -3.0 / 845 * 100,
            -0.4, -0.4 / 11.8 * 100, -5, -5.0 / 845 * 100,
            -0.45, -0.45 / 11.8 * 100, 0, 0};
    }

    void changesCountFromTheReferenceRowInCsvAndWorkbook()
    {
        QFETCH(int, referenceRow);
        QFETCH(QList<double>, expected);
        RunSnapshot run;
        run.settings.balances = {1, 2};
        run.balances = {{1, "Весы №1", "", "", 0}, {2, "Весы №2", "", "", 0}};
        const int8_t g = 0, mg = 4;
        const std::vector<std::array<SnapshotReading, 2>> rows = {
            {{{12000, 1000, g, true}, {8500, 10, mg, true}}},
            {{{11800, 1000, g, true}, {8450, 10, mg, true}}},
            {{{11500, 1000, g, true}, {8420, 10, SnapshotReading::noUnit, false}}},
            {{{11400, 1000, g, true}, {8400, 10, mg, true}}},
            {{{11350, 1000, g, true}, {830, 1000, g, true}}},
        };
        for (size_t n = 0; n < rows.size(); ++n)
            run.appendRow(int32_t(n + 1), 1'796'780'751'000 + int64_t(n) * 60'000, 10800, rows[n]);
        if (referenceRow >= 0)
            run.referenceRow = size_t(referenceRow);

        QTemporaryDir folder;
        const QString csvPath = folder.filePath(QStringLiteral("run.csv"));
        const QString bookPath = folder.filePath(QStringLiteral("run.xlsx"));
        QCOMPARE(CsvFormat().write(run, csvPath), std::nullopt);
        QCOMPARE(XlsxFormat(MeasurementColumns::captionRows + 2).write(run, bookPath), std::nullopt);
        const QJsonArray csv = readBack(QStringLiteral("csv"), csvPath)[QStringLiteral("rows")].toArray();
        const QJsonArray sheets = readBack(QStringLiteral("xlsx"), bookPath)[QStringLiteral("sheets")].toArray();
        QCOMPARE(csv.size(), 1 + int(rows.size()));
        QCOMPARE(sheets.size(), 3 + 1); // 2 + 2 + 1 rows, and the settings

        // A workbook cell by sheet name and address, as openpyxl read it.
        const auto cellAt = [&](const QString &sheet, const QString &column, int row) {
            for (const QJsonValue &each : sheets)
                if (each[QStringLiteral("name")].toString() == sheet)
                    return each[QStringLiteral("rows")][row - 1][column.at(0).unicode() - 'A'];
            return QJsonValue();
        };
        // The formula recomputed from the cells it names: the own weight
        // first, the reference last.
        static const QRegularExpression cellName(QStringLiteral(R"((?:'([^']+)'!)?\$?([A-Z])\$?(\d+))"));
        const auto recompute = [&](const QString &sheet, const QString &formula, bool percent) {
            QList<QRegularExpressionMatch> named;
            for (const QRegularExpressionMatch &match : cellName.globalMatch(formula))
                named.append(match);
            const auto value = [&](const QRegularExpressionMatch &m) {
                const QString in = m.captured(1).isEmpty() ? sheet : m.captured(1);
                return cellAt(in, m.captured(2), m.captured(3).toInt())[QStringLiteral("value")].toDouble();
            };
            const double weight = value(named.first());
            const double reference = value(named.last());
            return percent ? (weight - reference) / reference * 100 : weight - reference;
        };
        for (int n = 0; n < int(rows.size()); ++n) {
            const QJsonArray fields = csv[1 + n].toArray();
            const QJsonObject sheet = sheets[n / 2].toObject();
            const QString sheetName = sheet[QStringLiteral("name")].toString();
            const QJsonArray cells = sheet[QStringLiteral("rows")][MeasurementColumns::captionRows + n % 2].toArray();
            for (int k = 0; k < 4; ++k) {
                const QString where = QStringLiteral("row %1, field %2").arg(n + 1).arg(k);
                const double want = expected[4 * n + k];
                const QString field = fields[2 + 5 * (k / 2) + 2 + k % 2].toString();
                QVERIFY2(qAbs(field.toDouble() - want) < 1e-9, qPrintable(where + QStringLiteral(": ") + field));
                const QString formula = cells[7 + k][QStringLiteral("value")].toString();
                QVERIFY2(qAbs(recompute(sheetName, formula, k % 2 == 1) - want) < 1e-9,
                         qPrintable(where + QStringLiteral(": ") + formula));
            }
        }
    }

    void failedWritesKeepTheOldFileAndLeaveNothing_data()
    {
        QTest::addColumn<int>("format");
        for (size_t format = 0; format < exportFormats().size(); ++format)
            QTest::newRow(qPrintable(exportFormats()[format]->suffix())) << int(format);
    }
    void failedWritesKeepTheOldFileAndLeaveNothing()
    {
        QFETCH(int, format);
        const ExportFormat &writer = *exportFormats()[size_t(format)];
        const auto table = makeSampleRun();
        const RunSnapshot run = sampleExport(*table);
        QTemporaryDir folder;
        // Readable and enterable by everyone, writable by root alone.
        QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
        const QString path = folder.filePath(QStringLiteral("run.") + writer.suffix());
        writeFile(path, "old");
        const QStringList before = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);

        const auto failure = writeOnFullDisk(writer, run, path);
        QVERIFY(failure.has_value());
        QVERIFY(!failure->isEmpty());
        QCOMPARE(readAll(path), QByteArray("old"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), before);

        QVERIFY(writeFailsInAReadOnlyFolder(writer, run, path));
        QCOMPARE(readAll(path), QByteArray("old"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), before);

        // And with room and rights the same write succeeds.
        QCOMPARE(writer.write(run, path), std::nullopt);
        QVERIFY(readAll(path).size() > 100);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), before);
    }

    void newFileGetsTheUsualPermissionsAndAReplacedOneKeepsItsOwn()
    {
        const auto table = makeSampleRun();
        QTemporaryDir folder;
        const QString fresh = folder.filePath(QStringLiteral("new.xlsx"));
        const mode_t mask = ::umask(022);
        QCOMPARE(XlsxFormat().write(sampleExport(*table), fresh), std::nullopt);
        ::umask(mask);
        QVERIFY(QFile::permissions(fresh).testFlag(QFileDevice::ReadOther));
        const QString kept = folder.filePath(QStringLiteral("kept.xlsx"));
        writeFile(kept, "old");
        QVERIFY(QFile::setPermissions(kept, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(XlsxFormat().write(sampleExport(*table), kept), std::nullopt);
        const QFileDevice::Permissions permissions = QFile::permissions(kept);
        QVERIFY(permissions.testFlag(QFileDevice::WriteOwner));
        QVERIFY(!permissions.testAnyFlags(QFileDevice::ReadGroup | QFileDevice::ReadOther));
    }
};

QTEST_MAIN(ExportFormatsTest)
#include "tst_exportformats.moc"

// The compact measurement table and the texts it produces.
#include "recording/BalanceTexts.h"
#include "mainform/MeasurementTable.h"

#include <QSet>
#include <QtTest>

class MeasurementTableTest : public QObject {
    Q_OBJECT

private:
    static std::array<RecordedReading, 2> twoReadings()
    {
        return {RecordedReading{1250, 10000, 0}, RecordedReading{-7, 1, RecordedReading::noUnit}};
    }

private slots:
    void weightTextReadsBackAsTheValueItShows()
    {
        const ValueFormat format;
        for (int32_t divisor = 1; divisor <= 1000000; divisor *= 10) {
            for (int32_t raw : {0, 1, -1, 7, 29, 123, -999, 100000, 1234567, -8388608, 8388607}) {
                const QString text = format.weight(raw, divisor);
                QVERIFY2(!text.contains(QLatin1Char(' ')) && !text.contains(QChar(0xa0)), qPrintable(text));
                const std::optional<double> back = format.number(text);
                QVERIFY2(back.has_value(), qPrintable(text));
                QCOMPARE(*back, ValueFormat::weightValue(raw, divisor));
            }
        }
        QCOMPARE(format.weight(125, 1000), QStringLiteral("0,125"));
        QCOMPARE(format.weight(-15, 10), QStringLiteral("-1,5"));
        // Plain notation down to a hundred-thousandth, as a general format has it.
        QCOMPARE(format.weight(47, 1000000), QStringLiteral("0,000047"));
        QCOMPARE(format.weight(-10, 1000000), QStringLiteral("-0,00001"));
        QCOMPARE(format.weight(1234567, 1000000000), QStringLiteral("0,001234567"));
        QCOMPARE(format.weight(7, 1000000), QStringLiteral("7E-06"));
        QVERIFY(!format.number(QStringLiteral("1.5")).has_value());
        QVERIFY(!format.number(QString()).has_value());
        QVERIFY(!format.number(QStringLiteral("inf")).has_value());
        QVERIFY(!format.number(QStringLiteral("nan")).has_value());
    }

    void timeHasNoZoneAndDateIsShort()
    {
        const ValueFormat format;
        const QDateTime moment(QDate(2026, 3, 4), QTime(5, 6, 7));
        QCOMPARE(format.time(moment), QStringLiteral("05:06:07"));
        QCOMPARE(format.date(moment), QStringLiteral("04.03.2026"));
    }

    void modelAndUnitTexts()
    {
        QSet<QString> designations;
        for (int code = 300; code <= 311; ++code)
            designations.insert(modelDesignation(code));
        for (int code = 400; code <= 404; ++code)
            designations.insert(modelDesignation(code));
        QCOMPARE(designations.size(), 17);
        QVERIFY(!designations.contains(QStringLiteral("Неизвестна")));
        for (int code : {0, 1, 2, 100, 299, 312, 399, 405})
            QCOMPARE(modelDesignation(code), QStringLiteral("Неизвестна"));

        QStringList units;
        for (int code = 200; code <= 207; ++code)
            units.append(unitTextOf(*unitIndex(code)));
        QCOMPARE(units, QStringList({"g", "ct", "%", "pc", "mg", "kg", "o", "ot"}));
        QVERIFY(!unitIndex(100).has_value());
        QVERIFY(!unitIndex(208).has_value());
    }

    void rowsFillTheEmptyRowThenGrow()
    {
        MeasurementTable table{ValueFormat()};
        QCOMPARE(table.rowCount(), 4);
        QCOMPARE(table.columnCount(), 23);
        const QDateTime stamp(QDate(2026, 1, 2), QTime(3, 4, 5));
        const auto readings = twoReadings();
        table.appendMeasurement(1, stamp, readings);
        QCOMPARE(table.rowCount(), 4);
        table.appendMeasurement(2, stamp, std::span(readings.data(), 1));
        QCOMPARE(table.rowCount(), 5);

        QCOMPARE(table.cellText(3, 0), QStringLiteral("1"));
        QCOMPARE(table.cellText(3, 1), QStringLiteral("03:04:05"));
        QCOMPARE(table.cellText(3, 2), QStringLiteral("02.01.2026"));
        QCOMPARE(table.cellText(3, 3), QStringLiteral("0,125"));
        QCOMPARE(table.cellText(3, 4), QStringLiteral("g"));
        QCOMPARE(table.cellText(3, 5), QStringLiteral("-7"));
        QCOMPARE(table.cellText(3, 6), QString());
        QCOMPARE(table.cellText(4, 5), QString()); // the second row polled one balance
        QCOMPARE(table.cellText(9, 0), QString());
        QCOMPARE(*table.cellNumber(3, 3), 0.125);
        QVERIFY(!table.cellNumber(3, 4).has_value());
    }

    void operatorEditsKeepTheirText()
    {
        MeasurementTable table{ValueFormat()};
        // Typed into the empty row before the first measurement: the cells
        // the measurement writes replace it, an unwritten unit cell keeps it.
        QVERIFY(table.setData(table.index(3, 3), QStringLiteral("typed"), Qt::EditRole));
        QVERIFY(table.setData(table.index(3, 6), QStringLiteral("note"), Qt::EditRole));
        table.appendMeasurement(1, QDateTime::currentDateTime(), twoReadings());
        QCOMPARE(table.cellText(3, 3), QStringLiteral("0,125"));
        QCOMPARE(table.cellText(3, 6), QStringLiteral("note"));

        QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
        QVERIFY(table.setData(table.index(3, 3), QStringLiteral("2,5"), Qt::EditRole));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(table.data(table.index(3, 3), Qt::DisplayRole).toString(), QStringLiteral("2,5"));
        QCOMPARE(*table.cellNumber(3, 3), 2.5);
        QVERIFY(table.setData(table.index(3, 5), QStringLiteral("n/a"), Qt::EditRole));
        QVERIFY(!table.cellNumber(3, 5).has_value());

        QVERIFY(table.setData(table.index(0, 3), QStringLiteral("Весы А"), Qt::EditRole));
        QCOMPARE(table.cellText(0, 3), QStringLiteral("Весы А"));
        QVERIFY(table.flags(table.index(5, 5)) & Qt::ItemIsEditable);
    }

    void measurementCellsAreTypedBesidesTheirText()
    {
        MeasurementTable table{ValueFormat()};
        const QDateTime stamp(QDate(2026, 1, 2), QTime(3, 4, 5, 678));
        table.appendMeasurement(7, stamp, twoReadings());
        QVERIFY(!table.measurementCell(2, 3)); // a header row
        QVERIFY(!table.measurementCell(4, 0)); // below the last measurement
        const auto value = table.measurementCell(3, 3);
        QVERIFY(value && value->reading);
        QCOMPARE(value->number, 7);
        QCOMPARE(value->stampMs, stamp.toMSecsSinceEpoch()); // with its milliseconds
        QCOMPARE(table.cellText(3, 1), QStringLiteral("03:04:05")); // the grid shows whole seconds
        QCOMPARE(value->reading->rawValue, 1250);
        QCOMPARE(value->reading->divisor, 10000);
        QCOMPARE(table.measurementCell(3, 4)->reading->unit, int8_t(0));
        QVERIFY(!table.measurementCell(3, 1)->reading);
        QVERIFY(!table.measurementCell(3, 20)->reading);
        QVERIFY(!table.operatorText(3, 3));
        QVERIFY(table.setData(table.index(3, 3), QStringLiteral("0,2 ?"), Qt::EditRole));
        QCOMPARE(table.operatorText(3, 3), QStringLiteral("0,2 ?"));
        QCOMPARE(table.measurementCell(3, 3)->reading->rawValue, 1250); // the recording stays
        QVERIFY(MeasurementColumns::isUnitColumn(4) && !MeasurementColumns::isUnitColumn(3) &&
                !MeasurementColumns::isUnitColumn(1));
    }

    void columnCountFollowsTheSelection()
    {
        MeasurementTable table{ValueFormat()};
        table.setHeaderCell(1, 0, QStringLiteral("№"));
        table.setColumns(5);
        QCOMPARE(table.columnCount(), 5);
        table.setColumns(25);
        QCOMPARE(table.columnCount(), 25);
        table.setHeaderCell(2, 24, QStringLiteral("42"));
        QCOMPARE(table.cellText(2, 24), QStringLiteral("42"));
        QCOMPARE(table.cellText(1, 0), QStringLiteral("№"));
    }
};

QTEST_MAIN(MeasurementTableTest)
#include "tst_measurementtable.moc"

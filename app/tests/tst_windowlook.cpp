// What the main window shows and tells assistive technology: value labels
// named by their values, a line of its own colour for every balance on the
// white plot, row numbers whole however many digits they reach, and the
// reason a port fails laid out under the chart without moving the window.
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "mainform/TableSnapshot.h"
#include "ports/MainFormPorts.h"
#include "recording/MeasurementColumns.h"

#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QtTest>

namespace {

QString accessibleName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

} // namespace

class WindowLookTest : public QObject {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;

    TMainForm &form() { return fixture->form(); }
    QLabel *label(const char *name) { return fixture->control<QLabel>(name); }

private slots:
    void init()
    {
        link = FakeReadingSource();
        fixture = std::make_unique<FormFixture>(link);
    }
    void cleanup() { fixture.reset(); }

    void valueLabelsAreNamedByTheirValueAsItChanges()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 1);
        fixture->check({0});
        MainFormLayout::showText(fixture->control<QComboBox>("ComCB"), QStringLiteral("COM3"));
        fixture->start();
        form().ports().showReason(QStringLiteral("Устройство /dev/ttyUSB7 не найдено."));
        form().statusBar()->showMessage(QStringLiteral("MQTT: соединение потеряно"));

        const struct {
            QObject *object;
            QString name;
        } values[] = {
            {label("Label12"), QStringLiteral("COM3")},
            {label("Label6"), QStringLiteral("OnLine")},
            {label("PortReason"), QStringLiteral("Устройство /dev/ttyUSB7 не найдено.")},
            {form().statusBar(), QStringLiteral("MQTT: соединение потеряно")},
        };
        for (const auto &value : values)
            QCOMPARE(accessibleName(value.object), value.name);
        // The caption beside a value is its description.
        QAccessibleInterface *port = QAccessible::queryAccessibleInterface(label("Label12"));
        QCOMPARE(port->text(QAccessible::Description), QStringLiteral("Порт"));

        // The line is lost: the new text is the name.
        link.setLink(TRUTINA_LINK_SETTING_UP, 1);
        form().Timer2Timer();
        QVERIFY(label("Label6")->text().startsWith(QStringLiteral("Устанавливается с ")));
        QCOMPARE(accessibleName(label("Label6")), label("Label6")->text());
        fixture->click("StopButton");
    }

    void everyBalanceHasAColourOfItsOwnThatShowsOnThePlot()
    {
        const QColor plot = fixture->series(1)->chart()->isPlotAreaBackgroundVisible()
                                ? fixture->series(1)->chart()->plotAreaBackgroundBrush().color()
                                : fixture->series(1)->chart()->backgroundBrush().color();
        QList<QRgb> seen;
        for (int j = 1; j <= MainFormLayout::balances; ++j) {
            const QColor line = fixture->series(j)->pen().color();
            const int difference = std::max({std::abs(line.red() - plot.red()), std::abs(line.green() - plot.green()),
                                             std::abs(line.blue() - plot.blue())});
            QVERIFY2(difference >= 100, qPrintable(QStringLiteral("balance %1: %2").arg(j).arg(line.name())));
            QVERIFY2(!seen.contains(line.rgb()), qPrintable(QString::number(j)));
            seen.append(line.rgb());
        }
        QCOMPARE(fixture->series(5)->pen().color(), QColor(0xff, 0x8c, 0x00));

        // The workbook's chart draws balance 5 as the window does.
        link.setLink(TRUTINA_LINK_ONLINE, 5);
        fixture->check({4});
        fixture->start();
        link.deliver(5, 100);
        form().Timer2Timer();
        fixture->click("StopButton");
        const RunSnapshot run = snapshotOfTable(form().table(), form().table().rowCount(), form().session().run().settings);
        QCOMPARE(run.balances.size(), size_t(1));
        QCOMPARE(QColor(QRgb(run.balances[0].colour)), fixture->series(5)->pen().color());
    }

    void rowNumbersShowWholeAtAnyLength_data()
    {
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("one digit") << QList<int>{1, 2, 9};
        QTest::newRow("a day at a second: six digits") << QList<int>{1, 2, 302399, 302400};
        QTest::newRow("seven digits") << QList<int>{1, 1234567};
    }
    void rowNumbersShowWholeAtAnyLength()
    {
        QFETCH(QList<int>, numbers);
        auto *grid = fixture->control<QTableView>("StrGrid1");
        const int margins = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
        for (int number : numbers) {
            RecordedRow row;
            row.number = number;
            row.utcMs = 1773480413589 + number;
            row.readings = {BalanceReading{1, number, 1000, 0, 0, true, 0, 0}};
            form().restoreRow(row);
            const QString text = form().table().cellText(form().table().rowCount() - 1, MeasurementColumns::numberColumn);
            QCOMPARE(text, QString::number(number));
            QVERIFY2(grid->columnWidth(MeasurementColumns::numberColumn) >=
                         grid->fontMetrics().horizontalAdvance(text) + margins,
                     qPrintable(text));
        }
    }

    void aReasonTakesItsRoomFromTheChartNotTheWindow()
    {
        form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&form()));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QSize before = form().size();
        auto *reason = label("PortReason");
        auto *readings = fixture->control<QSplitter>("ReadingsSplitter");
        for (const QString &text : {QStringLiteral("Устройство /dev/ttyS1 не найдено."),
                                    QStringLiteral("COM1: Устройство /dev/ttyS0 не найдено.\n"
                                                   "COM2: Устройство /dev/ttyS1 не найдено.")}) {
            form().ports().showReason(text);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QCOMPARE(form().size(), before);
            QVERIFY(reason->isVisible());
            // Right under the chart, as high as its lines.
            QCOMPARE(reason->y(), readings->geometry().bottom() + 1);
            QVERIFY2(reason->height() <= reason->heightForWidth(reason->width()) + 1,
                     qPrintable(QStringLiteral("%1 > %2").arg(reason->height()).arg(reason->heightForWidth(reason->width()))));
            QVERIFY(reason->height() >= reason->fontMetrics().height() * int(text.count(u'\n') + 1));
        }
        form().ports().showReason(QString());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QVERIFY(!reason->isVisible());
        QCOMPARE(form().size(), before);
    }
};

QTEST_MAIN(WindowLookTest)
#include "tst_windowlook.moc"

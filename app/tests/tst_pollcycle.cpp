// The poll cycle of runs started by "Начать" and driven through Timer2Timer
// with a scripted scale link.
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "recording/BalanceTexts.h"

#include <QChartView>
#include <QHeaderView>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QApplication>
#include <QLegendMarker>
#include <QValueAxis>
#include <QtTest>

class PollCycleTest : public QObject {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;

    TMainForm &form() { return fixture->form(); }
    const MeasurementTable &table() { return form().table(); }
    QString cell(int row, int column) { return table().cellText(row, column); }
    QLineSeries *series(int j) { return fixture->series(j); }
    QList<double> xs(int j)
    {
        QList<double> values;
        for (const QPointF &point : series(j)->points())
            values.append(point.x());
        return values;
    }
    // Every balance on the line delivers a new reading and the cycle runs.
    void pollWithFreshReadings(int32_t raw, int balances = 1)
    {
        for (int j = 1; j <= balances; ++j)
            link.deliver(j, raw + j);
        form().Timer2Timer();
    }

private:
    // The captions lie above the rows, three rows high, whole; the rows
    // beneath start with a whole row.
    void expectCaptionsFixedAndTopRowWhole(QTableView *grid)
    {
        QHeaderView *captions = grid->horizontalHeader();
        const int rowHeight = grid->verticalHeader()->defaultSectionSize();
        QVERIFY(captions->isVisible());
        QCOMPARE(captions->height(), 3 * rowHeight);
        QVERIFY(captions->geometry().bottom() < grid->viewport()->geometry().top());
        for (int row = 0; row < 3; ++row)
            QVERIFY(grid->isRowHidden(row));
        const int top = grid->rowAt(0);
        QVERIFY(top >= 3);
        QCOMPARE(grid->rowViewportPosition(top), 0);
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        fixture = std::make_unique<FormFixture>(link);
    }
    void cleanup() { fixture.reset(); }

    void linkNotOnlineChangesNothingButTheStamp()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->start();
        link.fetches = 0;
        for (int32_t state : {TRUTINA_LINK_SETTING_UP, TRUTINA_LINK_INITIALISING}) {
            link.setLink(state, 2);
            link.deliver(1, 5);
            form().Timer2Timer();
        }
        QCOMPARE(link.fetches, 2);
        QVERIFY(!form().runState().timeText.isEmpty());
        QVERIFY(!form().runState().dateText.isEmpty());
        QVERIFY(!form().runState().timeText.contains(QLatin1Char('t')));
        QCOMPARE(table().rowCount(), 4);
        QCOMPARE(table().columnCount(), MeasurementTable::initialColumns);
        QCOMPARE(cell(0, 3), QString());
        QCOMPARE(fixture->history().measurementNo, 0);
        QVERIFY(series(1)->points().isEmpty());

        link.setLink(TRUTINA_LINK_ONLINE, 1);
        form().Timer2Timer();
        QCOMPARE(table().measurementRows(), 1);
        QCOMPARE(cell(3, 0), QStringLiteral("1"));
        QCOMPARE(cell(3, 1), form().runState().timeText);
        QCOMPARE(cell(3, 2), form().runState().dateText);
    }

    void checkedBalanceBeyondTheLineEndsTheRun()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 3);
        fixture->check({0, 1, 3});
        auto *timer = fixture->control<QTimer>("Timer2");
        fixture->start(QStringLiteral("1"));
        QVERIFY(timer->isActive());
        for (int j = 1; j <= 3; ++j)
            link.deliver(j, 10);

        form().Timer2Timer();

        QCOMPARE(fixture->messages, QStringList{QStringLiteral("Подключено 3 весов.")});
        QVERIFY(fixture->checked(0) && fixture->checked(1) && !fixture->checked(3));
        QVERIFY(!timer->isActive());
        QVERIFY(fixture->control<QPushButton>("StopButton")->isHidden());
        QVERIFY(!fixture->control<QPushButton>("WeightButton")->isHidden());
        QVERIFY(!fixture->control<QPushButton>("ReadButton")->isEnabled());
        for (const char *name : {"Label5", "FileCheckListBox", "ComCB", "Label4", "Label3", "ComboBox1",
                                 "Label7", "Label8"})
            QVERIFY2(fixture->control<QWidget>(name)->isEnabled(), name);
        QCOMPARE(fixture->history().measurementNo, 0);

        // The remaining selection fits the line: the next run records.
        fixture->start();
        form().Timer2Timer();
        QCOMPARE(fixture->history().measurementNo, 1);
        QCOMPARE(fixture->messages.size(), 1);
    }

    void headersAndTitlesFollowTheCheckedBalances()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 4);
        link.setIdentity(1, 300, 123456);
        link.setIdentity(2, 404, 7);
        link.setIdentity(4, 100, 0);
        fixture->check({0, 1, 3});
        fixture->start();

        form().Timer2Timer(); // no readings yet: headers only

        QCOMPARE(table().columnCount(), 9);
        QCOMPARE(cell(0, 3), QStringLiteral("Весы №1"));
        QCOMPARE(cell(0, 5), QStringLiteral("Весы №2"));
        QCOMPARE(cell(0, 7), QStringLiteral("Весы №4"));
        QCOMPARE(cell(1, 3), modelDesignation(300));
        QCOMPARE(cell(1, 5), modelDesignation(404));
        QCOMPARE(cell(1, 7), QStringLiteral("Неизвестна"));
        QCOMPARE(cell(2, 3), QStringLiteral("123456"));
        QCOMPARE(cell(2, 7), QStringLiteral("0"));
        QCOMPARE(series(4)->name(), QStringLiteral("Весы №4"));
        QCOMPARE(series(3)->name(), QStringLiteral("  "));
        QCOMPARE(table().measurementRows(), 0);
    }

    void everyBalanceOnTheLineMustHaveANewReading()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->check({0});
        fixture->start();
        auto *readButton = fixture->control<QPushButton>("ReadButton");

        readButton->click(); // nothing delivered yet
        QCOMPARE(table().measurementRows(), 0);
        link.deliver(1, 100);
        readButton->click(); // the unchecked balance 2 has not answered
        QCOMPARE(table().measurementRows(), 0);
        link.deliver(2, 200);
        readButton->click();
        QCOMPARE(table().measurementRows(), 1);
        readButton->click(); // no new readings since
        QCOMPARE(table().measurementRows(), 1);
        // Only polled balances note their recorded count, so the unchecked
        // one holds nothing back once it has answered at all.
        QCOMPARE(fixture->history().lastRecordedCount[0], 1);
        QCOMPARE(fixture->history().lastRecordedCount[1], 0);
        link.deliver(1, 101);
        readButton->click();
        QCOMPARE(table().measurementRows(), 2);
    }

    void balancesBeyondTenDoNotHoldBackTheWindow()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 12);
        fixture->check({0, 9});
        fixture->start();
        for (int j = 1; j <= 10; ++j)
            link.deliver(j, j);
        form().Timer2Timer();
        QCOMPARE(table().measurementRows(), 1);
        QCOMPARE(cell(3, 5), QStringLiteral("10"));
    }

    void valuesAndUnits()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->check({0, 1});
        fixture->start();
        link.deliver(1, -123456, 1000, true, 205);
        link.deliver(2, 8388607, 1, false, 204);
        form().Timer2Timer();
        QCOMPARE(cell(3, 3), QStringLiteral("-123,456"));
        QCOMPARE(cell(3, 4), QStringLiteral("kg"));
        QCOMPARE(cell(3, 5), QStringLiteral("8388607")); // no group separator
        QCOMPARE(cell(3, 6), QString());                 // not stable: no unit
        QCOMPARE(series(1)->points().constFirst(), QPointF(1, -123.456));

        // An unknown unit code carries the unit decoded last.
        link.deliver(1, 5, 10, true, 100);
        link.deliver(2, 1, 1, true, 100);
        form().Timer2Timer();
        QCOMPARE(cell(4, 3), QStringLiteral("0,5"));
        QCOMPARE(cell(4, 4), QStringLiteral("kg"));
        QCOMPARE(cell(4, 6), QStringLiteral("kg"));
        QCOMPARE(unitTextOf(fixture->history().lastUnit), QStringLiteral("kg"));
    }

    void onNewWeightRecordsChangesOfAtLeastTheThreshold()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->check({0, 1});
        fixture->control<QLineEdit>("MaxDif")->setText(QStringLiteral("10"));
        fixture->start(onNewWeightPeriodText);
        auto poll = [&](int32_t raw1, bool stable1, int32_t raw2, bool stable2) {
            link.deliver(1, raw1, 1, stable1);
            link.deliver(2, raw2, 1, stable2);
            form().Timer2Timer();
            return table().measurementRows();
        };

        QCOMPARE(poll(100, false, 0, true), 0); // first row waits for balance 1 to settle
        QCOMPARE(poll(100, true, 0, false), 1);
        QCOMPARE(poll(109, true, 9, true), 1);   // 9 divisions on both
        QCOMPARE(poll(120, false, 5, true), 1);  // large change, but not settled
        QCOMPARE(poll(110, true, 0, false), 2);  // exactly 10 divisions
        QCOMPARE(cell(4, 3), QStringLiteral("110"));
        QCOMPARE(cell(4, 5), QStringLiteral("0")); // the row records every balance
        QCOMPARE(poll(110, true, -10, true), 3);    // balance 2 alone changed by 10

        // A threshold that is not a number records nothing.
        fixture->click("StopButton");
        fixture->control<QLineEdit>("MaxDif")->setText(QString());
        fixture->start(onNewWeightPeriodText);
        QCOMPARE(poll(500, true, 500, true), 3);
    }

    void onNewWeightComparesWholeDivisions()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 1);
        fixture->control<QLineEdit>("MaxDif")->setText(QStringLiteral("10"));
        fixture->start(onNewWeightPeriodText);
        link.deliver(1, 29, 100);
        form().Timer2Timer();
        QCOMPARE(cell(3, 3), QStringLiteral("0,29"));
        // 0,29 × 100 is 28,999999999999996 in binary: still ten divisions from 19.
        link.deliver(1, 19, 100);
        form().Timer2Timer();
        QCOMPARE(table().measurementRows(), 2);
    }

    void onNewWeightAfterAnUnreadableEditStartsAfresh()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 1);
        fixture->start(onNewWeightPeriodText);
        link.deliver(1, 100);
        form().Timer2Timer();
        auto *grid = fixture->control<QTableView>("StrGrid1");
        QVERIFY(grid->model()->setData(grid->model()->index(3, 3), QStringLiteral("gone")));
        link.deliver(1, 101, 1, false);
        form().Timer2Timer();
        QCOMPARE(table().measurementRows(), 1);
        link.deliver(1, 101);
        form().Timer2Timer();
        QCOMPARE(table().measurementRows(), 2);
        QCOMPARE(cell(3, 3), QStringLiteral("gone"));
    }

    void chartShowsTheLastMeasurementBoundPoints()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->check({0, 1});
        fixture->control<QLineEdit>("SizeEdit")->setText(QStringLiteral("20"));
        fixture->start();
        for (int n = 1; n <= 19; ++n)
            pollWithFreshReadings(n * 10, 2);
        QCOMPARE(series(1)->count(), 19);

        // The operator spoils a recorded value: the rebuilt series skips it.
        auto *grid = fixture->control<QTableView>("StrGrid1");
        QVERIFY(grid->model()->setData(grid->model()->index(5 + 2, 3), QStringLiteral("x")));
        QVERIFY(grid->model()->setData(grid->model()->index(6 + 2, 3), QStringLiteral("-1,5")));

        pollWithFreshReadings(200, 2);
        QList<double> expected;
        for (int n = 1; n <= 20; ++n)
            if (n != 5)
                expected.append(n);
        QCOMPARE(xs(1), expected);
        QCOMPARE(series(1)->at(4), QPointF(6, -1.5));
        QCOMPARE(xs(2).size(), 20);

        pollWithFreshReadings(210, 2);
        expected.removeFirst();
        expected.append(21);
        QCOMPARE(xs(1), expected);
        QCOMPARE(xs(2).constFirst(), 2.0);
        QCOMPARE(xs(2).constLast(), 21.0);
        QCOMPARE(series(2)->points().constLast().y(), 212.0);
        QCOMPARE(table().measurementRows(), 21);
        QCOMPARE(form().currentRow(), 24);
    }

    void gridScrollsFromTheFourthMeasurement()
    {
        // A table six and a half rows high, captions included: the seventh
        // row is the first that needs scrolling, as in the window's first layout.
        auto *grid = fixture->control<QTableView>("StrGrid1");
        const int rowHeight = grid->verticalHeader()->defaultSectionSize();
        grid->setFixedHeight(2 * grid->frameWidth() + rowHeight * 13 / 2);
        form().show();
        QVERIFY(QTest::qWaitForWindowActive(&form()));
        link.setLink(TRUTINA_LINK_ONLINE, 1);
        fixture->start();
        for (int n = 1; n <= 3; ++n)
            pollWithFreshReadings(n);
        QCOMPARE(grid->verticalScrollBar()->value(), 0);
        pollWithFreshReadings(4);
        QCOMPARE(grid->verticalScrollBar()->value(), 1);
        pollWithFreshReadings(5);
        QCOMPARE(grid->verticalScrollBar()->value(), 2);
        expectCaptionsFixedAndTopRowWhole(grid);
        QVERIFY(grid->rowViewportPosition(7) + grid->rowHeight(7) <= grid->viewport()->height());
    }

    void captionsStayWhateverTheKeyboardDoes()
    {
        auto *grid = fixture->control<QTableView>("StrGrid1");
        form().show();
        QVERIFY(QTest::qWaitForWindowActive(&form()));
        link.setLink(TRUTINA_LINK_ONLINE, 1);
        fixture->start();
        for (int n = 1; n <= 30; ++n)
            pollWithFreshReadings(n);
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(4, 0));
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Down, Qt::Key_Down})
            QTest::keyClick(grid, key);
        QCOMPARE(grid->currentIndex().row(), 5);
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(grid->currentIndex().row(), 3);
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(grid->currentIndex().row(), 32);
        expectCaptionsFixedAndTopRowWhole(grid);
        for (int column : {0, 3}) {
            const Qt::ItemFlags caption = grid->model()->flags(grid->model()->index(1, column));
            QVERIFY(!(caption & (Qt::ItemIsSelectable | Qt::ItemIsEditable)));
        }
        // Ctrl+Tab leaves the table; Tab alone moves between its cells.
        grid->setCurrentIndex(grid->model()->index(5, 0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(grid->currentIndex().column(), 1);
        const auto inGrid = [grid] { return grid->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == grid; };
        QVERIFY(inGrid());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(!inGrid());
        // A clear keeps the captions out of the rows.
        fixture->click("StopButton");
        fixture->click("ClearButton");
        QVERIFY(grid->isRowHidden(0) && grid->isRowHidden(2) && !grid->isRowHidden(3));
    }


    void chartKeepsTheOperatorsZoomAndListsOnlyBalancesWithPoints()
    {
        form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&form()));
        auto *view = fixture->control<QChartView>("Chart1");
        auto *x = qobject_cast<QValueAxis *>(view->chart()->axes(Qt::Horizontal).value(0));
        auto *y = qobject_cast<QValueAxis *>(view->chart()->axes(Qt::Vertical).value(0));
        QVERIFY(x && y);
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->check({1});
        fixture->start();
        for (int n = 1; n <= 10; ++n) {
            link.deliver(1, 0);
            link.deliver(2, 40 + n, 1000000); // 0,000041 ...
            form().Timer2Timer();
        }
        QVERIFY(!y->labelFormat().contains(QLatin1Char('g')) && !y->labelFormat().contains(QLatin1Char('e')));
        QVERIFY(y->min() <= 0.000041 && y->max() >= 0.00005);
        const auto visibleMarkers = [&] {
            QStringList names;
            for (QLegendMarker *marker : view->chart()->legend()->markers())
                if (marker->isVisible())
                    names.append(marker->series()->objectName());
            return names;
        };
        QCOMPARE(visibleMarkers(), QStringList{QStringLiteral("Series2")});

        view->chart()->zoomIn(QRectF(view->chart()->plotArea().center(), QSizeF(20, 20)));
        const double zoomedMin = x->min();
        const double zoomedMax = x->max();
        for (int n = 11; n <= 20; ++n) {
            link.deliver(1, 0);
            link.deliver(2, 40 + n, 1000000);
            form().Timer2Timer();
        }
        QCOMPARE(x->min(), zoomedMin);
        QCOMPARE(x->max(), zoomedMax);
        // A right click zooms out to the view fitted to every point.
        const QPoint inside = view->viewport()->rect().center();
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, inside);
        QVERIFY(!view->chart()->isZoomed());
        QVERIFY(x->max() >= 20 && y->max() >= 0.00006);

        // Cleared, the chart shows neither the old ranges nor old names.
        fixture->click("StopButton");
        fixture->click("ClearButton");
        QCOMPARE(x->max(), 4.0);
        QCOMPARE(y->max(), 1.0);
        QVERIFY(visibleMarkers().isEmpty());
    }
};

QTEST_MAIN(PollCycleTest)
#include "tst_pollcycle.moc"

// "Очистить окно" and the question that a change of the polled balances
// asks after a run, with what "Да", "Нет" and closing it do.
#include "mainform/Askunit.h"
#include "FakeReadingSource.h"
#include "FormFixture.h"

#include <QAccessible>
#include <QLabel>
#include <QScopeGuard>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class ClearingTest : public QObject {
    Q_OBJECT

private:
    static constexpr int balancesOnLine = 3;
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;

    FormFixture &f() { return *fixture; }
    const MeasurementTable &table() { return f().form().table(); }
    TAskForm *question() { return f().form().findChild<TAskForm *>(); }
    bool asking() { return question() && question()->isVisible(); }
    void runAndStop(std::initializer_list<int> marks, int measurements = 3)
    {
        f().check(marks);
        f().click("WeightButton");
        for (int n = 0; n < measurements; ++n) {
            for (int j = 1; j <= balancesOnLine; ++j)
                link.deliver(j, 100 * j + n);
            f().form().Timer2Timer();
        }
        f().click("StopButton");
    }
    void clickBalance(int item)
    {
        QListWidget *list = f().balanceList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(item)).center());
    }
    // Answers the open question and waits for Timer5 to act on it.
    void answer(const char *button)
    {
        QVERIFY(asking());
        if (button)
            question()->findChild<QPushButton *>(QString::fromLatin1(button))->click();
        else
            question()->close();
        QVERIFY(!asking());
        QTRY_VERIFY_WITH_TIMEOUT(!f().control<QTimer>("Timer5")->isActive(), 2000);
        QVERIFY(!f().form().runState().askAnswer);
    }
    void expectEmptyWindow()
    {
        QCOMPARE(table().rowCount(), 4);
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < table().columnCount(); ++column)
                QCOMPARE(table().cellText(row, column), QString());
        for (int j = 1; j <= RunState::balances; ++j)
            QCOMPARE(f().series(j)->count(), 0);
        QVERIFY(f().control<QPlainTextEdit>("Memo2")->toPlainText().isEmpty());
        QCOMPARE(f().form().currentRow(), 3);
        QCOMPARE(f().history().measurementNo, 0);
    }
    bool marked(std::initializer_list<int> items)
    {
        for (int item = 0; item < RunState::balances; ++item)
            if (f().checked(item) != (std::find(items.begin(), items.end(), item) != items.end()))
                return false;
        return true;
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        link.setLink(TRUTINA_LINK_ONLINE, balancesOnLine);
        fixture = std::make_unique<FormFixture>(link);
        f().form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f().form()));
    }
    void cleanup() { fixture.reset(); }

    void clearButtonEmptiesTableAndChart()
    {
        // As a screen reader would: every accessibility event asks for the
        // part it is about, and no such question may miss.
        QAccessible::installUpdateHandler([](QAccessibleEvent *event) { event->accessibleInterface(); });
        const auto removeHandler = qScopeGuard([] { QAccessible::installUpdateHandler(nullptr); });
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QAccessible")));
        f().control<QWidget>("StrGrid1")->setFocus();
        runAndStop({0, 1}, 5);
        const int columns = table().columnCount();
        f().control<QPlainTextEdit>("Memo2")->setPlainText(QStringLiteral("left from an export"));
        f().control<QWidget>("FileCheckListBox")->setEnabled(false);
        f().click("ClearButton");
        expectEmptyWindow();
        QCOMPARE(table().columnCount(), columns);
        QVERIFY(f().enabled("FileCheckListBox"));

        // The next run counts from one again, in the first data row.
        runAndStop({0, 1}, 1);
        QCOMPARE(table().cellText(3, 0), QStringLiteral("1"));
        QCOMPARE(f().series(1)->points().front().x(), 1.0);
    }

    void noQuestionBeforeAStartOrAfterAClear()
    {
        clickBalance(1);
        runAndStop({0});
        f().click("ClearButton");
        clickBalance(1);
        QVERIFY(!question());
    }

    void noPutsBackTheMarksOfTheLastStop()
    {
        runAndStop({0, 2});
        clickBalance(1);
        QCOMPARE(question()->windowTitle(), QStringLiteral("Очиститка окна"));
        QCOMPARE(question()->findChild<QLabel *>("Label2")->text(), QStringLiteral("Очистить окно?"));
        QVERIFY(!question()->isModal());
        f().check({1});
        answer("NOButton");
        QVERIFY(marked({0, 2}));
        QCOMPARE(table().measurementRows(), 3);
    }

    void refusedStartAsksNothing()
    {
        f().control<QLineEdit>("SizeEdit")->setText(QStringLiteral("0"));
        f().click("WeightButton");
        clickBalance(3);
        QVERIFY(!question());
    }

    void noPutsBackTheMarksOfTheStartWhenTheRunEndedByItself()
    {
        // The fourth balance is not on the line: the poll ends the run.
        f().check({0, 3});
        f().click("WeightButton");
        f().form().Timer2Timer();
        QCOMPARE(f().messages, QStringList{QStringLiteral("Подключено 3 весов.")});
        QVERIFY(f().enabled("FileCheckListBox"));
        clickBalance(1);
        f().check({1});
        answer("NOButton");
        QVERIFY(marked({0, 3}));
    }

    void enterAnswersNo()
    {
        runAndStop({0});
        clickBalance(1);
        QVERIFY(asking());
        QCOMPARE(question()->focusWidget(), question()->findChild<QPushButton *>("NOButton"));
        QWidget *focused = question()->focusWidget();
        QTest::keyClick(focused ? focused : question(), Qt::Key_Return);
        QVERIFY(!asking());
        QTRY_VERIFY_WITH_TIMEOUT(!f().control<QTimer>("Timer5")->isActive(), 2000);
        QCOMPARE(table().measurementRows(), 3);
    }

    void closingWithoutAnAnswerCountsAsNo()
    {
        runAndStop({0});
        clickBalance(1);
        f().check({1});
        answer(nullptr);
        QVERIFY(marked({0}));
        QCOMPARE(table().measurementRows(), 3);
    }

    void yesClearsAndTheNextClickAsksNothing()
    {
        runAndStop({0});
        clickBalance(1);
        answer("OKButton");
        expectEmptyWindow();
        clickBalance(2);
        QVERIFY(!asking());
    }

    void oneQuestionAtATime()
    {
        runAndStop({0});
        clickBalance(1);
        clickBalance(2);
        QCOMPARE(f().form().findChildren<TAskForm *>().size(), 1);
        QVERIFY(asking());
        // A "Да" not yet acted on is taken before the list asks again.
        question()->findChild<QPushButton *>("OKButton")->click();
        clickBalance(2);
        expectEmptyWindow();
        QVERIFY(!asking());
    }
};

QTEST_MAIN(ClearingTest)
#include "tst_clearing.moc"

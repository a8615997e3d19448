// The port and the period that the selectors' texts stand for.
#include "recording/RunChoices.h"

#include <QtTest>

class RunChoicesTest : public QObject {
    Q_OBJECT

private slots:
    void port_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        for (const auto &[text, port] : std::initializer_list<std::pair<const char *, int>>{
                 {"COM1", 1}, {"COM4", 4}, {"AUTO", 0}, {"", 0},
                 // Hand-edited settings: the digit is the last character and
                 // the fourth must be a port digit too.
                 {"COM12", 2}, {"COM5", 0}, {"C2", 0}, {"COM15", 0}})
            QTest::addRow("'%s'", text) << QString::fromLatin1(text) << port;
    }
    void port()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        const PortChoice choice = choosePort(text);
        QCOMPARE(choice.port, port);
        QCOMPARE(choice.label, port == 0 ? QStringLiteral("AUTO") : QStringLiteral("COM%1").arg(port));
    }

    void period_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("intervalMs"); // 0: refused
        for (const auto &[locale, text, ms] : std::initializer_list<std::tuple<const char *, const char *, int>>{
                 {"ru_RU", "0,2", 200}, {"ru_RU", "4", 4000}, {"ru_RU", "1,5", 1500}, {"ru_RU", "4,35", 4350},
                 {"ru_RU", "0.2", 200}, {"en_US", "0,2", 200}, {"en_US", "0.2", 200},
                 {"en_US", "1,5", 1500}, {"ru_RU", "abc", 0},
                 {"ru_RU", "", 0},
                 // A timer needs at least a millisecond and at most what an int holds.
                 {"ru_RU", "0", 0}, {"ru_RU", "0,0004", 0}, {"ru_RU", "3000000", 0}})
            QTest::addRow("%s '%s'", locale, text) << QString::fromLatin1(locale) << QString::fromUtf8(text) << ms;
    }
    void period()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(int, intervalMs);
        const std::optional<PeriodChoice> choice = choosePeriod(text, QLocale(locale));
        QCOMPARE(choice.has_value(), intervalMs > 0);
        if (choice) {
            QCOMPARE(choice->mode, PeriodChoice::Mode::Timed);
            QCOMPARE(choice->intervalMs, intervalMs);
        }
        QCOMPARE(choosePeriod(QStringLiteral("вручную"), QLocale(locale))->mode, PeriodChoice::Mode::Manual);
        QCOMPARE(choosePeriod(QStringLiteral("при новом весе"), QLocale(locale))->mode,
                 PeriodChoice::Mode::OnNewWeight);
    }
};

QTEST_MAIN(RunChoicesTest)
#include "tst_runchoices.moc"

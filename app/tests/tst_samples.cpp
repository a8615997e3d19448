// The window's samples: names from "Образцы…" in the legend, the chart in
// mass, Δm or Δm %, the status of each sample, the notification of constant
// mass and the run that stops once every sample has reached it.
#include "FakeReadingSource.h"
#include "FormFixture.h"

#include "mainform/SamplesDialog.h"
#include "mainform/WindowSamples.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

class SamplesTest : public QObject {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;
    QStringList notes;

    FormFixture &f() { return *fixture; }
    WindowSamples &samples() { return *f().form().findChild<WindowSamples *>(); }
    // One row: balance 1 and balance 3 in grams, balance 2 too (a row waits
    // for the whole line).
    void row(int32_t first, int32_t third)
    {
        link.deliver(1, first, 1000, true, 200);
        link.deliver(2, 0, 1, true, 200);
        link.deliver(3, third, 1000, true, 200);
        f().form().Timer2Timer();
    }
    QList<qreal> ys(int j)
    {
        QList<qreal> values;
        for (const QPointF &point : f().series(j)->points())
            values.append(point.y());
        return values;
    }

    // hooked: the notifications go to `notes`, else where the window tells them.
    void openWindow(bool hooked)
    {
        fixture.reset();
        fixture = std::make_unique<FormFixture>(
            link, QByteArray("[MainForm]\r\nCOM=COM1\r\n[Samples]\r\n1=Глина К-2\r\n3=Торф\r\n"
                             "[Experiment]\r\nChart=percent\r\nConstantMass=1%/1s\r\nStopWhenConstant=1\r\n"));
        notes.clear();
        if (hooked)
            samples().setNotify([this](const QString &, const QString &text) { notes.append(text); });
        f().check({0, 2});
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        link.setLink(TRUTINA_LINK_ONLINE, 3);
        openWindow(true);
    }
    void cleanup() { fixture.reset(); }

    void aDryingRunShowsItsSamplesAndStopsAtConstantMass_data()
    {
        QTest::addColumn<bool>("hooked");
        QTest::newRow("told through the hook") << true;
        // As offscreen, where the desktop has no notification area.
        QTest::newRow("told in the status bar") << false;
    }
    void aDryingRunShowsItsSamplesAndStopsAtConstantMass()
    {
        QFETCH(bool, hooked);
        if (!hooked) {
            openWindow(false);
            f().form().show();
        }
        f().start();
        row(100'000, 2'000);
        row(95'000, 2'000);
        QCOMPARE(f().series(1)->name(), QStringLiteral("Весы №1 — Глина К-2"));
        QCOMPARE(f().series(3)->name(), QStringLiteral("Весы №3 — Торф"));
        // Δm % of each sample's first reading: both start at zero.
        QCOMPARE(ys(1), (QList<qreal>{0, -5}));
        QCOMPARE(ys(3), (QList<qreal>{0, 0}));
        const QString status = f().control<QLabel>("SamplesStatus")->text();
        QVERIFY2(status.startsWith(QStringLiteral("№1: Δm -5 g (-5 %)")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("№3: Δm 0 g (0 %)")), qPrintable(status));

        // Held within 1 % for a second: both constant, the run stops itself.
        QElapsedTimer held;
        held.start();
        while (f().form().session().running() && held.elapsed() < 10'000) {
            row(95'000, 2'000);
            QTest::qWait(100);
        }
        QVERIFY(!f().form().session().running());
        if (!hooked) {
            const QString told = f().form().statusBar()->currentMessage();
            QVERIFY2(told.startsWith(QStringLiteral("Весы №3 — Торф: постоянная масса (")), qPrintable(told));
            // The samples' line gives way meanwhile; its tooltip has a line each.
            QVERIFY(!f().control<QLabel>("SamplesStatus")->isVisible());
            QCOMPARE(f().control<QLabel>("SamplesStatus")->toolTip().count(u'\n'), 1);
            return;
        }
        QCOMPARE(notes.size(), 2);
        QVERIFY2(notes[0].startsWith(QStringLiteral("Весы №1 — Глина К-2: постоянная масса (")), qPrintable(notes[0]));
        QVERIFY(notes[1].startsWith(QStringLiteral("Весы №3 — Торф: постоянная масса (")));
        QVERIFY(f().control<QLabel>("SamplesStatus")->text().contains(QStringLiteral("постоянная масса с")));
    }

    void theChartsChoiceRedrawsAndIsRemembered()
    {
        f().start();
        row(100'000, 2'000);
        row(99'500, 2'100);
        auto *menu = f().control<QMenu>("ChartMenu");
        QCOMPARE(menu->actions().size(), 3);
        QVERIFY(menu->actions()[2]->isChecked());
        const auto axisTitle = [&] {
            return f().control<QChartView>("Chart1")->chart()->axes(Qt::Vertical).first()->titleText();
        };
        QCOMPARE(axisTitle(), QStringLiteral("Δm, %"));
        menu->actions()[1]->trigger(); // Δm
        QCOMPARE(axisTitle(), QStringLiteral("Δm"));
        QCOMPARE(ys(1), (QList<qreal>{0, -0.5}));
        QCOMPARE(ys(3).size(), 2);
        QCOMPARE(ys(3)[1], 0.1);
        QVERIFY(f().readFile().contains("Chart=change"));
        menu->actions()[0]->trigger();
        QCOMPARE(axisTitle(), QString());
        QCOMPARE(ys(1), (QList<qreal>{100, 99.5}));
        QVERIFY(f().readFile().contains("Chart=mass"));
        f().click("StopButton");
    }

    // The operator picks a row on the table's menu; every value below is
    // worked out by hand from balance 1's 100, 98, 96, 95 g and balance 3's
    // 2; 1,9; 1,85; 1,8 g.
    void aRowPickedMidRunIsEverySamplesReference()
    {
        f().start();
        row(100'000, 2'000);
        row(98'000, 1'900);
        row(96'000, 1'850);
        auto *grid = f().control<QTableView>("StrGrid1");
        auto *pick = f().control<QAction>("PickReference");
        const auto pickAt = [&](QPoint at) {
            emit grid->customContextMenuRequested(at);
            if (pick->isEnabled())
                pick->trigger();
            f().control<QMenu>("GridMenu")->hide();
            return pick->isEnabled();
        };
        const auto pickRow = [&](int row) { return pickAt(grid->visualRect(grid->model()->index(row, 0)).center()); };
        const auto near = [](const QList<qreal> &got, const QList<qreal> &want) {
            bool same = got.size() == want.size();
            for (qsizetype n = 0; same && n < got.size(); ++n)
                same = qAbs(got[n] - want[n]) < 1e-9;
            if (!same)
                qWarning() << got << "instead of" << want;
            return same;
        };
        QVERIFY(!pickAt(grid->viewport()->rect().bottomLeft() + QPoint(4, -4))); // below the rows
        QVERIFY(pickRow(MeasurementColumns::rowOf(2)));
        // Δm % of the chart from 98 g and 1,9 g at once, the row itself 0.
        QVERIFY(near(ys(1), {100.0 / 98 * 100 - 100, 0, 96.0 / 98 * 100 - 100}));
        QVERIFY(near(ys(3), {2.0 / 1.9 * 100 - 100, 0, 1.85 / 1.9 * 100 - 100}));
        QVERIFY(f().control<QLabel>("SamplesStatus")->text().startsWith(QStringLiteral("№1: Δm -2 g (")));
        const auto bold = [&](int row) { return grid->model()->index(row, 4).data(Qt::FontRole).value<QFont>().bold(); };
        QVERIFY(bold(MeasurementColumns::rowOf(2)));
        // The rows that follow count from it.
        row(95'000, 1'800);
        QVERIFY(near(ys(1).mid(3), {95.0 / 98 * 100 - 100}));
        QVERIFY(f().control<QLabel>("SamplesStatus")->text().startsWith(QStringLiteral("№1: Δm -3 g (")));

        // A second pick replaces the first.
        QVERIFY(pickRow(MeasurementColumns::rowOf(3)));
        QVERIFY(!bold(MeasurementColumns::rowOf(2)));
        QVERIFY(bold(MeasurementColumns::rowOf(3)));
        QVERIFY(near(ys(1), {100.0 / 96 * 100 - 100, 98.0 / 96 * 100 - 100, 0, 95.0 / 96 * 100 - 100}));
        f().click("StopButton");

        // The run's CSV counts every row from row 3 too.
        const QString path = QDir(f().dirPath()).filePath(QStringLiteral("run.csv"));
        f().form().setSaveFileChooser([path] { return ExportTarget(path); });
        f().click("ApplyButton1");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const QList<QByteArrayList> expected = {{"4.000", "0.150"}, {"2.000", "0.050"}, {"0.000", "0.000"}, {"-1.000", "-0.050"}};
        for (int n = 0; n < 4; ++n) {
            const QByteArrayList fields = lines[1 + n].trimmed().split(',');
            QCOMPARE((QByteArrayList{fields[4], fields[9]}), expected[n]);
        }
    }

    // The status bar's changes and drifts, written out whatever their size.
    void changesAreWrittenOutWithTheirSign_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("text");
        QTest::newRow("a drift in the thousands") << -2913.7 << 3 << QStringLiteral("-2914");
        QTest::newRow("no group separator") << 123456.0 << 4 << QStringLiteral("+123456");
        QTest::newRow("almost flat") << -0.0000352 << 3 << QStringLiteral("-0,0000352");
        QTest::newRow("within the digits") << 0.52 << 4 << QStringLiteral("+0,52");
        QTest::newRow("nothing") << 0.0 << 3 << QStringLiteral("0");
        QTest::newRow("rounded") << -75.66 << 3 << QStringLiteral("-75,7");
    }
    void changesAreWrittenOutWithTheirSign()
    {
        QFETCH(double, value);
        QFETCH(int, digits);
        QFETCH(QString, text);
        QCOMPARE(ValueFormat(QLocale(QLocale::Russian, QLocale::Russia)).signedChange(value, digits), text);
    }

    void theDialogSavesNamesAndRefusesACriterionItCannotRead()
    {
        SamplesDialog dialog(SampleSettings::read(f().settingsFile()), &f().form());
        QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("SampleName1"))->text(), QStringLiteral("Глина К-2"));
        dialog.findChild<QLineEdit *>(QStringLiteral("SampleName2"))->setText(QStringLiteral("  Песок\n"));
        auto *criterion = dialog.findChild<QLineEdit *>(QStringLiteral("ConstantMass"));
        QCOMPARE(criterion->text(), QStringLiteral("1%/1s"));
        criterion->setText(QStringLiteral("быстро"));
        dialog.findChild<QCheckBox *>(QStringLiteral("StopWhenConstant"))->setChecked(false);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open
        QVERIFY(!dialog.findChild<QLabel *>(QStringLiteral("ConstantMassProblem"))->text().isEmpty());
        criterion->setText(QStringLiteral("0,005g/30m"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const SampleSettings chosen = dialog.chosen();
        QCOMPARE(chosen.nameAt(2), QStringLiteral("Песок"));
        QCOMPARE(chosen.constantMass.limitKind, ConstantMassCriterion::Limit::InUnit);
        QVERIFY(!chosen.stopWhenConstant);

        // Through the menu item: saved in [Samples], and the next run takes it.
        QTimer::singleShot(0, this, [] {
            auto *open = qobject_cast<SamplesDialog *>(QApplication::activeModalWidget());
            QVERIFY(open);
            open->findChild<QLineEdit *>(QStringLiteral("SampleName1"))->setText(QStringLiteral("Глина К-3"));
            open->accept();
        });
        f().form().findChild<QAction *>(QStringLiteral("SamplesMenuItem"))->trigger();
        QVERIFY(f().readFile().contains("1=Глина К-3"));
        QCOMPARE(f().form().runSettings().samples, (std::vector<std::string>{"Глина К-3", "", "Торф"}));
    }
};

QTEST_MAIN(SamplesTest)
#include "tst_samples.moc"

// The sections [Samples] and [Experiment]: read with defaults for what is
// missing or wrong, written back beside [MainForm] without touching it.
#include "settings/SampleSettings.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QString fileWith(const QTemporaryDir &dir, const char *name, const QByteArray &bytes)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SampleSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void readsWhatIsThereAndDefaultsTheRest_data()
    {
        QTest::addColumn<QByteArray>("sections");
        QTest::addColumn<QString>("third");
        QTest::addColumn<int>("chart");
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<bool>("stop");
        QTest::newRow("none") << QByteArray() << QString() << int(ChartQuantity::Mass) << "0,1%/1h" << false;
        QTest::newRow("all") << QByteArray("[Samples]\n3= Глина К-2 \n[Experiment]\nChart=Percent\n"
                                           "ConstantMass=0,005g/30m\nStopWhenConstant=1\n")
                             << QStringLiteral("Глина К-2") << int(ChartQuantity::ChangePercent) << "0,005g/30m"
                             << true;
        QTest::newRow("wrong values") << QByteArray("[Experiment]\nChart=bars\nConstantMass=soon\nStopWhenConstant=да\n")
                                      << QString() << int(ChartQuantity::Mass) << "0,1%/1h" << false;
    }

    void readsWhatIsThereAndDefaultsTheRest()
    {
        QFETCH(QByteArray, sections);
        QFETCH(QString, third);
        QFETCH(int, chart);
        QFETCH(QString, criterion);
        QFETCH(bool, stop);
        QTemporaryDir dir;
        const QString ini = fileWith(dir, "PONDUS.ini", "[MainForm]\nCOM=COM1\n" + sections);
        const SampleSettings settings = SampleSettings::read(ini);
        QCOMPARE(settings.nameAt(3), third);
        QCOMPARE(settings.nameAt(1), QString());
        QCOMPARE(int(settings.chart), chart);
        QCOMPARE(constantMassCriterionText(settings.constantMass), criterion);
        QCOMPARE(settings.stopWhenConstant, stop);
    }

    void writesBothSectionsAndKeepsTheRest()
    {
        QTemporaryDir dir;
        const QString ini =
            fileWith(dir, "PONDUS.ini", "[MainForm]\nGetInfPeriod=0,4\nCOM=COM2\n; the lab's note\n[Samples]\n11=stays\n");

        SampleSettings settings;
        QVERIFY(settings.setName(1, QStringLiteral("Песок\nсухой")));
        QVERIFY(settings.setName(10, QStringLiteral("Глина К-2")));
        QVERIFY(!settings.setName(11, QStringLiteral("x")));
        QVERIFY(!settings.setName(0, QStringLiteral("x")));
        settings.chart = ChartQuantity::Change;
        settings.constantMass = *parseConstantMassCriterion(QStringLiteral("2mg/90s"));
        settings.stopWhenConstant = true;
        QVERIFY(settings.write(ini));

        const SampleSettings back = SampleSettings::read(ini);
        QCOMPARE(back.names, settings.names);
        QCOMPARE(back.nameAt(1), QStringLiteral("Песок сухой"));
        QCOMPARE(back.chart, ChartQuantity::Change);
        QCOMPARE(back.constantMass, settings.constantMass);
        QVERIFY(back.stopWhenConstant);
        const QByteArray written = contentOf(ini);
        QVERIFY2(written.startsWith("[MainForm]\nGetInfPeriod=0,4\nCOM=COM2\n"), written.constData());
        QVERIFY(written.contains("; the lab's note"));
        QVERIFY(written.contains("11=stays"));
    }

    void leavesAFileThatIsNoSettingsAlone()
    {
        QTemporaryDir dir;
        const QString notes = fileWith(dir, "notes.txt", "not settings at all\n");
        SampleSettings settings;
        settings.setName(2, QStringLiteral("x"));
        QVERIFY(!settings.write(notes));
        QCOMPARE(contentOf(notes), QByteArray("not settings at all\n"));
    }
};

QTEST_GUILESS_MAIN(SampleSettingsTest)
#include "tst_samplesettings.moc"

// The [MQTT] section of PONDUS.ini: off by default, every key read, bad
// values falling back, and the window's own section untouched by it.
#include "settings/MqttIniSection.h"

#include <QTemporaryDir>
#include <QtTest>

class TestMqttSection : public QObject {
    Q_OBJECT

private slots:
    void missingFileOrSectionMeansOff()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("PONDUS.ini"));
        QVERIFY(!readMqttSection(path).enabled);
        writeFile(path, "[MainForm]\nCOM=COM1\n");
        const MqttSettings settings = readMqttSection(path);
        QVERIFY(!settings.enabled);
        QCOMPARE(settings.port, 1883);
        QCOMPARE(settings.topicPrefix, std::string("pondus"));
    }

    void everyKeyIsRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("PONDUS.ini"));
        writeFile(path, "[MainForm]\r\nCOM=COM2\r\n[MQTT]\r\nEnabled=1\r\nHost=broker.lab\r\nPort=8883\r\n"
                        "ClientId=bench-3\r\nTopicPrefix=lab/weights\r\nCaFile=/etc/lab/ca.crt\r\n"
                        "User=lab3\r\nPasswordFile=/etc/lab/mqtt.pass\r\n");
        std::vector<MqttSectionWarning> warnings;
        const MqttSettings settings = readMqttSection(path, &warnings);
        QVERIFY(warnings.empty());
        QVERIFY(settings.enabled);
        QCOMPARE(settings.host, std::string("broker.lab"));
        QCOMPARE(settings.port, 8883);
        QCOMPARE(settings.clientId, std::string("bench-3"));
        QCOMPARE(settings.topicPrefix, std::string("lab/weights"));
        QCOMPARE(settings.caFile, std::string("/etc/lab/ca.crt"));
        QCOMPARE(settings.user, std::string("lab3"));
        QCOMPARE(settings.passwordFile, std::string("/etc/lab/mqtt.pass"));
    }

    void badValuesFallBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("PONDUS.ini"));
        writeFile(path, "[MQTT]\nEnabled=yes\nPort=99999\n");
        std::vector<MqttSectionWarning> warnings;
        const MqttSettings settings = readMqttSection(path, &warnings);
        QVERIFY(!settings.enabled);
        QCOMPARE(settings.port, 1883);
        QCOMPARE(warnings.size(), size_t(2));
        QCOMPARE(warnings[0].text, std::string("[MQTT] Enabled=yes is neither 0 nor 1: publishing stays off"));
        QCOMPARE(warnings[1].key, std::string("Port"));
        QCOMPARE(warnings[1].text, std::string("[MQTT] Port=99999 is not a port from 1 to 65535: 1883 is used"));
        for (const char *port : {"0", "x1883", "-1"}) {
            warnings.clear();
            writeFile(path, "[MQTT]\nEnabled=1\nPort=" + QByteArray(port) + "\n");
            QCOMPARE(readMqttSection(path, &warnings).port, 1883);
            QCOMPARE(warnings.size(), size_t(1));
        }
    }

private:
    static void writeFile(const QString &path, const QByteArray &text)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
};

QTEST_GUILESS_MAIN(TestMqttSection)
#include "tst_mqttsection.moc"

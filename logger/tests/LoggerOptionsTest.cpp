// The logger's command line and settings file, parsed without running anything.
#include "ExitCodes.h"
#include "LoggerOptions.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace pondus::logger {
namespace {

ParsedCommandLine parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("pondus-log"));
    return parseCommandLine(arguments, 1'700'000'000'000);
}

LoggerOptions options(const QStringList &arguments)
{
    const ParsedCommandLine parsed = parse(arguments);
    EXPECT_TRUE(parsed.options) << parsed.text;
    return parsed.options.value_or(LoggerOptions{});
}

// PONDUS.ini in the folder, holding `text`.
QString settingsFile(const QTemporaryDir &folder, const char *text)
{
    const QString path = QDir(folder.path()).filePath(QStringLiteral("PONDUS.ini"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

TEST(LoggerOptions, DefaultsRecordEveryBalanceOnCom1EverySecond)
{
    const LoggerOptions chosen = options({});
    EXPECT_EQ(1, chosen.portNumber);
    EXPECT_EQ("COM1", chosen.run.port);
    EXPECT_EQ(RecordingMode::Periodic, chosen.run.mode);
    EXPECT_EQ(1000, chosen.run.periodMs);
    EXPECT_TRUE(chosen.run.balances.empty());
    EXPECT_EQ(0, chosen.count);
    EXPECT_EQ(30'000, chosen.linkTimeout.count());
    EXPECT_EQ(FileFormat::Tsv, chosen.format);
    EXPECT_EQ(0u, chosen.outputPath.rfind("pondus-log-", 0)) << chosen.outputPath;
}

TEST(LoggerOptions, ChoicesAsTheWindowOffersThem)
{
    LoggerOptions chosen = options({"--port", "com3", "--period", "0,2", "--balances", "3,1,3", "--count", "7",
                                    "--duration", "15m", "-o", "rows.csv"});
    EXPECT_EQ(3, chosen.portNumber);
    EXPECT_EQ("COM3", chosen.run.port);
    EXPECT_EQ(200, chosen.run.periodMs);
    EXPECT_EQ((std::vector<int32_t>{1, 3}), chosen.run.balances);
    EXPECT_EQ(7, chosen.count);
    EXPECT_EQ(900'000, chosen.duration.count());
    EXPECT_EQ(FileFormat::Csv, chosen.format);

    chosen = options({"--port", "AUTO", "--period", "4.0", "--link-timeout", "0"});
    EXPECT_EQ(0, chosen.portNumber);
    EXPECT_EQ(4000, chosen.run.periodMs);
    EXPECT_EQ(0, chosen.linkTimeout.count());

    chosen = options({"--port", "/dev/ttyUSB0", "--on-change", "25", "--format", "TSV", "-o", "x.csv"});
    EXPECT_EQ("/dev/ttyUSB0", chosen.devicePath);
    EXPECT_EQ(1, chosen.portNumber);
    EXPECT_EQ(RecordingMode::OnNewWeight, chosen.run.mode);
    EXPECT_EQ(25, chosen.run.threshold);
    EXPECT_EQ(FileFormat::Tsv, chosen.format) << "--format wins over the file name";

    EXPECT_EQ(FileFormat::Xlsx, options({"-o", "day.XLSX"}).format);
    EXPECT_EQ(FileFormat::Xlsx, options({"--format", "xlsx", "-o", "day.tsv"}).format);
}

TEST(LoggerOptions, BadChoicesEndWithOneLineAndCodeTwo)
{
    for (const QStringList &arguments :
         {QStringList{"--period", "0,1"}, {"--period", "5"}, {"--period", "often"}, {"--port", "COM5"},
          {"--balances", "0"}, {"--balances", "11"}, {"--balances", ","}, {"--count", "0"}, {"--count", "x"},
          {"--duration", "-3"}, {"--on-change", "-1"}, {"--period", "1", "--on-change", "5"}, {"--format", "xls"},
          {"--bogus"}, {"stray"}, {"--ini", "/nonexistent/PONDUS.ini"}, {"--sample", "Глина"},
          {"--sample", "11=Глина"}, {"--sample", "=Глина"}, {"--until-constant", "0,1%"},
          {"--until-constant", "0%/60m"}, {"--until-constant", "0,1 st/60m"}, {"--until-constant", "0,1%/soon"}}) {
        const ParsedCommandLine parsed = parse(arguments);
        EXPECT_FALSE(parsed.options) << arguments.join(' ').toStdString();
        EXPECT_EQ(badArguments, parsed.exitCode);
        EXPECT_FALSE(parsed.text.empty());
        EXPECT_EQ(std::string::npos, parsed.text.find('\n')) << parsed.text;
    }
}

TEST(LoggerOptions, HelpNamesEveryChoiceAndTheExitCodes)
{
    const ParsedCommandLine parsed = parse({"--help"});
    EXPECT_FALSE(parsed.options);
    EXPECT_EQ(0, parsed.exitCode);
    for (const char *word : {"--port", "--period", "--on-change", "--balances", "--count", "--duration", "--ini",
                             "--link-timeout", "--sample", "--until-constant", "Exit status", "TRUTINA_COMn"})
        EXPECT_NE(std::string::npos, parsed.text.find(word)) << word;
}

TEST(LoggerOptions, TheWindowsSettingsFileAndTheCommandLineOverIt)
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("PONDUS.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[MainForm]\r\nGetInfPeriod=при новом весе\r\nCOM=COM2\r\nMaxDifWeight=15\r\n"
               "FCLB(0)=1\r\nFCLB(1)=0\r\nFCLB(2)=1\r\n\r\n[Logger]\r\nOutput=line.csv\r\nLinkTimeout=2m\r\n[Audit]\r\nOperator=Петров\r\n");
    file.close();

    LoggerOptions chosen = options({"--ini", path});
    EXPECT_EQ(2, chosen.portNumber);
    EXPECT_EQ(RecordingMode::OnNewWeight, chosen.run.mode);
    EXPECT_EQ(15, chosen.run.threshold);
    EXPECT_EQ((std::vector<int32_t>{1, 3}), chosen.run.balances);
    EXPECT_EQ("line.csv", chosen.outputPath);
    EXPECT_EQ(FileFormat::Csv, chosen.format);
    EXPECT_EQ(120'000, chosen.linkTimeout.count());
    EXPECT_EQ("Петров", chosen.operatorName);

    chosen = options({"--ini", path, "--port", "COM4", "--balances", "2"});
    EXPECT_EQ(4, chosen.portNumber);
    EXPECT_EQ((std::vector<int32_t>{2}), chosen.run.balances);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[MainForm]\nGetInfPeriod=вручную\n");
    file.close();
    const ParsedCommandLine manual = parse({"--ini", path});
    EXPECT_EQ(badArguments, manual.exitCode);
    EXPECT_NE(std::string::npos, manual.text.find("--period or --on-change")) << manual.text;
}

TEST(LoggerOptions, SamplesAndConstantMassFromTheSettingsFileAndTheCommandLine)
{
    QTemporaryDir folder;
    const QString path = settingsFile(folder, "[MainForm]\nCOM=COM1\n[Samples]\n1=Песок\n2=Торф\n"
                                              "[Experiment]\nConstantMass=0,5%/2h\nStopWhenConstant=1\n");
    LoggerOptions chosen = options({"--ini", path});
    EXPECT_EQ((std::vector<std::string>{"Песок", "Торф"}), chosen.run.samples);
    EXPECT_EQ(0.5, chosen.constantMass.limit);
    EXPECT_EQ(7'200'000, chosen.constantMass.window.count());
    EXPECT_FALSE(chosen.untilConstant) << "a run stops by itself only when asked here";

    chosen = options({"--ini", path, "--sample", "3= Глина К-2 ", "--sample", "1=", "--until-constant", "0,005g/90s"});
    EXPECT_EQ((std::vector<std::string>{"", "Торф", "Глина К-2"}), chosen.run.samples);
    EXPECT_EQ("Глина К-2", chosen.run.sampleAt(3));
    EXPECT_EQ("", chosen.run.sampleAt(11));
    EXPECT_TRUE(chosen.untilConstant);
    EXPECT_EQ(ConstantMassCriterion::Limit::InUnit, chosen.constantMass.limitKind);
    EXPECT_EQ(0.005, chosen.constantMass.limit);
    EXPECT_EQ(90'000, chosen.constantMass.window.count());

    chosen = options({"--until-constant", "0.1%/15m"});
    EXPECT_EQ(ConstantMassCriterion::Limit::PercentOfReference, chosen.constantMass.limitKind);
    EXPECT_EQ(900'000, chosen.constantMass.window.count());
    EXPECT_TRUE(chosen.run.samples.empty());
}

TEST(LoggerOptions, PublishingFlagsOverTheSettingsFilesMqttSection)
{
    QTemporaryDir folder;
    const QString path = settingsFile(
        folder, "[MainForm]\nCOM=COM2\nGetInfPeriod=1\n[MQTT]\nEnabled=1\nHost=broker.lab\nUser=line2\nPort=99999\n");
    LoggerOptions chosen = options({"--ini", path});
    EXPECT_EQ(1883, chosen.mqtt.port);
    ASSERT_EQ(1u, chosen.mqttWarnings.size()) << "a bad port is told";
    chosen = options({"--ini", path, "--mqtt-host", "other.lab", "--mqtt-port", "8883"});
    EXPECT_TRUE(chosen.mqttWarnings.empty()) << "but not when the flag names the port";
    EXPECT_TRUE(chosen.mqtt.enabled);
    EXPECT_EQ("other.lab", chosen.mqtt.host);
    EXPECT_EQ(8883, chosen.mqtt.port);
    EXPECT_EQ("line2", chosen.mqtt.user) << "what no flag names stays as the file has it";

    chosen = options({"--mqtt", "--mqtt-prefix", "lab", "--mqtt-password-file", "/etc/lab/pass"});
    EXPECT_TRUE(chosen.mqtt.enabled);
    EXPECT_EQ("lab", chosen.mqtt.topicPrefix);
    EXPECT_EQ("/etc/lab/pass", chosen.mqtt.passwordFile);
    EXPECT_FALSE(options({}).mqtt.enabled) << "off unless asked";

    chosen = options({"--collect", "lab", "--db", "all.db"});
    EXPECT_EQ("lab", chosen.collectPrefix);
    EXPECT_EQ("all.db", chosen.collectDb);
    EXPECT_FALSE(chosen.dashboard.enabled()) << "no dashboard unless asked";
    for (const QStringList &bad : {QStringList{"--collect", "lab"}, QStringList{"--mqtt-port", "70000"},
                                   QStringList{"--http", "8080"}, // without --collect
                                   QStringList{"--collect", "lab", "--db", "all.db", "--http", "host:port"}}) {
        const ParsedCommandLine parsed = parse(bad);
        EXPECT_FALSE(parsed.options) << bad.join(' ').toStdString();
        EXPECT_EQ(badArguments, parsed.exitCode);
    }
}

TEST(LoggerOptions, DashboardFromItsSectionWithTheFlagsOverIt)
{
    QTemporaryDir folder;
    const QString path =
        settingsFile(folder, "[Dashboard]\nListen=0.0.0.0:8080\nUser=lab\nPasswordFile=/etc/pondus/web.pass\n");
    LoggerOptions chosen = options({"--collect", "lab", "--db", "all.db", "--ini", path});
    EXPECT_EQ("0.0.0.0", chosen.dashboard.address);
    EXPECT_EQ(8080, chosen.dashboard.port);
    EXPECT_EQ("lab", chosen.dashboard.user);
    chosen = options({"--collect", "lab", "--db", "all.db", "--ini", path, "--http", "9090", "--http-cert", "c.pem"});
    EXPECT_EQ("127.0.0.1", chosen.dashboard.address) << "a port alone listens on this machine only";
    EXPECT_EQ(9090, chosen.dashboard.port);
    EXPECT_EQ("/etc/pondus/web.pass", chosen.dashboard.passwordFile);
    EXPECT_EQ("c.pem", chosen.dashboard.certFile);
}

} // namespace
} // namespace pondus::logger

#include "LoggerOptions.h"

#include "DashboardOptions.h"
#include "ExitCodes.h"
#include "settings/MqttIniSection.h"
#include "recording/DurationText.h"
#include "recording/RunChoices.h"
#include "settings/IniSettings.h"
#include "settings/SampleSettings.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace pondus::logger {
namespace {

constexpr int shortestPeriodMs = 200;
constexpr int longestPeriodMs = 4000;
constexpr int onChangePollMs = 200;
constexpr int maxBalances = 10;

const char *const trailer =
    "\n"
    "Rows go to the output file as they are recorded, each one written and\n"
    "flushed before the next poll. On a terminal a live view shows the link,\n"
    "the balances and their latest values; otherwise each row is printed.\n"
    "\n"
    "Exit status:\n"
    "  0  done: --count, --duration or --until-constant reached, or stopped by\n"
    "     SIGINT or SIGTERM\n"
    "  1  the library or the output file failed (the reason is printed)\n"
    "  2  bad arguments or settings (a one-line message)\n"
    "  3  the line was off line for longer than --link-timeout\n"
    "  4  a chosen balance is not on the line\n"
    "  5  --verify: the journal's chain does not match; the first event that\n"
    "     does not is named (or the journal cannot be read)\n"
    "  6  --report: the journal holds no such run\n"
    "\n"
    "Environment:\n"
    "  TRUTINA_COMn  the device of port COMn, n from 1 to 4 (default /dev/ttyS0\n"
    "                to /dev/ttyS3)\n";

// Thrown for a wrong choice; its text is the one-line message.
struct BadChoice : std::runtime_error {
    using std::runtime_error::runtime_error;
    explicit BadChoice(const QString &message) : std::runtime_error(message.toStdString()) {}
};

std::chrono::milliseconds durationOf(const QString &option, const QString &value)
{
    const std::optional<std::chrono::milliseconds> duration = parseDuration(value);
    if (!duration)
        throw BadChoice(QStringLiteral("--%1 wants a time such as 90, 90s, 15m or 8h, not \"%2\"").arg(option, value));
    return *duration;
}

int64_t wholeNumber(const QString &option, const QString &value, int64_t smallest, int64_t largest)
{
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < smallest || number > largest)
        throw BadChoice(QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                            .arg(option)
                            .arg(smallest)
                            .arg(largest)
                            .arg(value));
    return number;
}

void choosePortOf(LoggerOptions &options, const QString &value)
{
    if (value.contains(QLatin1Char('/'))) {
        options.devicePath = value.toStdString();
        options.portNumber = 1;
        options.run.port = options.devicePath;
        return;
    }
    const QString upper = value.toUpper();
    const PortChoice choice = choosePort(upper);
    if (choice.automatic() && upper != autoPortText)
        throw BadChoice(QStringLiteral("--port wants COM1..COM4, AUTO or a device path, not \"%1\"").arg(value));
    options.portNumber = choice.port;
    options.run.port = choice.label.toStdString();
}

void choosePeriodOf(LoggerOptions &options, const QString &value)
{
    // Seconds with a comma or a point, as the window's period list writes them.
    bool ok = false;
    const double seconds = QLocale::c().toDouble(QString(value).replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    const int ms = ok && std::isfinite(seconds) ? int(std::lround(seconds * 1000)) : 0;
    if (ms < shortestPeriodMs || ms > longestPeriodMs)
        throw BadChoice(
            QStringLiteral("--period wants seconds from 0,2 to 4 (a comma or a point), not \"%1\"").arg(value));
    options.run.mode = RecordingMode::Periodic;
    options.run.periodMs = ms;
}

void chooseThresholdOf(LoggerOptions &options, const QString &value)
{
    options.run.mode = RecordingMode::OnNewWeight;
    options.run.threshold = int32_t(wholeNumber(QStringLiteral("on-change"), value, 0, INT32_MAX));
    options.run.periodMs = onChangePollMs;
}

void chooseBalancesOf(LoggerOptions &options, const QString &value)
{
    std::vector<int32_t> balances;
    for (const QString &item : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int j = item.trimmed().toInt(&ok);
        if (!ok || j < 1 || j > maxBalances)
            throw BadChoice(QStringLiteral("--balances wants positions 1..10 such as 1,2,3, not \"%1\"").arg(value));
        balances.push_back(j);
    }
    if (balances.empty())
        throw BadChoice("--balances wants at least one position 1..10");
    std::sort(balances.begin(), balances.end());
    balances.erase(std::unique(balances.begin(), balances.end()), balances.end());
    options.run.balances = balances;
}

// "3=Глина К-2": a position 1..10, '=' and the name of its sample.
void chooseSampleOf(SampleSettings &samples, const QString &value)
{
    const qsizetype equals = value.indexOf(QLatin1Char('='));
    bool ok = false;
    const int position = equals > 0 ? value.left(equals).trimmed().toInt(&ok) : 0;
    if (!ok || !samples.setName(position, value.mid(equals + 1)))
        throw BadChoice(QStringLiteral("--sample wants a position 1..10, '=' and a name such as 3=\"Глина К-2\", "
                                       "not \"%1\"")
                            .arg(value));
}

// The window's saved choices: port, period or the new-weight mode with its
// threshold, and the check marks of the balance list; the [Logger] section
// adds the output file and the link time-out.
void readSettingsFile(LoggerOptions &options, const QString &path)
{
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0)
        throw BadChoice(QStringLiteral("--ini %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    IniSettings window(QStringLiteral("MainForm"));
    if (!window.load(path))
        throw BadChoice(QStringLiteral("--ini %1: not a settings file that can be read").arg(path));
    choosePortOf(options, window.text("COM", QStringLiteral("COM1")));
    const QString period = window.text("GetInfPeriod", QStringLiteral("1"));
    const std::optional<PeriodChoice> choice = choosePeriod(period, QLocale::system());
    if (!choice || choice->mode == PeriodChoice::Mode::Manual)
        throw BadChoice(QStringLiteral("--ini %1: the period \"%2\" needs the window; give --period or --on-change")
                            .arg(path, period));
    if (choice->mode == PeriodChoice::Mode::OnNewWeight)
        chooseThresholdOf(options, window.text("MaxDifWeight", QStringLiteral("10")));
    else {
        options.run.mode = RecordingMode::Periodic;
        options.run.periodMs = choice->intervalMs;
    }
    // Check marks the file holds; a file without any polls every balance.
    std::vector<int32_t> balances;
    bool anyMark = false;
    for (int item = 0; item < maxBalances; ++item) {
        const QByteArray key = "FCLB(" + QByteArray::number(item) + ')';
        anyMark = anyMark || !window.text(key.constData(), QString()).isEmpty();
        if (window.flag(key.constData(), false))
            balances.push_back(item + 1);
    }
    if (anyMark)
        options.run.balances = balances;
    options.run.measurementBound = int32_t(window.text("SizeOfMassive", QStringLiteral("100")).toInt());
    IniSettings journal(QStringLiteral("Journal"));
    if (journal.load(path))
        options.journalPath = journal.text("Path", QString()).trimmed().toStdString();
    IniSettings audit(QStringLiteral("Audit"));
    if (audit.load(path))
        options.operatorName = audit.text("Operator", QString()).trimmed().toStdString();

    IniSettings logger(QStringLiteral("Logger"));
    logger.load(path);
    if (const QString output = logger.text("Output", QString()); !output.isEmpty())
        options.outputPath = output.toStdString();
    if (const QString timeout = logger.text("LinkTimeout", QString()); !timeout.isEmpty())
        options.linkTimeout = durationOf(QStringLiteral("ini [Logger] LinkTimeout"), timeout);
    const SampleSettings samples = SampleSettings::read(path);
    options.run.samples = samples.runNames();
    options.constantMass = samples.constantMass;
    options.mqtt = readMqttSection(path, &options.mqttWarnings);
    if (const std::string problem = readDashboardSection(path, options.dashboard); !problem.empty())
        throw BadChoice(problem);
}

// The flags of publishing that take a text, in the order --help lists them,
// each over the field of [MQTT] it names; --mqtt-port takes a number.
struct MqttFlag {
    const char *name;
    const char *help;
    const char *value;
    std::string MqttSettings::*field;
};

const MqttFlag mqttFlags[] = {
    {"mqtt-host", "The broker's host (default localhost).", "HOST", &MqttSettings::host},
    {"mqtt-port", "The broker's port (default 1883).", "PORT", nullptr},
    {"mqtt-client-id", "Client id (default pondus-<pc>-<COMn>).", "ID", &MqttSettings::clientId},
    {"mqtt-prefix", "First level of the topics (default pondus).", "PREFIX", &MqttSettings::topicPrefix},
    {"mqtt-ca", "Connect with TLS, checking the broker against this CA certificate.", "FILE", &MqttSettings::caFile},
    {"mqtt-user", "User name at the broker.", "NAME", &MqttSettings::user},
    {"mqtt-password-file", "File whose first line is the user's password.", "FILE", &MqttSettings::passwordFile},
};

// An option named `name` with a value called `value`, or a switch without one.
QCommandLineOption option(const char *name, const char *help, const char *value = "")
{
    return {QString::fromLatin1(name), QString::fromUtf8(help), QString::fromLatin1(value)};
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments, int64_t startUtcMs)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records the weights of the balances on one serial line without a window:\n"
        "rows to a file as the window records them, a live view on a terminal."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    const QCommandLineOption port = option(
        "port", "COM1..COM4, AUTO (search all four) or a device path such as /dev/ttyUSB0 (default COM1).", "PORT");
    const QCommandLineOption period =
        option("period", "A row every SECONDS, 0,2 to 4 (comma or point; default 1).", "SECONDS");
    const QCommandLineOption onChange = option("on-change",
                                               "A row when a stable weight changed by at least THRESHOLD scale "
                                               "divisions (\"при новом весе\"), polled every 0,2 s.",
                                               "THRESHOLD");
    const QCommandLineOption balances = option(
        "balances", "Positions to record, such as 1,2,3 (default: every balance on the line, at most ten).", "LIST");
    const QCommandLineOption count = option("count", "Stop after N rows.", "N");
    const QCommandLineOption duration = option("duration", "Stop after TIME: seconds, or 15m, 8h.", "TIME");
    const QCommandLineOption ini = option("ini",
                                          "Take port, period, threshold and balances from the window's settings file "
                                          "(its [MainForm]); [Logger] Output= and LinkTimeout= too. Options given "
                                          "here win.",
                                          "PONDUS.ini");
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The file rows are added to; never truncated (default "
                                                   "pondus-log-DATE-TIME.tsv here)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption format = option("format",
                                             "tsv: the window's \"Excel (*.xls)\" (tab-separated); csv: the "
                                             "window's CSV (ISO times, a point for decimals, a stable flag); xlsx: a "
                                             "workbook written when the run ends, the rows meanwhile in "
                                             "FILE.rows.csv. Default: from the file name, else tsv.",
                                             "tsv|csv|xlsx");
    const QCommandLineOption linkTimeout =
        option("link-timeout", "Give up when the line is off line this long (default 30 s; 0 waits for ever).", "TIME");
    const QCommandLineOption library = option(
        "library", "The scale link library to load (default libtrutina.so beside the program, then the installed one).",
        "PATH");
    const QCommandLineOption journal = option("journal",
                                              "Also keep every row in this measurement journal (SQLite, the window's "
                                              "schema; made when missing). Default: the Path of [Journal] in --ini, "
                                              "else none.",
                                              "FILE");
    const QCommandLineOption noJournal = option("no-journal", "Keep no journal.");
    const QCommandLineOption sample = option("sample",
                                             "The name of the sample on a position, such as 3=\"Глина К-2\" (again "
                                             "for each position; over [Samples] of --ini).",
                                             "POS=NAME");
    const QCommandLineOption untilConstant = option(
        "until-constant",
        "Stop once every balance's sample has reached constant mass: its stable readings changed by at most LIMIT "
        "over WINDOW, LIMIT in % of its first stable reading or in a unit, WINDOW as for --duration, such as "
        "0,1%/60m or 0,005g/30m.",
        "LIMIT/WINDOW");
    const QCommandLineOption verify = option("verify",
                                             "Instead of recording, walk the hash chain of the measurement journal "
                                             "FILE: its runs, and \"intact\" with the chain's head, or the first "
                                             "event that does not match.",
                                             "FILE");
    const QCommandLineOption report = option("report",
                                             "Instead of recording, write the report of a run of the --journal as a "
                                             "PDF to -o FILE.pdf: RUN is its number as --verify lists it, or last.",
                                             "RUN");
    // Publishing and collecting: the flags over what [MQTT] of --ini gave.
    const QCommandLineOption publish = option("mqtt", "Publish every row to the MQTT broker.");
    parser.addOptions({help, version, port, period, onChange, balances, count, duration, ini, output, format,
                       linkTimeout, library, journal, noJournal, sample, untilConstant, verify, report, publish});
    for (const MqttFlag &flag : mqttFlags)
        parser.addOption(option(flag.name, flag.help, flag.value));
    const QCommandLineOption collect = option("collect",
                                              "Instead of recording, collect the readings every PC publishes under "
                                              "PREFIX into the SQLite file of --db, until SIGINT or SIGTERM.",
                                              "PREFIX");
    const QCommandLineOption db = option("db", "The collector's SQLite file.", "FILE");
    parser.addOptions({collect, db});
    parser.addOptions(dashboardFlags());

    ParsedCommandLine result;
    if (!parser.parse(arguments)) {
        result.exitCode = badArguments;
        result.text = parser.errorText().toStdString();
        return result;
    }
    if (parser.isSet(help)) {
        result.text = parser.helpText().toStdString() + trailer;
        return result;
    }
    if (parser.isSet(version)) {
        result.text = "pondus-log " PONDUS_VERSION "\n";
        return result;
    }
    // A text option over what the settings file gave.
    const auto take = [&parser](const QCommandLineOption &option, std::string &into) {
        if (parser.isSet(option))
            into = parser.value(option).toStdString();
    };
    try {
        if (!parser.positionalArguments().isEmpty())
            throw BadChoice(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
        if (parser.isSet(period) && parser.isSet(onChange))
            throw BadChoice("choose --period or --on-change, not both");
        LoggerOptions options;
        options.portNumber = 1;
        options.run.port = "COM1";
        options.run.periodMs = 1000;
        if (parser.isSet(ini))
            readSettingsFile(options, parser.value(ini));
        using Choice = std::pair<const QCommandLineOption *, void (*)(LoggerOptions &, const QString &)>;
        for (const auto &[option, choose] : {Choice{&port, choosePortOf}, Choice{&period, choosePeriodOf},
                                             Choice{&onChange, chooseThresholdOf}, Choice{&balances, chooseBalancesOf}})
            if (parser.isSet(*option))
                choose(options, parser.value(*option));
        if (parser.isSet(count))
            options.count = wholeNumber(QStringLiteral("count"), parser.value(count), 1, INT32_MAX);
        if (parser.isSet(duration))
            options.duration = durationOf(QStringLiteral("duration"), parser.value(duration));
        if (parser.isSet(sample)) {
            SampleSettings samples;
            for (int p = 1; p <= SampleSettings::positions; ++p)
                samples.setName(p, QString::fromStdString(options.run.sampleAt(p)));
            for (const QString &value : parser.values(sample))
                chooseSampleOf(samples, value);
            options.run.samples = samples.runNames();
        }
        if (parser.isSet(untilConstant)) {
            const std::optional<ConstantMassCriterion> criterion = parseConstantMassCriterion(parser.value(untilConstant));
            if (!criterion)
                throw BadChoice(QStringLiteral("--until-constant wants a limit in % or a unit, a slash and a time, "
                                               "such as 0,1%/60m or 0,005g/30m, not \"%1\"")
                                    .arg(parser.value(untilConstant)));
            options.constantMass = *criterion;
            options.untilConstant = true;
        }
        if (parser.isSet(linkTimeout))
            options.linkTimeout = parser.value(linkTimeout) == QLatin1String("0")
                                      ? std::chrono::milliseconds(0)
                                      : durationOf(QStringLiteral("link-timeout"), parser.value(linkTimeout));
        take(output, options.outputPath);
        if (options.outputPath.empty())
            options.outputPath = QDateTime::fromMSecsSinceEpoch(startUtcMs)
                                     .toString(QStringLiteral("'pondus-log-'yyyyMMdd-HHmmss'.tsv'"))
                                     .toStdString();
        // In the order of FileFormat.
        const QStringList formats{QStringLiteral("tsv"), QStringLiteral("csv"), QStringLiteral("xlsx")};
        const QString suffix = QFileInfo(QString::fromStdString(options.outputPath)).suffix().toLower();
        const QString formatText = parser.isSet(format) ? parser.value(format).toLower()
                                   : formats.contains(suffix) ? suffix
                                                              : formats.front();
        if (!formats.contains(formatText))
            throw BadChoice(QStringLiteral("--format wants tsv, csv or xlsx, not \"%1\"").arg(formatText));
        options.format = FileFormat(formats.indexOf(formatText));
        take(library, options.libraryPath);
        take(journal, options.journalPath);
        if (parser.isSet(noJournal))
            options.journalPath.clear();
        take(verify, options.verifyPath);
        if (parser.isSet(report)) {
            options.reportRun = parser.value(report).toStdString();
            if (options.journalPath.empty())
                throw BadChoice("--report reads a journal: give it with --journal");
            if (!parser.isSet(output))
                throw BadChoice("--report writes the PDF file given with -o");
        }
        options.mqtt.enabled = options.mqtt.enabled || parser.isSet(publish);
        for (const MqttFlag &flag : mqttFlags)
            if (flag.field && parser.isSet(QString::fromLatin1(flag.name)))
                options.mqtt.*flag.field = parser.value(QString::fromLatin1(flag.name)).toStdString();
        if (const QString mqttPort = QStringLiteral("mqtt-port"); parser.isSet(mqttPort)) {
            options.mqtt.port = int32_t(wholeNumber(mqttPort, parser.value(mqttPort), 1, 65535));
            std::erase_if(options.mqttWarnings, [](const MqttSectionWarning &warning) { return warning.key == "Port"; });
        }
        take(collect, options.collectPrefix);
        take(db, options.collectDb);
        if (!options.collectPrefix.empty() && options.collectDb.empty())
            throw BadChoice("--collect needs --db FILE");
        if (const std::string problem = applyDashboardFlags(parser, options.dashboard); !problem.empty())
            throw BadChoice(problem);
        if (parser.isSet(QStringLiteral("http")) && options.collectPrefix.empty())
            throw BadChoice("--http serves the collector's dashboard: it needs --collect");
        result.options = std::move(options);
    } catch (const BadChoice &error) {
        result.exitCode = badArguments;
        result.text = error.what();
    }
    return result;
}

} // namespace pondus::logger

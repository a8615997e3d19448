#include "DashboardOptions.h"

#include "settings/IniSettings.h"

namespace pondus::logger {
namespace {

const QString listenFlag = QStringLiteral("http");

struct Flag {
    const char *name;
    std::string DashboardSettings::*field;
    const char *key; // in [Dashboard]
    const char *help;
    const char *value;
};

const Flag textFlags[] = {
    {"http-user", &DashboardSettings::user, "User", "User name the dashboard asks for (with --http-password-file).",
     "NAME"},
    {"http-password-file", &DashboardSettings::passwordFile, "PasswordFile",
     "File whose first line is the dashboard's password.", "FILE"},
    {"http-cert", &DashboardSettings::certFile, "CertFile", "Serve the dashboard over HTTPS with this certificate.",
     "FILE"},
    {"http-key", &DashboardSettings::keyFile, "KeyFile", "The private key of --http-cert.", "FILE"},
};

std::string takeListen(const QString &given, DashboardSettings &settings, const char *where)
{
    const auto listen = parseListenAddress(given.trimmed().toStdString());
    if (!listen)
        return std::string(where) + " wants PORT or ADDRESS:PORT, not \"" + given.toStdString() + "\"";
    settings.address = listen->address;
    settings.port = listen->port;
    return {};
}

} // namespace

QList<QCommandLineOption> dashboardFlags()
{
    QList<QCommandLineOption> flags{{listenFlag,
                                     QStringLiteral("With --collect: serve a read-only web dashboard of the lab "
                                                    "on ADDRESS:PORT (a port alone: 127.0.0.1)."),
                                     QStringLiteral("ADDRESS:PORT")}};
    for (const Flag &flag : textFlags)
        flags.append({QString::fromLatin1(flag.name), QString::fromUtf8(flag.help), QString::fromLatin1(flag.value)});
    return flags;
}

std::string readDashboardSection(const QString &iniPath, DashboardSettings &settings)
{
    IniSettings section(QStringLiteral("Dashboard"));
    if (!section.load(iniPath))
        return {};
    if (const QString listen = section.text("Listen", QString()); !listen.trimmed().isEmpty())
        if (std::string problem = takeListen(listen, settings, "ini [Dashboard] Listen"); !problem.empty())
            return problem;
    for (const Flag &flag : textFlags)
        settings.*flag.field = section.text(flag.key, QString::fromStdString(settings.*flag.field)).trimmed().toStdString();
    return {};
}

std::string applyDashboardFlags(const QCommandLineParser &parser, DashboardSettings &settings)
{
    if (parser.isSet(listenFlag))
        if (std::string problem = takeListen(parser.value(listenFlag), settings, "--http"); !problem.empty())
            return problem;
    for (const Flag &flag : textFlags)
        if (parser.isSet(QString::fromLatin1(flag.name)))
            settings.*flag.field = parser.value(QString::fromLatin1(flag.name)).toStdString();
    return {};
}

} // namespace pondus::logger

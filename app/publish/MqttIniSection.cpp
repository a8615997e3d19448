#include "publish/MqttIniSection.h"

#include "settings/IniSettings.h"

namespace {

std::string textOf(const IniSettings &section, const char *key, const std::string &fallback)
{
    return section.text(key, QString::fromStdString(fallback)).trimmed().toStdString();
}

} // namespace

MqttSettings readMqttSection(const QString &iniPath)
{
    MqttSettings settings;
    IniSettings section(QStringLiteral("MQTT"));
    if (!section.load(iniPath))
        return settings;
    settings.enabled = section.flag("Enabled", settings.enabled);
    settings.host = textOf(section, "Host", settings.host);
    bool isNumber = false;
    const int port = section.text("Port", QString()).trimmed().toInt(&isNumber);
    if (isNumber && port > 0 && port <= 65535)
        settings.port = port;
    settings.clientId = textOf(section, "ClientId", settings.clientId);
    settings.topicPrefix = textOf(section, "TopicPrefix", settings.topicPrefix);
    settings.caFile = textOf(section, "CaFile", settings.caFile);
    settings.user = textOf(section, "User", settings.user);
    settings.passwordFile = textOf(section, "PasswordFile", settings.passwordFile);
    return settings;
}

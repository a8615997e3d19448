#include "settings/MqttIniSection.h"

#include "settings/IniSettings.h"

MqttSettings readMqttSection(const QString &iniPath, std::vector<MqttSectionWarning> *warnings)
{
    MqttSettings settings;
    IniSettings section(QStringLiteral("MQTT"));
    if (!section.load(iniPath))
        return settings;
    auto warn = [&](const char *key, const QString &value, const std::string &used) {
        if (warnings)
            warnings->push_back({key, "[MQTT] " + std::string(key) + "=" + value.toStdString() + " " + used});
    };
    const QString enabled = section.text("Enabled", QString()).trimmed();
    bool enabledIsNumber = false;
    settings.enabled = enabled.toInt(&enabledIsNumber) != 0;
    if (!enabled.isEmpty() && !enabledIsNumber)
        warn("Enabled", enabled, "is neither 0 nor 1: publishing stays off");
    const QString portText = section.text("Port", QString()).trimmed();
    bool portIsNumber = false;
    const int port = portText.toInt(&portIsNumber);
    if (portIsNumber && port > 0 && port <= 65535)
        settings.port = port;
    else if (!portText.isEmpty())
        warn("Port", portText, "is not a port from 1 to 65535: " + std::to_string(settings.port) + " is used");
    static const std::pair<const char *, std::string MqttSettings::*> texts[] = {
        {"Host", &MqttSettings::host}, {"ClientId", &MqttSettings::clientId},
        {"TopicPrefix", &MqttSettings::topicPrefix}, {"CaFile", &MqttSettings::caFile},
        {"User", &MqttSettings::user}, {"PasswordFile", &MqttSettings::passwordFile}};
    for (const auto &[key, field] : texts)
        settings.*field = section.text(key, QString::fromStdString(settings.*field)).trimmed().toStdString();
    return settings;
}

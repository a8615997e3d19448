// The [MQTT] section of PONDUS.ini, read with IniSettings like every other
// section, so that [MainForm] and the rest of the file stay as they are.
#pragma once

#include "publish/MqttSettings.h"

#include <QString>

#include <string>
#include <vector>

// A value of the section that could not be taken: its key, and the words
// that name the section, the key, the value and what is used instead.
struct MqttSectionWarning {
    std::string key;
    std::string text;
};

// The section's values; defaults where the file or a key is missing. A
// value that is there but wrong falls back too, and is told in warnings.
MqttSettings readMqttSection(const QString &iniPath, std::vector<MqttSectionWarning> *warnings = nullptr);

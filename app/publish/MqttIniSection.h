// The [MQTT] section of PONDUS.ini, read with IniSettings like every other
// section, so that [MainForm] and the rest of the file stay as they are.
#pragma once

#include "publish/MqttSettings.h"

#include <QString>

// The section's values; defaults where the file or a key is missing.
MqttSettings readMqttSection(const QString &iniPath);

// pondus-log's command-line flags for publishing and collecting, filling
// the same settings as the [MQTT] section of PONDUS.ini.
#pragma once

#include "publish/MqttSettings.h"

#include <string>

namespace CLI {
class App;
}

// --mqtt turns publishing on; --mqtt-host, --mqtt-port, --mqtt-client-id,
// --mqtt-prefix, --mqtt-ca, --mqtt-user and --mqtt-password-file override
// what `settings` holds (the [MQTT] section, when read first).
void addMqttOptions(CLI::App &app, MqttSettings &settings);

struct CollectorOptions {
    std::string prefix; // set: run as the collector instead of recording
    std::string db;
};

// --collect PREFIX with --db FILE, which it needs.
void addCollectorOptions(CLI::App &app, CollectorOptions &options);

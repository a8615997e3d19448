// Where and how readings are published over MQTT: the [MQTT] section of
// PONDUS.ini and the same as pondus-log's flags, as one plain value.
#pragma once

#include <cstdint>
#include <string>

struct MqttSettings {
    bool enabled = false;           // off unless the operator turns it on
    std::string host = "localhost";
    int32_t port = 1883;
    std::string clientId;           // empty: "pondus-<pc>-<COMn>"
    std::string topicPrefix = "pondus";
    std::string caFile;             // non-empty: TLS, the broker's certificate checked against this CA
    std::string user;               // empty: no user name sent
    std::string passwordFile;       // the password is the file's first line; never printed
};

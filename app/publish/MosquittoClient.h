// A libmosquitto client handle made ready to connect with the settings'
// broker, TLS and user, shared by the publisher and the collector. The
// password is read from its file here and goes nowhere but to the library.
#pragma once

#include "publish/MqttSettings.h"

#include <memory>
#include <string>

struct mosquitto;

struct MosquittoDeleter {
    void operator()(mosquitto *client) const;
};
using MosquittoHandle = std::unique_ptr<mosquitto, MosquittoDeleter>;

// What the publisher and the collector both connect and send with.
inline constexpr int keepAliveSeconds = 10;
inline constexpr int qos = 1;

// A client, or nothing with `error` saying why (a password file that cannot
// be read, a CA file the TLS layer refuses, ...).
MosquittoHandle makeMosquittoClient(const MqttSettings &settings, const std::string &clientId,
                                    bool cleanSession, void *userData, std::string &error);

// "host:port", for messages.
std::string brokerName(const MqttSettings &settings);

// What a refused connection (CONNACK code) means to the operator.
std::string connectRefusal(int code, const MqttSettings &settings);

// What a library result code means, e.g. a lost connection.
std::string libraryProblem(int code);

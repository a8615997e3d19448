// A real mosquitto broker for tests: its own configuration in a temporary
// folder, a free loopback port, started and stopped by the test, never left
// running.
#pragma once

#include "publish/MqttSettings.h"

#include <string>
#include <sys/types.h>

struct BrokerOptions {
    std::string user;     // with a password: anonymous clients refused
    std::string password;
    bool tls = false;     // a throwaway CA and server certificate made with openssl
};

// A TCP port on the loopback that nothing listens on (just now).
int freeLoopbackPort();

class MosquittoBroker {
public:
    explicit MosquittoBroker(BrokerOptions options = {});
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Starts the broker and waits until it takes connections; false on failure.
    bool start();
    // Stops it as an operator would (SIGTERM); its sessions are saved.
    void stop();

    int port() const { return port_; }
    // What a client of this broker is given, publishing under `prefix`.
    MqttSettings clientSettings(const std::string &prefix) const;
    const std::string &folder() const { return folder_; }
    std::string caFile() const { return folder_ + "/ca.crt"; }
    // A file holding `text` as a password, in the broker's folder.
    std::string passwordFile(const std::string &text) const;

private:
    void writeConfiguration();

    BrokerOptions options_;
    std::string folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// Runs a shell command; true when it exits with 0.
bool runCommand(const std::string &command);

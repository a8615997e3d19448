// Where and how the collector serves its read-only web dashboard: the
// [Dashboard] section of the settings file and pondus-log's --http flags, as
// one plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct DashboardSettings {
    std::string address = "127.0.0.1"; // only this machine unless told otherwise
    int32_t port = 0;                   // 0: no dashboard
    std::string user;                   // with passwordFile: HTTP basic auth for every request
    std::string passwordFile;           // the password is the file's first line; never printed
    std::string certFile;               // with keyFile: HTTPS instead of HTTP
    std::string keyFile;

    bool enabled() const { return port > 0; }
    bool needsLogin() const { return !passwordFile.empty(); }
    bool usesTls() const { return !certFile.empty(); }
};

struct ListenAddress {
    std::string address;
    int32_t port = 0;
};

// "ADDR:PORT", "[v6addr]:PORT" or a port alone (then 127.0.0.1); nothing
// for anything else, a port outside 1..65535 included.
std::optional<ListenAddress> parseListenAddress(std::string_view text);

// The first thing wrong with the settings, for the start-up error; empty
// when they can be used.
std::string dashboardSettingsProblem(const DashboardSettings &settings);

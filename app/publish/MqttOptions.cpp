#include "publish/MqttOptions.h"

#include <CLI/CLI.hpp>

void addMqttOptions(CLI::App &app, MqttSettings &settings)
{
    const std::string group = "Publishing over MQTT";
    app.add_flag("--mqtt", settings.enabled, "Publish every recorded row to the MQTT broker")->group(group);
    app.add_option("--mqtt-host", settings.host, "Broker's host name")->group(group);
    app.add_option("--mqtt-port", settings.port, "Broker's port")->check(CLI::Range(1, 65535))->group(group);
    app.add_option("--mqtt-client-id", settings.clientId, "Client id (default pondus-<pc>-<COMn>)")->group(group);
    app.add_option("--mqtt-prefix", settings.topicPrefix, "First level of the topics")->group(group);
    app.add_option("--mqtt-ca", settings.caFile, "CA certificate: connect with TLS and check the broker against it")
        ->check(CLI::ExistingFile)
        ->group(group);
    app.add_option("--mqtt-user", settings.user, "User name at the broker")->group(group);
    app.add_option("--mqtt-password-file", settings.passwordFile,
                   "File whose first line is the user's password (never given on the command line)")
        ->group(group);
}

void addCollectorOptions(CLI::App &app, CollectorOptions &options)
{
    const std::string group = "Collecting from MQTT";
    CLI::Option *db = app.add_option("--db", options.db, "SQLite file the collector writes")->group(group);
    app.add_option("--collect", options.prefix,
                   "Collect the readings every PC publishes under PREFIX into --db, instead of recording")
        ->needs(db)
        ->group(group);
}

// pondus-log's publishing and collecting flags.
#include "publish/MqttOptions.h"

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

TEST(MqttOptions, FlagsOverrideTheSection)
{
    CLI::App app;
    MqttSettings settings;
    settings.host = "from-ini";
    settings.user = "ini-user";
    addMqttOptions(app, settings);
    app.parse(std::vector<std::string>{"8883", "--mqtt-port", "broker.lab", "--mqtt-host", "--mqtt"});
    EXPECT_TRUE(settings.enabled);
    EXPECT_EQ(settings.host, "broker.lab");
    EXPECT_EQ(settings.port, 8883);
    EXPECT_EQ(settings.user, "ini-user") << "what no flag names stays";
    EXPECT_THROW(app.parse(std::vector<std::string>{"70000", "--mqtt-port"}), CLI::ValidationError);
}

TEST(MqttOptions, CollectNeedsADatabase)
{
    CLI::App app;
    CollectorOptions options;
    addCollectorOptions(app, options);
    EXPECT_THROW(app.parse(std::vector<std::string>{"lab", "--collect"}), CLI::RequiresError);
    app.parse(std::vector<std::string>{"/tmp/lab.db", "--db", "lab", "--collect"});
    EXPECT_EQ(options.prefix, "lab");
    EXPECT_EQ(options.db, "/tmp/lab.db");
}

#include "balance_sim/cli.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace pondus::sim {
namespace {

using std::chrono::milliseconds;

TEST(Cli, DefaultsToThreeReadyMadeBalancesAnsweringAtOnce)
{
    const CliOptions options = parseCommandLine({});
    EXPECT_EQ(options.balances.size(), 3u);
    EXPECT_EQ(options.baud, 0);
    EXPECT_EQ(options.faults.replyDelay, milliseconds{0});
    EXPECT_EQ(options.faults.dropRate, 0);
    EXPECT_FALSE(options.faults.neverSync);
    EXPECT_FALSE(options.duration);
    EXPECT_FALSE(options.unplugAfter);
    EXPECT_TRUE(options.linkPath.empty());
}

TEST(Cli, ReadsEveryOption)
{
    const CliOptions options = parseCommandLine(
        {"--link", "/tmp/x", "--balances", "5", "--baud", "19200", "--delay-ms", "20", "--duration", "1.5", "-q",
         "--drop", "0.1", "--corrupt", "0.2", "--wrong-position", "0.3", "--never-sync", "--stray-bytes", "4",
         "--seed", "99", "--unplug-after", "2", "--replug-after", "0.5", "--latency-ms", "16"});
    EXPECT_EQ(options.linkPath, "/tmp/x");
    EXPECT_EQ(options.balances.size(), 5u);
    EXPECT_EQ(options.baud, 19200);
    EXPECT_EQ(options.faults.replyDelay, milliseconds{20});
    EXPECT_EQ(options.duration, milliseconds{1500});
    EXPECT_TRUE(options.quiet);
    EXPECT_DOUBLE_EQ(options.faults.dropRate, 0.1);
    EXPECT_DOUBLE_EQ(options.faults.corruptRate, 0.2);
    EXPECT_DOUBLE_EQ(options.faults.wrongPositionRate, 0.3);
    EXPECT_TRUE(options.faults.neverSync);
    EXPECT_DOUBLE_EQ(options.strayBytesPerSecond, 4);
    EXPECT_EQ(options.latencyTimer, milliseconds{16});
    EXPECT_EQ(options.seed, 99u);
    EXPECT_EQ(options.unplugAfter, milliseconds{2000});
    EXPECT_EQ(options.replugAfter, milliseconds{500});
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
    EXPECT_TRUE(parseCommandLine({"--balances", "0"}).balances.empty());
}

TEST(Cli, RejectsBadCommandLines)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--link"}, {"--balances", "16"}, {"--balances", "two"}, {"--duration", "0"},
             {"--delay-ms", "-5"}, {"--baud", "0"}, {"--drop", "1.5"}, {"--corrupt", "-0.1"},
             {"--stray-bytes", "-1"}, {"--seed", "x"}, {"--replug-after", "1"},
             {"--balances", "2", "--balance", "kind=1"}}) {
        EXPECT_THROW(parseCommandLine(args), CliError) << args[0];
    }
    std::vector<std::string> sixteen;
    for (int i = 0; i < 16; ++i) {
        sixteen.push_back("--balance");
        sixteen.push_back("kind=1");
    }
    EXPECT_THROW(parseCommandLine(sixteen), CliError);
}

TEST(Cli, BalanceSettingsInLineOrder)
{
    const CliOptions options = parseCommandLine({"--balance", "ident=1", "--balance", "kind=2,ident=2,bad-scan=2"});
    ASSERT_EQ(options.balances.size(), 2u);
    EXPECT_EQ(options.balances[0].ident, 1u);
    EXPECT_EQ(options.balances[0].kind, Kind::One);
    EXPECT_EQ(options.balances[0].badScanFrom, 0);
    EXPECT_EQ(options.balances[1].kind, Kind::Two);
    EXPECT_EQ(options.balances[1].badScanFrom, 2);
}

TEST(Cli, FixedWeightInTheBalancesFormat)
{
    const BalanceConfig config =
        parseBalanceSettings("kind=2,model=4,ident=16777215,unit=kg,decimals=3,stable=0,weight=fixed:-1.25");
    EXPECT_EQ(config.kind, Kind::Two);
    EXPECT_EQ(config.modelStatus, 4);
    EXPECT_EQ(config.ident, 16777215u);
    EXPECT_EQ(config.weight.at(milliseconds{5000}), (Reading{-1250, 3, Unit::Kilogram, false}));
    EXPECT_EQ(parseBalanceSettings("unit=5").weight.at(milliseconds{0}).unit, Unit::Kilogram);
    // Without settings: an empty, stable pan weighed in grams to two decimals.
    EXPECT_EQ(parseBalanceSettings("").weight.at(milliseconds{0}), (Reading{0, 2, Unit::Gram, true}));
}

TEST(Cli, WeightShapes)
{
    const auto ramp = parseBalanceSettings("decimals=1,weight=ramp:1:0.5").weight;
    EXPECT_EQ(ramp.at(milliseconds{0}).raw, 10);
    EXPECT_EQ(ramp.at(milliseconds{2000}).raw, 20);

    const auto steps = parseBalanceSettings("decimals=0,weight=steps:5:2:0.1").weight;
    EXPECT_EQ(steps.at(milliseconds{50}).raw, 5);
    EXPECT_EQ(steps.at(milliseconds{350}).raw, 11);

    const auto noise = parseBalanceSettings("decimals=0,weight=noise:100:3:0.1", 7).weight;
    for (int t = 0; t < 5000; t += 100) {
        const auto raw = noise.at(milliseconds{t}).raw;
        EXPECT_GE(raw, 97);
        EXPECT_LE(raw, 103);
    }

    // 12 g drying towards 11 g, a time constant of 10 s; noise of ±0.002 g.
    const auto drying = parseBalanceSettings("decimals=3,weight=approach:12:11:10").weight;
    EXPECT_EQ(drying.at(milliseconds{10000}).raw, 11368);
    const auto noisy = parseBalanceSettings("decimals=3,weight=approach:12:11:10:0.002:0.5", 3).weight;
    EXPECT_LE(std::abs(noisy.at(milliseconds{10000}).raw - 11368), 2);

    const auto loads = parseBalanceSettings("decimals=1,weight=loads:1/2.5:0.1:0").weight;
    EXPECT_EQ(loads.at(milliseconds{0}).raw, 10);
    EXPECT_EQ(loads.at(milliseconds{150}).raw, 25);
    EXPECT_EQ(loads.at(milliseconds{250}).raw, 10);
}

TEST(Cli, BalanceSettingErrors)
{
    for (const char* settings :
         {"kind=3", "model=300", "ident=16777216", "unit=lb", "unit=8", "decimals=7", "stable=yes", "unstable",
          "colour=red", "weight=fixed", "weight=fixed:abc", "weight=fixed:inf", "weight=fixed:1:2", "weight=wave:1",
          "weight=steps:1:1:0", "weight=loads:1/x:1:0", "weight=loads:1:1:2", "weight=noise:1:1",
          "weight=approach:1:2", "weight=approach:1:2:0", "weight=approach:1:2:3:1:0", "weight=approach:1:2:3:4:5:6",
          "bad-scan=-1", "bad-scan=x"}) {
        EXPECT_THROW(parseBalanceSettings(settings), CliError) << settings;
    }
}

TEST(Cli, ReadyMadeBalancesDiffer)
{
    const BalanceConfig first = demoBalance(1);
    const BalanceConfig second = demoBalance(2);
    EXPECT_EQ(first.kind, Kind::One);
    EXPECT_EQ(second.kind, Kind::Two);
    EXPECT_NE(first.ident, second.ident);
    EXPECT_LT(demoBalance(15).ident, 1u << 24);
    // Each starts empty, then a load settles and holds.
    EXPECT_EQ(first.weight.at(milliseconds{0}).raw, 0);
    EXPECT_FALSE(first.weight.at(milliseconds{3100}).stable);
    EXPECT_TRUE(first.weight.at(milliseconds{3950}).stable);
    EXPECT_GT(first.weight.at(milliseconds{3950}).raw, 0);
}

}  // namespace
}  // namespace pondus::sim

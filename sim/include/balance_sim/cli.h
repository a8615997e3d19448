// Command line of the balance-sim program.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "balance_sim/balance.h"
#include "balance_sim/line.h"

namespace pondus::sim {

struct CliOptions {
    std::vector<BalanceConfig> balances;
    std::string linkPath;
    int baud = 0;  // 0: answer at once
    LineFaults faults;
    double strayBytesPerSecond = 0;
    std::chrono::milliseconds latencyTimer{0};  // 0: no adapter holds answers back
    std::uint64_t seed = 1;
    std::optional<std::chrono::milliseconds> unplugAfter;  // since the start
    std::optional<std::chrono::milliseconds> replugAfter;  // since the unplug
    std::optional<std::chrono::milliseconds> duration;     // none: until a signal
    bool quiet = false;
    bool help = false;
};

struct CliError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws CliError with a message fit for the user.
CliOptions parseCommandLine(const std::vector<std::string>& args);

// One balance from "key=value,key=value,...": kind=1|2|other, model=N,
// ident=N, unit=g|ct|%|pc|mg|kg|o|ot (or its code 0..7), decimals=0..6,
// stable=0|1 and weight=SHAPE:... (see usage()). `seed` drives noise.
BalanceConfig parseBalanceSettings(std::string_view settings, std::uint64_t seed = 1);

// Balance number `number` (1..15) of the ready-made line: kinds and models
// alternate, and each cycles through loads of its own at a pace of its own.
BalanceConfig demoBalance(int number);

std::string usage();

}  // namespace pondus::sim

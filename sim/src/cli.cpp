#include "balance_sim/cli.h"

#include <charconv>
#include <cmath>
#include <type_traits>

#include "balance_sim/random.h"

namespace pondus::sim {

namespace {

template <typename T>
T parseNumber(std::string_view text, std::string_view what)
{
    T value{};
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) {
        throw CliError("bad " + std::string(what) + ": '" + std::string(text) + "'");
    }
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            throw CliError("bad " + std::string(what) + ": '" + std::string(text) + "'");
        }
    }
    return value;
}

std::chrono::milliseconds parseSeconds(std::string_view text, std::string_view what)
{
    const double seconds = parseNumber<double>(text, what);
    if (seconds <= 0) {
        throw CliError(std::string(what) + " must be a positive number of seconds");
    }
    return std::chrono::milliseconds{std::llround(seconds * 1000)};
}

double parseRate(std::string_view text, std::string_view what)
{
    const double rate = parseNumber<double>(text, what);
    if (rate < 0 || rate > 1) {
        throw CliError(std::string(what) + " must be a probability from 0 to 1");
    }
    return rate;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// weight=SHAPE:ARG:ARG..., values in the balance's unit, times in seconds.
WeightProfile parseWeight(std::string_view text, const Reading& format, std::uint64_t seed)
{
    const auto parts = split(text, ':');
    const auto shape = parts[0];
    auto arg = [&](std::size_t i, std::string_view what) {
        if (i >= parts.size()) {
            throw CliError("weight=" + std::string(shape) + " lacks its " + std::string(what));
        }
        return parts[i];
    };
    auto expect = [&](std::size_t count) {
        if (parts.size() != count + 1) {
            throw CliError("weight=" + std::string(shape) + " takes " + std::to_string(count) + " values");
        }
    };
    auto value = [&](std::size_t i, std::string_view what) { return parseNumber<double>(arg(i, what), what); };
    auto start = [&](std::size_t i) {
        return Reading::fromValue(value(i, "start"), format.decimals, format.unit, format.stable);
    };
    const double scale = std::pow(10.0, format.decimals);
    auto divisions = [&](std::size_t i, std::string_view what) {
        return static_cast<std::int32_t>(std::llround(value(i, what) * scale));
    };
    try {
        if (shape == "fixed") {
            expect(1);
            return WeightProfile::constant(start(1));
        }
        if (shape == "ramp") {
            expect(2);
            return WeightProfile::ramp(start(1), value(2, "change per second") * scale);
        }
        if (shape == "steps") {
            expect(3);
            return WeightProfile::steps(start(1), divisions(2, "step"), parseSeconds(arg(3, "period"), "period"));
        }
        if (shape == "noise") {
            expect(3);
            return WeightProfile::noise(start(1), divisions(2, "amplitude"), parseSeconds(arg(3, "period"), "period"),
                                        seed);
        }
        if (shape == "approach") {
            if (parts.size() < 4 || parts.size() > 6) {
                throw CliError("weight=approach takes 3 to 5 values");
            }
            const auto timeConstant = parseSeconds(arg(3, "time constant"), "time constant");
            const std::int32_t noise = parts.size() > 4 ? divisions(4, "noise") : 0;
            const auto noisePeriod =
                parts.size() > 5 ? parseSeconds(arg(5, "noise period"), "noise period") : std::chrono::milliseconds{1000};
            return WeightProfile::approach(start(1), divisions(2, "end"), timeConstant, noise, noisePeriod, seed);
        }
        if (shape == "loads") {
            expect(3);
            WeightProfile::Loads loads;
            for (const auto load : split(arg(1, "loads"), '/')) {
                loads.values.push_back(parseNumber<double>(load, "load"));
            }
            loads.decimals = format.decimals;
            loads.unit = format.unit;
            loads.hold = parseSeconds(arg(2, "hold time"), "hold time");
            const double settle = value(3, "settling time");
            loads.settle = std::chrono::milliseconds{std::llround(settle * 1000)};
            return WeightProfile::loads(std::move(loads));
        }
    } catch (const std::invalid_argument& error) {
        throw CliError(error.what());
    }
    throw CliError("unknown weight shape '" + std::string(shape) + "'");
}

}  // namespace

BalanceConfig parseBalanceSettings(std::string_view settings, std::uint64_t seed)
{
    BalanceConfig config;
    Reading format{0, 2, Unit::Gram, true};
    std::string_view weight = "fixed:0";

    for (const auto item : split(settings, ',')) {
        if (item.empty()) {
            continue;
        }
        const auto equals = item.find('=');
        if (equals == std::string_view::npos) {
            throw CliError("balance setting '" + std::string(item) + "' needs key=value");
        }
        const auto key = item.substr(0, equals);
        const auto text = item.substr(equals + 1);
        if (key == "kind") {
            if (text == "1") {
                config.kind = Kind::One;
            } else if (text == "2") {
                config.kind = Kind::Two;
            } else if (text == "other") {
                config.kind = Kind::Unknown;
            } else {
                throw CliError("kind must be 1, 2 or other, not '" + std::string(text) + "'");
            }
        } else if (key == "model") {
            config.modelStatus = parseNumber<std::uint8_t>(text, "model");
        } else if (key == "ident" || key == "id") {
            const auto ident = parseNumber<std::uint32_t>(text, "ident");
            if (ident > 0xFFFFFFu) {
                throw CliError("ident must fit in 24 bits (at most 16777215)");
            }
            config.ident = ident;
        } else if (key == "unit") {
            if (const auto symbol = unitFromSymbol(text)) {
                format.unit = *symbol;
            } else {
                const auto code = parseNumber<int>(text, "unit");
                if (code < 0 || code > 7) {
                    throw CliError("unknown unit '" + std::string(text) + "'");
                }
                format.unit = static_cast<Unit>(code);
            }
        } else if (key == "decimals") {
            format.decimals = parseNumber<int>(text, "decimals");
            if (format.decimals < 0 || format.decimals > kMaxDecimals) {
                throw CliError("decimals must be from 0 to 6");
            }
        } else if (key == "stable") {
            if (text != "0" && text != "1") {
                throw CliError("stable must be 0 or 1");
            }
            format.stable = text == "1";
        } else if (key == "weight") {
            weight = text;
        } else if (key == "bad-scan") {
            config.badScanFrom = parseNumber<int>(text, "bad-scan");
            if (config.badScanFrom < 0) {
                throw CliError("bad-scan takes the first scan to fail, 1 or more (0: none)");
            }
        } else {
            throw CliError("unknown balance setting '" + std::string(item) + "'");
        }
    }
    config.weight = parseWeight(weight, format, seed);
    return config;
}

BalanceConfig demoBalance(int number)
{
    BalanceConfig config;
    if (number % 2 == 1) {
        config.kind = Kind::One;
        config.modelStatus = static_cast<std::uint8_t>((number / 2) % 6);  // 300..305
    } else {
        config.kind = Kind::Two;
        config.modelStatus = static_cast<std::uint8_t>((number / 2 - 1) % 5);  // 400..404
    }
    config.ident = static_cast<std::uint32_t>(1000 * number + 17 * number * number);
    const double base = 10.0 * number;
    WeightProfile::Loads loads;
    loads.values = {0.0, base + 2.35, 2 * base + 0.71, base + 12.08, 3 * base + 5.5};
    loads.decimals = 2;
    loads.unit = Unit::Gram;
    loads.hold = std::chrono::milliseconds{3000 + 700 * (number - 1)};
    loads.settle = std::chrono::milliseconds{900};
    config.weight = WeightProfile::loads(std::move(loads));
    return config;
}

CliOptions parseCommandLine(const std::vector<std::string>& args)
{
    CliOptions options;
    std::optional<int> demoCount;
    std::vector<std::string> balanceSettings;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto next = [&]() -> const std::string& {
            if (i + 1 >= args.size()) {
                throw CliError(arg + " needs a value");
            }
            return args[++i];
        };
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--link") {
            options.linkPath = next();
        } else if (arg == "--balances") {
            demoCount = parseNumber<int>(next(), "number of balances");
            if (*demoCount < 0 || *demoCount > kMaxPosition) {
                throw CliError("--balances takes 0 to 15");
            }
        } else if (arg == "--balance") {
            balanceSettings.push_back(next());
        } else if (arg == "--baud") {
            options.baud = parseNumber<int>(next(), "baud rate");
            if (options.baud <= 0) {
                throw CliError("--baud takes a positive rate");
            }
        } else if (arg == "--delay-ms") {
            options.faults.replyDelay = std::chrono::milliseconds{parseNumber<int>(next(), "delay")};
            if (options.faults.replyDelay.count() < 0) {
                throw CliError("--delay-ms takes a delay of 0 or more");
            }
        } else if (arg == "--drop") {
            options.faults.dropRate = parseRate(next(), "--drop");
        } else if (arg == "--corrupt") {
            options.faults.corruptRate = parseRate(next(), "--corrupt");
        } else if (arg == "--wrong-position") {
            options.faults.wrongPositionRate = parseRate(next(), "--wrong-position");
        } else if (arg == "--never-sync") {
            options.faults.neverSync = true;
        } else if (arg == "--latency-ms") {
            options.latencyTimer = std::chrono::milliseconds{parseNumber<int>(next(), "latency")};
            if (options.latencyTimer.count() < 0) {
                throw CliError("--latency-ms takes a time of 0 or more");
            }
        } else if (arg == "--stray-bytes") {
            options.strayBytesPerSecond = parseNumber<double>(next(), "--stray-bytes");
            if (options.strayBytesPerSecond < 0) {
                throw CliError("--stray-bytes takes a rate of 0 or more");
            }
        } else if (arg == "--seed") {
            options.seed = parseNumber<std::uint64_t>(next(), "seed");
        } else if (arg == "--unplug-after") {
            options.unplugAfter = parseSeconds(next(), "--unplug-after");
        } else if (arg == "--replug-after") {
            options.replugAfter = parseSeconds(next(), "--replug-after");
        } else if (arg == "--duration") {
            options.duration = parseSeconds(next(), "--duration");
        } else {
            throw CliError("unknown option '" + arg + "'");
        }
    }
    if (demoCount && !balanceSettings.empty()) {
        throw CliError("use either --balances or --balance");
    }
    if (balanceSettings.size() > static_cast<std::size_t>(kMaxPosition)) {
        throw CliError("at most 15 balances can be counted on a line");
    }
    if (options.replugAfter && !options.unplugAfter) {
        throw CliError("--replug-after needs --unplug-after");
    }
    for (std::size_t i = 0; i < balanceSettings.size(); ++i) {
        options.balances.push_back(parseBalanceSettings(balanceSettings[i], mix64(options.seed + i)));
    }
    if (balanceSettings.empty()) {
        for (int number = 1; number <= demoCount.value_or(3); ++number) {
            options.balances.push_back(demoBalance(number));
        }
    }
    return options;
}

std::string usage()
{
    return R"(Usage: balance-sim [options]

Plays a line of chained laboratory balances behind a pseudo-terminal. Prints the
terminal's path as the first line once the line is ready; open that path (or the
--link) as the serial port. The computer counts the balances with a run of 0x00
bytes and a 0x01 byte, which each balance raises by one, then sends eight-byte
frames "Simple" + command + position; the addressed balance answers during the
next frame.

Line:
  --balances N           N ready-made balances (0..15; default 3): kinds and
                         models alternate, loads change every few seconds and
                         read unstable while they settle
  --balance SETTINGS     one balance of your own; repeat for more, in line
                         order. SETTINGS are key=value pairs joined by commas:
                           kind=1|2|other      kind 1 ('S'), kind 2 ('H') or a
                                               device of no known kind
                           model=N             status byte of the model answer:
                                               kind 1 reads its low 4 bits,
                                               kind 2 its low 3 bits
                           ident=N             identification number (24 bit)
                           unit=g|ct|%|pc|mg|kg|o|ot  or its code 0..7
                           decimals=0..6       the weight is raw / 10^decimals
                           stable=0|1          stable flag of the readings
                           weight=SHAPE        in the unit, times in seconds:
                             fixed:VALUE
                             ramp:START:CHANGE_PER_SECOND
                             steps:START:STEP:PERIOD
                             noise:CENTRE:AMPLITUDE:PERIOD
                             approach:START:END:TIME_CONSTANT[:NOISE[:PERIOD]]
                                 drying or uptake: from START towards END,
                                 63 % of the way after TIME_CONSTANT, with
                                 noise of -NOISE..NOISE new every PERIOD
                                 (default 1 s)
                             loads:V1/V2/...:HOLD:SETTLE  loads in turn, each
                                 unstable for SETTLE after it is put on
                           bad-scan=N          from its N-th scan on (1: every
                                               scan) its identify and model
                                               answers fail their sum check;
                                               weights still answer
                         e.g. --balance kind=2,model=3,ident=1234,unit=kg,decimals=3,weight=ramp:0.5:0.01
  --link PATH            keep a symbolic link at PATH to the terminal

Timing:
  --baud N               answer each byte after the time a line at N baud
                         takes through all balances: (N_balances + 1) x 10
                         bits; without it answers go out at once
  --delay-ms N           wait N ms more before each answer
  --latency-ms N         a USB adapter's latency timer: answers are held
                         back and handed on N ms after the first of them
                         came due (16 is the usual default, 1 low latency)

Faults (RATE is a probability from 0 to 1):
  --drop RATE            a byte's answer is lost
  --corrupt RATE         an answer frame fails its sum check
  --wrong-position RATE  an answer frame names the wrong position
  --stray-bytes N        N unasked bytes per second on average
  --never-sync           zero bytes never come back 16 in a row
  --seed N               seed for the faults and noise (default 1)
  --unplug-after SEC     unplug SEC seconds after the start
  --replug-after SEC     plug in again SEC seconds after that

Other:
  --duration SEC         stop after SEC seconds
  -q, --quiet            print only the path and the plug messages
  -h, --help             show this text

Signals: SIGUSR1 unplugs (the terminal closes, so the program using it sees a
hang-up, and the link goes away) and prints "unplugged"; SIGUSR2 plugs in a new
terminal, points the link at it and prints "replugged PATH". SIGURG puts one
stray byte (0x5A) in the middle of the next frame, right after the answer to
its third byte, and prints "stray byte armed". SIGINT and SIGTERM stop the
simulator and remove the link. A summary of the traffic goes to
standard error at the end.
)";
}

}  // namespace pondus::sim

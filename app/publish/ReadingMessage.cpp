#include "publish/ReadingMessage.h"

#include "recording/CodeNames.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

using nlohmann::json;

std::string isoTime(int64_t utcMs, int32_t utcOffsetSeconds)
{
    using namespace std::chrono;
    const sys_time<milliseconds> local{milliseconds(utcMs + int64_t(utcOffsetSeconds) * 1000)};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> time{local - day};
    const int32_t magnitude = utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld.%03ld%c%02d:%02d", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), long(time.hours().count()),
                  long(time.minutes().count()), long(time.seconds().count()), long(time.subseconds().count()),
                  utcOffsetSeconds < 0 ? '-' : '+', magnitude / 3600, magnitude % 3600 / 60);
    return text;
}

namespace {

// The offset of an ISO 8601 time's zone suffix ("Z", "+03:00", "-05:30").
std::optional<int32_t> zoneOffset(const std::string &time)
{
    if (!time.empty() && time.back() == 'Z')
        return 0;
    int hours = 0;
    int minutes = 0;
    char sign = 0;
    if (time.size() < 6 || std::sscanf(time.c_str() + time.size() - 6, "%c%2d:%2d", &sign, &hours, &minutes) != 3
        || (sign != '+' && sign != '-'))
        return std::nullopt;
    const int32_t seconds = hours * 3600 + minutes * 60;
    return sign == '-' ? -seconds : seconds;
}

json balanceJson(const BalanceReading &reading)
{
    return json{
        {"balance", reading.balance},
        {"value", double(reading.rawValue) / double(reading.divisor == 0 ? 1 : reading.divisor)},
        {"raw", reading.rawValue},
        {"divisor", reading.divisor},
        {"unit", reading.shownUnit >= 0 ? json(unitName(reading.shownUnit)) : json(nullptr)},
        {"unitCode", reading.unitCode},
        {"stable", reading.stable},
        {"model", modelName(reading.modelCode)},
        {"modelCode", reading.modelCode},
        {"ident", reading.ident},
    };
}

BalanceReading balanceFromJson(const json &item)
{
    BalanceReading reading;
    reading.balance = item.at("balance").get<int32_t>();
    reading.rawValue = item.at("raw").get<int32_t>();
    reading.divisor = item.at("divisor").get<int32_t>();
    reading.unitCode = item.at("unitCode").get<int32_t>();
    if (!item.at("unit").is_null()) {
        // The shown unit may be one carried over from an earlier reading, so
        // it is read from its text, not from unitCode.
        const std::string text = item.at("unit").get<std::string>();
        for (int8_t index = 0; index < 8; ++index) {
            if (text == unitName(index))
                reading.shownUnit = index;
        }
    }
    reading.stable = item.at("stable").get<bool>();
    reading.modelCode = item.at("modelCode").get<int32_t>();
    reading.ident = item.at("ident").get<int32_t>();
    return reading;
}

template <typename Number>
json numberOrNull(const std::optional<Number> &value)
{
    return value ? json(*value) : json(nullptr);
}

} // namespace

std::string PortTopics::status() const
{
    return prefix + '/' + pc + '/' + port + "/status";
}

std::string PortTopics::reading() const
{
    return prefix + '/' + pc + '/' + port + "/reading";
}

std::optional<PortTopics> topicUnder(const std::string &prefix, std::string_view topic, std::string_view leaf)
{
    if (!topic.starts_with(prefix) || topic.size() <= prefix.size() || topic[prefix.size()] != '/')
        return std::nullopt;
    topic.remove_prefix(prefix.size() + 1);
    const size_t pcEnd = topic.find('/');
    if (pcEnd == std::string_view::npos)
        return std::nullopt;
    const size_t portEnd = topic.find('/', pcEnd + 1);
    if (portEnd == std::string_view::npos || topic.substr(portEnd + 1) != leaf)
        return std::nullopt;
    return PortTopics{prefix, std::string(topic.substr(0, pcEnd)),
                      std::string(topic.substr(pcEnd + 1, portEnd - pcEnd - 1))};
}

std::string localPcName()
{
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0')
        return "pc";
    std::string pc = name.data();
    // Topic levels must not hold the wildcard or separator characters.
    pc = pc.substr(0, pc.find('.'));
    std::replace_if(pc.begin(), pc.end(), [](char c) { return c == '/' || c == '+' || c == '#'; }, '_');
    return pc;
}

std::string topicPortOf(int32_t comPort)
{
    return "COM" + std::to_string(comPort);
}

std::string runIdAt(int64_t utcMs)
{
    // The time in UTC, its zone written "Z" rather than "+00:00".
    const std::string time = isoTime(utcMs, 0);
    return time.substr(0, time.size() - 6) + 'Z';
}

std::string readingPayload(const std::string &run, const SequencedRow &sequenced, const std::vector<std::string> &samples)
{
    const RecordedRow &row = sequenced.row;
    json balances = json::array();
    for (const BalanceReading &reading : row.readings) {
        json balance = balanceJson(reading);
        if (reading.balance >= 1 && size_t(reading.balance) <= samples.size() &&
            !samples[size_t(reading.balance - 1)].empty())
            balance["sample"] = samples[size_t(reading.balance - 1)];
        balances.push_back(std::move(balance));
    }
    const json message{
        {"run", run},
        {"seq", sequenced.seq},
        {"number", row.number},
        {"time", isoTime(row.utcMs, row.utcOffsetSeconds)},
        {"utcMs", row.utcMs},
        {"balances", std::move(balances)},
    };
    return message.dump();
}

std::optional<ParsedReading> parseReadingPayload(std::string_view payload)
{
    const json message = json::parse(payload, nullptr, false);
    if (message.is_discarded() || !message.is_object())
        return std::nullopt;
    try {
        ParsedReading parsed;
        parsed.run = message.at("run").get<std::string>();
        parsed.row.seq = message.at("seq").get<int64_t>();
        RecordedRow &row = parsed.row.row;
        row.number = message.at("number").get<int32_t>();
        row.utcMs = message.at("utcMs").get<int64_t>();
        const auto offset = zoneOffset(message.at("time").get<std::string>());
        if (!offset)
            return std::nullopt;
        row.utcOffsetSeconds = *offset;
        for (const json &item : message.at("balances"))
            row.readings.push_back(balanceFromJson(item));
        return parsed;
    } catch (const json::exception &) {
        return std::nullopt;
    }
}

std::string statusPayload(bool online, const std::string &link, const std::vector<SampleStatus> &samples)
{
    json status{{"status", online ? "online" : "offline"}};
    if (!link.empty())
        status["link"] = link;
    for (const SampleStatus &sample : samples) {
        json item{
            {"balance", sample.balance},
            {"change", numberOrNull(sample.values.change)},
            {"changePercent", numberOrNull(sample.values.changePercent)},
            {"driftPerHour", numberOrNull(sample.values.driftPerHour)},
            {"driftPercentPerHour", numberOrNull(sample.values.driftPercentPerHour)},
            {"constant", sample.constantSinceUtcMs.has_value()},
            {"constantSinceUtcMs", numberOrNull(sample.constantSinceUtcMs)},
        };
        if (!sample.sample.empty())
            item["sample"] = sample.sample;
        status["samples"].push_back(std::move(item));
    }
    return status.dump();
}

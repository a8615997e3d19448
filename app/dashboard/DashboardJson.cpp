#include "dashboard/DashboardJson.h"

#include "recording/CodeNames.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using nlohmann::json;

std::string weightText(int32_t rawValue, int32_t divisor)
{
    int places = 0;
    int64_t scale = 1;
    while (scale < divisor && places < 9) {
        scale *= 10;
        ++places;
    }
    if (divisor <= 0 || scale != divisor) { // not a power of ten: the quotient as a number
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", double(rawValue) / (divisor == 0 ? 1 : divisor));
        std::string result = text;
        std::replace(result.begin(), result.end(), '.', ',');
        return result;
    }
    const int64_t magnitude = std::llabs(int64_t(rawValue));
    std::string result = (rawValue < 0 ? "-" : "") + std::to_string(magnitude / scale);
    if (places > 0) {
        std::string fraction = std::to_string(magnitude % scale);
        result += ',' + std::string(size_t(places) - fraction.size(), '0') + fraction;
    }
    return result;
}

std::string localTimeText(int64_t utcMs, int32_t utcOffsetSeconds)
{
    // The published time ("2026-12-09T04:45:51.123+03:00") in the table's order.
    const std::string iso = isoTime(utcMs, utcOffsetSeconds);
    return iso.substr(8, 2) + '.' + iso.substr(5, 2) + '.' + iso.substr(0, 4) + ' ' + iso.substr(11, 12);
}

json cellJson(const BalanceReading &reading)
{
    return {
        {"text", weightText(reading.rawValue, reading.divisor)},
        {"unit", reading.shownUnit >= 0 ? json(unitName(reading.shownUnit)) : json(nullptr)},
        {"stable", reading.stable},
    };
}

json balanceJson(const BalanceReading &reading)
{
    json balance = cellJson(reading);
    balance["balance"] = reading.balance;
    balance["value"] = double(reading.rawValue) / double(reading.divisor == 0 ? 1 : reading.divisor);
    balance["model"] = modelName(reading.modelCode);
    balance["ident"] = reading.ident;
    return balance;
}

json portRowJson(const PortTopics &where, const std::string &run, const SequencedRow &row, int64_t receivedUtcMs)
{
    json balances = json::array();
    for (const BalanceReading &reading : row.row.readings)
        balances.push_back(balanceJson(reading));
    return {
        {"pc", where.pc},
        {"port", where.port},
        {"run", run},
        {"seq", row.seq},
        {"number", row.row.number},
        {"utcMs", row.row.utcMs},
        {"offsetS", row.row.utcOffsetSeconds},
        {"time", localTimeText(row.row.utcMs, row.row.utcOffsetSeconds)},
        {"receivedMs", receivedUtcMs},
        {"balances", std::move(balances)},
    };
}

json portStatusJson(const PortTopics &where, const std::string &payload, int64_t receivedUtcMs)
{
    json status = {{"pc", where.pc}, {"port", where.port}, {"receivedMs", receivedUtcMs}};
    const json given = json::parse(payload, nullptr, false);
    for (const char *key : {"status", "link"})
        if (given.is_object() && given.contains(key) && given[key].is_string())
            status[key] = given[key];
    return status;
}

std::string jsonText(const json &data)
{
    return data.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string eventMessage(const char *name, const json &data)
{
    // One data line: the JSON text holds no raw line breaks.
    return std::string("event: ") + name + "\ndata: " + jsonText(data) + "\n\n";
}

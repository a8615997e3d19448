#include "dashboard/DashboardJson.h"

#include "recording/CodeNames.h"

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
        for (char &c : result)
            if (c == '.')
                c = ',';
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
    const int64_t localMs = utcMs + int64_t(utcOffsetSeconds) * 1000;
    const int64_t days = (localMs >= 0 ? localMs : localMs - 86'399'999) / 86'400'000;
    const int64_t msOfDay = localMs - days * 86'400'000;
    // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%02d.%02d.%04lld %02d:%02d:%02d.%03d", int(day), int(month), (long long)year,
                  int(msOfDay / 3'600'000), int(msOfDay / 60'000 % 60), int(msOfDay / 1000 % 60), int(msOfDay % 1000));
    return text;
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

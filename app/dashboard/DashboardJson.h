// The JSON shapes the dashboard's pages read: a balance's reading, a port's
// latest row and status, and the live messages made of them. Every text that
// came over MQTT stays a JSON string here; the pages put it in as text.
#pragma once

#include "publish/ReadingMessage.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

// rawValue / divisor with exactly the balance's digits and a decimal comma,
// as the window's table shows it ("12,345").
std::string weightText(int32_t rawValue, int32_t divisor);

// "09.12.2026 04:45:51.123": the row's local time as it was recorded.
std::string localTimeText(int64_t utcMs, int32_t utcOffsetSeconds);

// A reading as a table's cell shows it: its text, unit and stable flag.
nlohmann::json cellJson(const BalanceReading &reading);
// A reading with what the tiles and the chart need besides: its balance,
// value as a number, model and number.
nlohmann::json balanceJson(const BalanceReading &reading);

// A stored row of a port: where, which run, its place and times, and the
// readings of its balances.
nlohmann::json portRowJson(const PortTopics &where, const std::string &run, const SequencedRow &row,
                           int64_t receivedUtcMs);

// The status a port keeps at the broker: {"status":..., "link":...} taken
// from the payload (other keys and anything that is not JSON dropped) and
// the time the collector received it.
nlohmann::json portStatusJson(const PortTopics &where, const std::string &payload, int64_t receivedUtcMs);

// A Server-Sent Events message of that name; bytes that are not UTF-8 are
// replaced rather than passed on.
std::string eventMessage(const char *name, const nlohmann::json &data);
// The same JSON as a response body.
std::string jsonText(const nlohmann::json &data);

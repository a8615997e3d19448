// The topics and JSON payloads of published readings, written by the
// publisher and read back by the collector, so both agree by construction.
#pragma once

#include "recording/MassChange.h"
#include "recording/RecordedRow.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a PC's port publishes: <prefix>/<pc>/<port>/status and .../reading.
struct PortTopics {
    std::string prefix;
    std::string pc;
    std::string port;
    std::string status() const;
    std::string reading() const;
};

// The computer's name for topics: the host name up to its first dot.
std::string localPcName();

// A run on the port search ("AUTO") publishes under the port the search
// finds, known once the line is on line; 0 for none yet.
inline const std::string searchedPort = "AUTO";
std::string topicPortOf(int32_t comPort);

// The PC and port of a topic under prefix that ends in `leaf`; nothing for
// other topics.
std::optional<PortTopics> topicUnder(const std::string &prefix, std::string_view topic, std::string_view leaf);

// A run's identifier: its start as UTC time, unique per PC.
std::string runIdAt(int64_t utcMs);

// ISO 8601 local time with milliseconds and the UTC offset,
// e.g. "2026-12-09T04:45:51.123+03:00".
std::string isoTime(int64_t utcMs, int32_t utcOffsetSeconds);

// `samples`: the run's sample names by position (index p - 1), given as
// "sample" of each balance that has one.
std::string readingPayload(const std::string &run, const SequencedRow &row,
                           const std::vector<std::string> &samples = {});
// The row and run of a payload; nothing when it is not one.
struct ParsedReading {
    std::string run;
    SequencedRow row;
};
std::optional<ParsedReading> parseReadingPayload(std::string_view payload);

// A balance's sample as the status tells it after each row.
struct SampleStatus {
    int32_t balance = 0;
    std::string sample; // empty for none
    MassTrendValues values;
    std::optional<int64_t> constantSinceUtcMs;
};

// Retained status: {"status":"online","link":"OnLine"}; the last will is
// {"status":"offline"}. During a run "samples" adds each balance's change,
// drift and constant mass.
std::string statusPayload(bool online, const std::string &link, const std::vector<SampleStatus> &samples = {});

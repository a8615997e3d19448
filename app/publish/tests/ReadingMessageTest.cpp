// Topics and payloads: the documented JSON, exact values and times, and the
// collector's reading of what the publisher writes.
#include "publish/ReadingMessage.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

SequencedRow sampleRow()
{
    SequencedRow row;
    row.seq = 42;
    row.row.number = 7;
    row.row.utcMs = 1796780751123; // 2026-12-09T01:45:51.123Z
    row.row.utcOffsetSeconds = 3 * 3600;
    row.row.readings = {{1, 12345, 1000, 200, 0, true, 300, 5001}, {3, -7, 10, 204, -1, false, 999, 0}};
    return row;
}

} // namespace

TEST(ReadingMessage, PayloadIsTheDocumentedJson)
{
    const auto message = nlohmann::json::parse(readingPayload("2026-12-09T01:40:00.000Z", sampleRow()));
    EXPECT_EQ(message["run"], "2026-12-09T01:40:00.000Z");
    EXPECT_EQ(message["seq"], 42);
    EXPECT_EQ(message["number"], 7);
    EXPECT_EQ(message["time"], "2026-12-09T04:45:51.123+03:00");
    ASSERT_EQ(message["balances"].size(), 2u);
    const auto &first = message["balances"][0];
    EXPECT_EQ(first["balance"], 1);
    EXPECT_EQ(first.dump().find("\"value\":12.345"), first.dump().find("\"value\"")); // exact digits
    EXPECT_EQ(first["unit"], "g");
    EXPECT_EQ(first["stable"], true);
    EXPECT_EQ(first["model"], "АВ-60");
    EXPECT_EQ(first["ident"], 5001);
    const auto &second = message["balances"][1];
    EXPECT_DOUBLE_EQ(second["value"].get<double>(), -0.7);
    EXPECT_TRUE(second["unit"].is_null()) << "an unstable reading shows no unit";
    EXPECT_EQ(second["model"], "Неизвестна");
}

TEST(ReadingMessage, ParsesWhatItWrites)
{
    const SequencedRow row = sampleRow();
    const auto parsed = parseReadingPayload(readingPayload("r1", row));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->run, "r1");
    EXPECT_EQ(parsed->row.seq, 42);
    EXPECT_EQ(parsed->row.row.utcMs, row.row.utcMs);
    EXPECT_EQ(parsed->row.row.utcOffsetSeconds, 3 * 3600);
    ASSERT_EQ(parsed->row.row.readings.size(), 2u);
    const BalanceReading &b = parsed->row.row.readings[1];
    EXPECT_EQ(b.balance, 3);
    EXPECT_EQ(b.rawValue, -7);
    EXPECT_EQ(b.divisor, 10);
    EXPECT_EQ(b.unitCode, 204);
    EXPECT_EQ(b.shownUnit, -1);
    EXPECT_EQ(b.modelCode, 999);
    EXPECT_EQ(parsed->row.row.readings[0].shownUnit, 0);

    EXPECT_FALSE(parseReadingPayload("not json"));
    EXPECT_FALSE(parseReadingPayload(R"({"run":"r","seq":"x"})"));
    EXPECT_FALSE(parseReadingPayload("[1,2]"));
}

TEST(ReadingMessage, TimesCarryMillisecondsAndTheOffset)
{
    EXPECT_EQ(isoTime(0, 0), "1970-01-01T00:00:00.000+00:00");
    EXPECT_EQ(isoTime(1796780751009, -5 * 3600 - 1800), "2026-12-08T20:15:51.009-05:30");
    EXPECT_EQ(runIdAt(1796780751123), "2026-12-09T01:45:51.123Z");
    // A negative offset round-trips through the payload.
    SequencedRow row = sampleRow();
    row.row.utcOffsetSeconds = -5 * 3600 - 1800;
    EXPECT_EQ(parseReadingPayload(readingPayload("r", row))->row.row.utcOffsetSeconds, -19800);
}

TEST(ReadingMessage, TopicsOfAPortAndTheirReadingBack)
{
    const PortTopics topics{"lab", "pc7", "COM2"};
    EXPECT_EQ(topics.status(), "lab/pc7/COM2/status");
    EXPECT_EQ(topics.reading(), "lab/pc7/COM2/reading");
    EXPECT_EQ((PortTopics{"lab", "+", "+"}.reading()), "lab/+/+/reading") << "the subscription to every port";
    const auto back = topicUnder("lab", "lab/pc7/COM2/reading", "reading");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pc, "pc7");
    EXPECT_EQ(back->port, "COM2");
    EXPECT_FALSE(topicUnder("lab", "lab/pc7/COM2/status", "reading"));
    EXPECT_FALSE(topicUnder("lab", "labx/pc7/COM2/reading", "reading"));
    EXPECT_FALSE(topicUnder("lab", "lab/pc7/reading", "reading"));
}

TEST(ReadingMessage, StatusNamesTheLink)
{
    EXPECT_EQ(statusPayload(true, "OnLine"), R"({"link":"OnLine","status":"online"})");
    EXPECT_EQ(statusPayload(false, ""), R"({"status":"offline"})");
}

TEST(ReadingMessage, SamplesGoWithTheReadingsAndTheirTrendsWithTheStatus)
{
    const auto message = nlohmann::json::parse(readingPayload("r", sampleRow(), {"Глина К-2", "", "\"Торф\""}));
    EXPECT_EQ(message["balances"][0]["sample"], "Глина К-2");
    EXPECT_EQ(message["balances"][1]["sample"], "\"Торф\"");
    EXPECT_FALSE(nlohmann::json::parse(readingPayload("r", sampleRow(), {"", "x"}))["balances"][0].contains("sample"));

    MassTrendValues drying;
    drying.change = -0.25;
    drying.changePercent = -2.5;
    drying.driftPerHour = -0.125;
    drying.driftPercentPerHour = -1.25;
    const auto status = nlohmann::json::parse(
        statusPayload(true, "OnLine", {{1, "Песок", drying, 1796780751123}, {3, "", MassTrendValues{}, {}}}));
    EXPECT_EQ(status["samples"][0],
              nlohmann::json::parse(R"({"balance":1,"sample":"Песок","change":-0.25,"changePercent":-2.5,
                  "driftPerHour":-0.125,"driftPercentPerHour":-1.25,"constant":true,"constantSinceUtcMs":1796780751123})"));
    EXPECT_EQ(status["samples"][1],
              nlohmann::json::parse(R"({"balance":3,"change":null,"changePercent":null,"driftPerHour":null,
                  "driftPercentPerHour":null,"constant":false,"constantSinceUtcMs":null})"));
}

// The dashboard's parts on their own: listen addresses, the texts of
// values and times, the chart's thinning, the live feed, and the read-only
// queries against a collector file written by the collector's own store.
#include "dashboard/ChartDecimation.h"
#include "dashboard/CollectorReader.h"
#include "dashboard/DashboardJson.h"
#include "dashboard/DashboardServer.h"
#include "dashboard/DashboardSettings.h"
#include "dashboard/LiveFeed.h"
#include "MosquittoBroker.h"
#include "publish/CollectorStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

TEST(DashboardSettings, ListenAddressesAndRefusals)
{
    const struct {
        const char *text;
        const char *address; // nullptr: refused
        int port;
    } cases[] = {
        {"8080", "127.0.0.1", 8080},     {"0.0.0.0:80", "0.0.0.0", 80}, {"[::1]:8443", "::1", 8443},
        {"lab-server:65535", "lab-server", 65535}, {"0", nullptr, 0}, {"65536", nullptr, 0},
        {":8080", nullptr, 0},           {"host:", nullptr, 0},         {"8080x", nullptr, 0},
        {"", nullptr, 0},                {"-1", nullptr, 0},
    };
    for (const auto &c : cases) {
        const auto listen = parseListenAddress(c.text);
        ASSERT_EQ(listen.has_value(), c.address != nullptr) << c.text;
        if (listen) {
            EXPECT_EQ(listen->address, c.address) << c.text;
            EXPECT_EQ(listen->port, c.port) << c.text;
        }
    }
    DashboardSettings settings;
    settings.port = 80;
    EXPECT_EQ(dashboardSettingsProblem(settings), "");
    settings.passwordFile = "/etc/pass";
    EXPECT_NE(dashboardSettingsProblem(settings), "") << "a password without a user";
    settings.user = "lab";
    settings.certFile = "/etc/cert.pem";
    EXPECT_NE(dashboardSettingsProblem(settings), "") << "a certificate without its key";
}

TEST(DashboardJson, ValuesAndTimesAsTheTableShowsThem)
{
    const struct {
        int32_t raw, divisor;
        const char *text;
    } values[] = {{12345, 1000, "12,345"}, {-5, 100, "-0,05"}, {7, 1, "7"}, {-2000, 1000, "-2,000"},
                  {1, 3, "0,333333333333333"}, {5, 0, "5"}, {INT32_MIN, 1, "-2147483648"}};
    for (const auto &v : values)
        EXPECT_EQ(weightText(v.raw, v.divisor), v.text) << v.raw << "/" << v.divisor;
    EXPECT_EQ(localTimeText(1796780751123, 3 * 3600), "09.12.2026 04:45:51.123");
    EXPECT_EQ(localTimeText(0, -3600), "31.12.1969 23:00:00.000") << "before the epoch in local time";
    EXPECT_EQ(localTimeText(951782400000, 0), "29.02.2000 00:00:00.000") << "a leap day";

    const auto status = portStatusJson({"lab", "pc", "COM1"}, R"({"status":"online","link":"OnLine","x":[1]})", 5);
    EXPECT_EQ(status.dump(), R"({"link":"OnLine","pc":"pc","port":"COM1","receivedMs":5,"status":"online"})");
    EXPECT_EQ(portStatusJson({"lab", "pc", "COM1"}, "not json", 5).count("status"), 0u);
    EXPECT_EQ(eventMessage("status", {{"pc", "a\nb\xff"}}), "event: status\ndata: {\"pc\":\"a\\nb\xef\xbf\xbd\"}\n\n")
        << "one data line, bytes that are not UTF-8 replaced";
}

TEST(ChartDecimation, KeepsFirstLowHighLastOfEachColumnInOrder)
{
    ChartDecimation decimation(0, 999, 10); // 100 ms a column
    for (int64_t t = 0; t < 1000; ++t)
        decimation.add(0, {t, t == 537 ? 1000.0 : t == 538 ? -1000.0 : double(t % 7)});
    decimation.add(1, {5, 1.0}); // a second series with one point
    const auto kept = decimation.finish();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_LE(kept[0].size(), 40u);
    EXPECT_TRUE(std::is_sorted(kept[0].begin(), kept[0].end(),
                               [](const ChartPoint &a, const ChartPoint &b) { return a.utcMs < b.utcMs; }));
    auto has = [&](int64_t t, double v) {
        return std::any_of(kept[0].begin(), kept[0].end(), [&](const ChartPoint &p) { return p.utcMs == t && p.value == v; });
    };
    EXPECT_TRUE(has(537, 1000.0) && has(538, -1000.0)) << "spikes survive";
    EXPECT_TRUE(has(0, 0.0) && has(999, 999 % 7)) << "the ends of the line";
    ASSERT_EQ(kept[1].size(), 1u) << "one point is not repeated";
}

TEST(LiveFeed, EachPageReadsAtItsOwnPaceAndIsToldWhenItFellBehind)
{
    LiveFeed feed(3);
    const uint64_t start = feed.cursor();
    feed.publish("a");
    feed.publish("b");
    auto batch = feed.after(start, 0ms);
    EXPECT_EQ(batch.text, "ab");
    EXPECT_FALSE(batch.missed);
    for (const char *m : {"c", "d", "e"})
        feed.publish(m);
    EXPECT_TRUE(feed.after(start, 0ms).missed) << "a and b are gone from the ring";
    EXPECT_EQ(feed.after(batch.next, 0ms).text, "cde");
    EXPECT_EQ(feed.after(feed.cursor(), 10ms).text, "") << "nothing new: the wait ends empty";

    const uint64_t now = feed.cursor();
    std::thread late([&] { feed.publish("f"); });
    EXPECT_EQ(feed.after(now, 10s).text, "f") << "a new message ends the wait";
    late.join();
    std::thread closer([&] { feed.close(); });
    EXPECT_TRUE(feed.after(feed.cursor(), 10s).closed) << "closing wakes a waiting page";
    closer.join();
}

namespace {

struct CollectorReaderTest : ::testing::Test {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("dashboard-reader-" + std::to_string(::getpid()));
    std::unique_ptr<CollectorStore> store;
    std::unique_ptr<CollectorReader> reader;
    const PortTopics where{"lab", "pc1", "COM2"};
    const RunKey key{"pc1", "COM2", "2026-12-09T01:40:00.000Z"};

    void SetUp() override
    {
        std::filesystem::create_directories(folder);
        std::string error;
        store = CollectorStore::open(folder / "lab.db", error);
        ASSERT_TRUE(store) << error;
        reader = CollectorReader::open(folder / "lab.db", error);
        ASSERT_TRUE(reader) << error;
    }
    void TearDown() override
    {
        reader.reset();
        store.reset();
        std::filesystem::remove_all(folder);
    }
    // Rows first..last of the run, one every 200 ms, two balances.
    void storeRows(int64_t first, int64_t last, const std::string &run = "2026-12-09T01:40:00.000Z")
    {
        for (int64_t seq = first; seq <= last; ++seq) {
            ParsedReading r;
            r.run = run;
            r.row.seq = seq;
            r.row.row.number = int32_t(seq);
            r.row.row.utcMs = 1'000'000 + 200 * seq;
            r.row.row.readings = {{1, int32_t(seq), 100, 200, 0, true, 300, 7}, {3, 5, 1, 201, 1, false, 400, 8}};
            ASSERT_EQ(store->store(where, r, 0), CollectorStore::Outcome::Stored);
        }
    }
};

} // namespace

TEST_F(CollectorReaderTest, PagesMarkTheRowsTheCollectorIsMissing)
{
    storeRows(1, 498);
    storeRows(503, 1200); // 499..502 never arrived
    const auto span = reader->span(key);
    ASSERT_TRUE(span);
    EXPECT_EQ(span->lastSeq, 1200);
    const auto info = reader->runInfo(key, *span);
    EXPECT_EQ(info["pages"], 3);
    EXPECT_EQ(info["balances"].size(), 2u);

    const auto first = reader->rowsPage(key, *span, 1)["rows"];
    ASSERT_EQ(first.size(), 499u) << "498 rows and one gap mark";
    EXPECT_EQ(first.back()["gap"]["from"], 499);
    EXPECT_EQ(first.back()["gap"]["to"], 500);
    const auto second = reader->rowsPage(key, *span, 2)["rows"];
    EXPECT_EQ(second.front()["gap"]["from"], 501) << "a gap across a page's edge shows on both";
    EXPECT_EQ(second.front()["gap"]["to"], 502);
    EXPECT_EQ(second[1]["seq"], 503);
    EXPECT_EQ(second[1]["balances"][1]["text"], "5");
    EXPECT_EQ(reader->rowsPage(key, *span, 3)["rows"].size(), 200u);

    const auto chart = reader->chart(key, *span, 0, INT64_MAX / 2, 100);
    ASSERT_EQ(chart["gaps"].size(), 1u);
    EXPECT_EQ(chart["gaps"][0]["from"], 499);
    EXPECT_EQ(chart["gaps"][0]["beforeMs"], 1'000'000 + 200 * 503);
    ASSERT_EQ(chart["series"].size(), 2u);
    EXPECT_EQ(chart["series"][1]["balance"], 3);
    EXPECT_LE(chart["series"][0]["t"].size(), 400u) << "thinned to 100 columns";
}

TEST_F(CollectorReaderTest, AZoomedChartHoldsTheRowsOfItsRangeAndOneEitherSide)
{
    storeRows(1, 1000);
    const auto span = reader->span(key);
    ASSERT_TRUE(span);
    const struct {
        int64_t from, to;
        int64_t firstMs, lastMs;
    } ranges[] = {
        {1'000'000 + 200 * 100, 1'000'000 + 200 * 110, 1'000'000 + 200 * 99, 1'000'000 + 200 * 111},
        {1'000'000 + 200 * 100 + 1, 1'000'000 + 200 * 100 + 2, 1'000'000 + 200 * 100, 1'000'000 + 200 * 101},
        {0, 1'000'000 + 200 * 3, 1'000'000 + 200, 1'000'000 + 200 * 4},
        {1'000'000 + 200 * 999, INT64_MAX / 2, 1'000'000 + 200 * 998, 1'000'000 + 200 * 1000},
    };
    for (const auto &r : ranges) {
        const auto times = reader->chart(key, *span, r.from, r.to, 4000)["series"][0]["t"];
        ASSERT_FALSE(times.empty());
        EXPECT_EQ(times.front(), r.firstMs) << r.from;
        EXPECT_EQ(times.back(), r.lastMs) << r.to;
    }
}

TEST_F(CollectorReaderTest, RunsNewestFirstAndUnknownRunsHaveNoSpan)
{
    storeRows(1, 3, "2026-12-01T00:00:00.000Z");
    storeRows(1, 5, "2026-12-02T00:00:00.000Z");
    const auto runs = reader->runs("pc1", "COM2");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0]["run"], "2026-12-02T00:00:00.000Z");
    EXPECT_EQ(runs[0]["rows"], 5);
    EXPECT_TRUE(reader->runs("pc1", "COM1").empty());
    for (const RunKey &unknown : {RunKey{"pc1", "COM2", "' OR 1=1 --"}, RunKey{"pc2", "COM2", key.run},
                                  RunKey{"pc1", "COM1", "2026-12-01T00:00:00.000Z"}})
        EXPECT_FALSE(reader->span(unknown)) << unknown.pc << " " << unknown.port << " " << unknown.run;
}

TEST_F(CollectorReaderTest, TwoPortsOfOnePcWithRunsOfTheSameNameShowEachItsOwnReadings)
{
    storeRows(1, 3);
    for (int64_t seq = 1; seq <= 3; ++seq) {
        ParsedReading r;
        r.run = key.run;
        r.row.seq = seq;
        r.row.row.utcMs = 1'000'000 + 200 * seq;
        r.row.row.readings = {{5, int32_t(900 + seq), 1, 200, 0, true, 300, 9}};
        ASSERT_EQ(store->store({"lab", "pc1", "COM1"}, r, 0), CollectorStore::Outcome::Stored);
    }
    struct Case {
        RunKey key;
        size_t balances;
        int firstBalance;
    };
    for (const Case &c : {Case{key, 2, 1}, Case{{"pc1", "COM1", key.run}, 1, 5}}) {
        SCOPED_TRACE(c.key.port);
        const auto span = reader->span(c.key);
        ASSERT_TRUE(span);
        EXPECT_EQ(reader->runInfo(c.key, *span)["balances"].size(), c.balances);
        const auto rows = reader->rowsPage(c.key, *span, 1)["rows"];
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0]["balances"].size(), c.balances);
        EXPECT_EQ(reader->chart(c.key, *span, 0, INT64_MAX / 2, 100)["series"][0]["balance"], c.firstBalance);
    }
}

// A run of 20,000 rows with a spike up and down on each balance, a few
// missing rows and a missing stretch of whole buckets.
TEST_F(CollectorReaderTest, AWideChartComesFromTheSummaryWithItsSpikesAndGapsAndACloseOneFromTheRows)
{
    constexpr int64_t rows = 20'000;
    const auto msOf = [](int64_t seq) { return 1'000'000 + 200 * seq; };
    const auto lost = [](int64_t seq) { return (seq >= 5000 && seq <= 5003) || (seq >= 12'000 && seq <= 12'600); };
    std::vector<ParsedReading> batch;
    for (int64_t seq = 1; seq <= rows; ++seq) {
        if (lost(seq))
            continue;
        ParsedReading r;
        r.run = key.run;
        r.row.seq = seq;
        r.row.row.utcMs = msOf(seq);
        const int32_t wobble = int32_t(seq % 50);
        r.row.row.readings = {{1, seq == 7777 ? 900'000 : seq == 7778 ? -900'000 : 1000 + wobble, 100, 200, 0, true, 1, 1},
                              {3, seq == 15'001 ? -5 : 70 + wobble, 1, 200, 0, true, 1, 1}};
        batch.push_back(std::move(r));
    }
    ASSERT_TRUE(store->storeAll(where, batch, 0)) << store->lastError();
    const auto span = reader->span(key);
    ASSERT_TRUE(span);
    const auto has = [](const nlohmann::json &series, int64_t t, double v) {
        for (size_t i = 0; i < series["t"].size(); ++i)
            if (series["t"][i] == t && series["v"][i] == v)
                return true;
        return false;
    };
    const int64_t whole = INT64_MAX / 2;
    const struct {
        int64_t from, to;
        int width;
        int64_t bucketRows;
    } views[] = {
        {0, whole, 50, 256},                        // 400 rows a pixel
        {0, whole, 1000, 16},                       // 20 rows a pixel
        {0, whole, 4000, 0},                        // 5 rows a pixel: every row
        {msOf(7000), msOf(16'000), 50, 16},         // zoomed, still many rows a pixel
        {msOf(7700), msOf(7800), 50, 0},            // zoomed in to the rows
    };
    for (const auto &view : views) {
        SCOPED_TRACE(view.width);
        const auto chart = reader->chart(key, *span, view.from, view.to, view.width);
        EXPECT_EQ(chart["bucketRows"], view.bucketRows);
        ASSERT_EQ(chart["series"].size(), 2u);
        for (const auto &series : chart["series"]) {
            EXPECT_TRUE(std::is_sorted(series["t"].begin(), series["t"].end()));
            EXPECT_LE(series["t"].size(), size_t(4 * view.width + 8));
        }
        EXPECT_TRUE(has(chart["series"][0], msOf(7777), 9000.0) && has(chart["series"][0], msOf(7778), -9000.0))
            << "the spikes of the first balance";
        if (view.to >= msOf(15'001)) {
            EXPECT_TRUE(has(chart["series"][1], msOf(15'001), -5.0)) << "the dip of the second";
        }
        // The same gaps however the chart was read: here, from the rows.
        const int64_t toSeq = std::min<int64_t>(rows, (std::min(view.to, msOf(rows)) - 1'000'000) / 200 + 1);
        const int64_t fromSeq = std::max<int64_t>(1, (view.from - 1'000'000) / 200 - 1);
        nlohmann::json gaps = nlohmann::json::array();
        int64_t previousMs = 0;
        for (int64_t seq = fromSeq, after = fromSeq; seq <= toSeq; ++seq) {
            if (lost(seq))
                continue;
            if (seq > after)
                gaps.push_back({{"from", after}, {"to", seq - 1}, {"afterMs", previousMs}, {"beforeMs", msOf(seq)}});
            after = seq + 1;
            previousMs = msOf(seq);
        }
        EXPECT_EQ(chart["gaps"], gaps);
    }
    const auto close = reader->chart(key, *span, msOf(7700), msOf(7800), 400)["series"][1]["t"];
    EXPECT_EQ(close.size(), 101u + 2) << "every row of the view and one either side";
}

// A port taken by another dashboard is refused with the system's reason,
// not shared with it.
TEST_F(CollectorReaderTest, ASecondDashboardOnTheSamePortIsRefused)
{
    DashboardSettings settings;
    settings.address = "127.0.0.1";
    settings.port = freeLoopbackPort();
    std::string error;
    const auto first = DashboardServer::start(settings, folder / "lab.db", DASHBOARD_WEB_ROOT, error);
    ASSERT_TRUE(first) << error;
    EXPECT_FALSE(DashboardServer::start(settings, folder / "lab.db", DASHBOARD_WEB_ROOT, error));
    EXPECT_NE(error.find(std::strerror(EADDRINUSE)), std::string::npos) << error;
}

// A password "file" that is a named pipe or a folder is refused with its
// path at once; opening a pipe would wait for a writer for ever.
TEST_F(CollectorReaderTest, APasswordFileThatIsNoPlainFileIsRefusedWithoutWaiting)
{
    const auto pipe = folder / "pass.fifo";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0) << std::strerror(errno);
    for (const std::filesystem::path &path : {pipe, folder}) {
        DashboardSettings settings;
        settings.address = "127.0.0.1";
        settings.port = freeLoopbackPort();
        settings.user = "lab";
        settings.passwordFile = path.string();
        std::string error;
        EXPECT_FALSE(DashboardServer::start(settings, folder / "lab.db", DASHBOARD_WEB_ROOT, error));
        EXPECT_NE(error.find(path.string() + ": not a regular file"), std::string::npos) << error;
    }
}

TEST_F(CollectorReaderTest, OpensOnlyWhatExistsAndNeverCreatesIt)
{
    std::string error;
    const auto missing = folder / "missing.db";
    EXPECT_FALSE(CollectorReader::open(missing, error));
    EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// The session's samples: a scripted line polled at known times, so that the
// row at which a sample reaches constant mass is known beforehand.
#include "FakeReadingSource.h"

#include "recording/RecordingSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the samples' hooks told, in order, among the rows.
struct SampleHooks final : SessionObserver {
    std::vector<std::string> told;
    std::vector<std::vector<MassTrendValues>> values;
    std::vector<ConstantMassEvent> reached;

    void rowCommitted(const CommittedRow &row) override { told.push_back("row " + std::to_string(row.seq)); }
    void massChanged(const SampleValues &sample) override
    {
        told.push_back("mass " + std::to_string(sample.row.seq));
        values.push_back(sample.values);
    }
    void constantReached(const ConstantMassEvent &event) override
    {
        told.push_back("constant " + std::to_string(event.balance));
        reached.push_back(event);
    }
};

class Samples : public ::testing::Test {
protected:
    void SetUp() override
    {
        source.setLink(TRUTINA_LINK_ONLINE, 3);
        session.addObserver(hooks);
        ConstantMassCriterion criterion;
        criterion.limit = 1; // 1 % of the reference over 60 s
        criterion.window = std::chrono::seconds(60);
        session.samples().setCriterion(criterion);
        RunSettings settings;
        settings.port = "COM1";
        settings.periodMs = 1000;
        settings.balances = {1, 3};
        settings.samples = {"Песок", "", "Глина К-2"};
        session.start(settings, 1, pondus::ports::LinkDiagnosis::forPort(1, [](int) { return QString(); }), {});
        session.poll({start, 0}); // on line: the run starts
    }
    // A row every 20 s: balance 1's and balance 3's readings in mg.
    void row(int32_t first, int32_t third, bool thirdStable = true)
    {
        source.deliver(1, first, 1000, true, TRUTINA_UNIT_FIRST);
        source.deliver(2, 0); // a row waits for the whole line
        source.deliver(3, third, 1000, thirdStable, TRUTINA_UNIT_FIRST);
        session.poll({start + 20'000 * ++rows, 0});
    }

    static constexpr int64_t start = 1'700'000'000'000;
    FakeReadingSource source;
    RecordingSession session{source};
    SampleHooks hooks;
    int rows = 0;
};

TEST_F(Samples, ChangeDriftAndConstantMassAreToldAfterEachRow)
{
    // Balance 1 dries 100 -> 90 g and holds within 1 % (0,5 g); balance 3
    // stays put but reads unstable from the third row on.
    const int32_t first[] = {100'000, 95'000, 90'000, 90'400, 90'200, 90'100, 90'300};
    for (int n = 0; n < 7; ++n)
        row(first[n], 50'000, n < 2);
    ASSERT_EQ(7u, hooks.values.size());
    EXPECT_EQ((std::vector<std::string>{"row 1", "mass 1"}), std::vector(hooks.told.begin(), hooks.told.begin() + 2));

    // Hand-computed: Δm of row 3 is -10 g, -10 %; the drift over its 40 s
    // the least-squares slope of 100, 95, 90 g: -15 g/min = -900 g/h.
    const MassTrendValues &third = hooks.values[2][0];
    EXPECT_DOUBLE_EQ(-10.0, *third.change);
    EXPECT_DOUBLE_EQ(-10.0, *third.changePercent);
    EXPECT_NEAR(-900.0, *third.driftPerHour, 1e-9);
    EXPECT_NEAR(-900.0, *third.driftPercentPerHour, 1e-9);
    // Row 6 is the first whose 60 s (rows 3..6: 90..90,4 g) stay within 1 g.
    for (int n = 0; n < 5; ++n)
        EXPECT_FALSE(hooks.values[size_t(n)][0].constant) << "row " << n + 1;
    EXPECT_TRUE(hooks.values[5][0].reachedNow);
    EXPECT_TRUE(hooks.values[6][0].constant);
    EXPECT_FALSE(hooks.values[6][0].reachedNow) << "told once";
    ASSERT_EQ(1u, hooks.reached.size()) << "unstable readings never make a sample constant";
    const ConstantMassEvent &event = hooks.reached[0];
    EXPECT_EQ(1, event.balance);
    EXPECT_EQ("Песок", event.sample);
    EXPECT_EQ(start + 120'000, event.utcMs);
    EXPECT_DOUBLE_EQ(100.0, event.reference);
    EXPECT_EQ("1%/1m", event.criterion);
    EXPECT_EQ((std::vector<std::string>{"row 6", "mass 6", "constant 1", "row 7", "mass 7"}),
              std::vector(hooks.told.end() - 5, hooks.told.end()));
    EXPECT_FALSE(session.samples().allReached());
    EXPECT_EQ(session.samples().trends()->trend(1).reference()->value, 50.0);
}

TEST_F(Samples, EveryBalanceConstantMeansAllReached)
{
    for (int n = 0; n < 4; ++n)
        row(100'000 + n * 100, 50'000);
    ASSERT_EQ(2u, hooks.reached.size());
    EXPECT_EQ("Глина К-2", hooks.reached[1].sample);
    EXPECT_TRUE(session.samples().allReached());
}

} // namespace

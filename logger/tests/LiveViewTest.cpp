// The lines pondus-log ends a run with, one per sample, against what the
// run's rows and constant-mass events told the view.
#include "LiveView.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

using pondus::logger::LiveView;

constexpr int32_t grams = 200, milligrams = 204;

struct Reading {
    int32_t balance;
    int32_t unitCode;
    std::optional<double> change, percent;
};

// One row told to the view: the readings it held and what they changed.
void tell(LiveView &view, const std::vector<int32_t> &balances, const std::vector<Reading> &readings)
{
    CommittedRow committed;
    std::vector<MassTrendValues> values(balances.size());
    for (const Reading &reading : readings) {
        committed.row.readings.push_back({reading.balance, 0, 1, reading.unitCode, 0, true, 0, 0});
        for (size_t slot = 0; slot < balances.size(); ++slot)
            if (balances[slot] == reading.balance)
                values[slot] = {reading.change, reading.percent, std::nullopt, std::nullopt, false, false};
    }
    view.massChanged({committed, values});
}

TEST(LiveViewSummary, EachSampleItsChangeOverTheRunAndItsConstantMass)
{
    struct Case {
        const char *what;
        std::vector<std::vector<Reading>> rows;
        std::optional<size_t> constantSlot;
        std::vector<std::string> lines;
    };
    const std::vector<int32_t> balances = {1, 3};
    const Case cases[] = {
        {"no rows", {}, std::nullopt,
         {"Весы №1 — Глина К-2: no Δm, no stable reading to count it from",
          "Весы №3: no Δm, no stable reading to count it from"}},
        {"the last row's change, and the last known one of a balance it misses",
         {{{1, grams, -0.25, -2.5}, {3, milligrams, -12.5, -1.25}}, {{1, grams, -0.5, -5}}},
         0,
         {"Весы №1 — Глина К-2: Δm -0.5 g (-5 %) over the run; постоянная масса с 11.12.2026 09:15:30",
          "Весы №3: Δm -12.5 mg (-1.25 %) over the run"}},
        // A zero reference has no percentage.
        {"a change without percent", {{{1, grams, 0.125, std::nullopt}, {3, grams, std::nullopt, std::nullopt}}},
         std::nullopt,
         {"Весы №1 — Глина К-2: Δm +0.125 g (-) over the run", "Весы №3: no Δm, no stable reading to count it from"}},
    };
    for (const Case &c : cases) {
        std::unique_ptr<std::FILE, int (*)(std::FILE *)> out(std::tmpfile(), &std::fclose);
        LiveView view(out.get(), false, pondus::logger::RowText(pondus::logger::FileFormat::Csv, ValueFormat()), balances);
        EXPECT_TRUE(view.summary().empty()) << "before the run starts";
        RunSettings settings;
        settings.balances = balances;
        settings.samples = {"Глина К-2"};
        RunInfo run;
        run.settings = settings;
        view.runStarted(run);
        for (const std::vector<Reading> &row : c.rows)
            tell(view, balances, row);
        if (c.constantSlot) {
            ConstantMassEvent event;
            event.slot = *c.constantSlot;
            event.balance = balances[*c.constantSlot];
            event.utcMs = 1'796'969'730'000; // 11.12.2026 06:15:30 UTC
            event.utcOffsetSeconds = 3 * 3600;
            view.constantReached(event);
        }
        EXPECT_EQ(view.summary(), c.lines) << c.what;
    }
}

} // namespace

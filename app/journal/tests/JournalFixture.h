// A temporary folder for one test's journal, rows to record, and a second
// connection to read back what the journal wrote.
#pragma once

#include "journal/Journal.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class JournalFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "journal-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        path = (folder / "journal.sqlite").string();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // A journal whose failures are counted and their texts kept.
    pondus::journal::Journal makeJournal()
    {
        return pondus::journal::Journal(path, [this](const std::string &where, const std::string &reason) {
            failures.push_back(where + ": " + reason);
        });
    }

    static RunSettings settings(int balances)
    {
        RunSettings run;
        run.port = "COM1";
        run.periodMs = 200;
        for (int b = 1; b <= balances; ++b)
            run.balances.push_back(b);
        return run;
    }

    // Row n of a run over the given number of balances; values vary by row
    // and slot, every other reading unstable.
    static RecordedRow row(int32_t n, int balances)
    {
        RecordedRow r;
        r.number = n;
        r.utcMs = 1'700'000'000'000 + int64_t(n) * 200;
        r.utcOffsetSeconds = 10800;
        for (int slot = 0; slot < balances; ++slot) {
            BalanceReading reading;
            reading.balance = slot + 1;
            reading.rawValue = n * 1000 + slot - 500000;
            reading.divisor = 100;
            reading.unitCode = 200;
            reading.stable = (n + slot) % 2 == 0;
            reading.shownUnit = reading.stable ? 0 : -1;
            reading.modelCode = 300 + slot;
            reading.ident = 5000 + slot;
            r.readings.push_back(reading);
        }
        return r;
    }

    // The first value of a query on the journal file through a connection of
    // its own; none when there is no row.
    template <typename Value, typename Read>
    Value first(const std::string &sql, Value none, Read read) const
    {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *statement = nullptr;
        Value value = none;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = read(statement);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return value;
    }
    int64_t scalar(const std::string &sql) const
    {
        return first<int64_t>(sql, -1, [](sqlite3_stmt *row) { return sqlite3_column_int64(row, 0); });
    }
    // NULL reads as empty.
    std::string text(const std::string &sql) const
    {
        return first<std::string>(sql, "(no row)", [](sqlite3_stmt *row) {
            const unsigned char *text = sqlite3_column_text(row, 0);
            return text ? std::string(reinterpret_cast<const char *>(text)) : std::string();
        });
    }

    // SQL run on the journal file through a connection of its own, as
    // someone with the sqlite3 tool would.
    void execute(const std::string &sql) const
    {
        sqlite3 *db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    std::filesystem::path folder;
    std::string path;
    std::vector<std::string> failures;
};

inline bool operator==(const BalanceReading &a, const BalanceReading &b)
{
    return a.balance == b.balance && a.rawValue == b.rawValue && a.divisor == b.divisor && a.unitCode == b.unitCode &&
           a.shownUnit == b.shownUnit && a.stable == b.stable && a.modelCode == b.modelCode && a.ident == b.ident;
}

inline bool operator==(const RecordedRow &a, const RecordedRow &b)
{
    return a.number == b.number && a.utcMs == b.utcMs && a.utcOffsetSeconds == b.utcOffsetSeconds &&
           a.readings == b.readings;
}

// The collector's SQLite file: every reading of every PC, one row per
// (pc, port, run, seq) however often it arrives, and the last status of each
// port. Beside the rows it keeps, in the same transaction, a summary of each
// run per bucket of rows (RunSummary), so that a chart of a day reads
// thousands of lines, not millions. An older file is brought up to date when opened, keeping
// every row.
#pragma once

#include "publish/ReadingMessage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CollectorStore {
public:
    // Opens or creates the file; nothing, with `error` naming the path and
    // the reason, when that fails.
    static std::unique_ptr<CollectorStore> open(const std::string &path, std::string &error);
    ~CollectorStore();

    enum class Outcome { Stored, Duplicate, Failed };
    // Failed leaves the reason in lastError().
    Outcome store(const PortTopics &where, const ParsedReading &reading, int64_t receivedUtcMs);
    // Many rows of a port in one transaction, duplicates skipped: all or,
    // with the reason in lastError(), none.
    bool storeAll(const PortTopics &where, const std::vector<ParsedReading> &readings, int64_t receivedUtcMs);
    bool storeStatus(const PortTopics &where, const std::string &payload, int64_t receivedUtcMs);
    // The highest sequence number stored for the run of that PC's port; 0
    // for none.
    int64_t lastSeq(const PortTopics &where, const std::string &run);
    const std::string &lastError() const { return lastError_; }

private:
    struct Statements;
    CollectorStore(sqlite3 *db, std::string path);
    bool fail(const char *what);
    // Runs body in a transaction, committed when it returns true and rolled
    // back otherwise; false, with the reason in lastError(), when not committed.
    bool inTransaction(const std::function<bool()> &body);
    // Inside an open transaction.
    Outcome insert(const PortTopics &where, const ParsedReading &reading, int64_t receivedUtcMs);

    sqlite3 *db_;
    const std::string path_;
    std::unique_ptr<Statements> statements_;
    std::string lastError_;
};

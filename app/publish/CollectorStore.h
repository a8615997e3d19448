// The collector's SQLite file: every reading of every PC, one row per
// (pc, port, run, seq) however often it arrives, and the last status of each
// port. A file of the first version, keyed without the port, is brought up
// to date when opened, keeping every row.
#pragma once

#include "publish/ReadingMessage.h"

#include <memory>
#include <string>

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
    bool storeStatus(const PortTopics &where, const std::string &payload, int64_t receivedUtcMs);
    // The highest sequence number stored for the run of that PC's port; 0
    // for none.
    int64_t lastSeq(const PortTopics &where, const std::string &run);
    const std::string &lastError() const { return lastError_; }

private:
    struct Statements;
    CollectorStore(sqlite3 *db, std::string path);
    bool fail(const char *what);

    sqlite3 *db_;
    const std::string path_;
    std::unique_ptr<Statements> statements_;
    std::string lastError_;
};

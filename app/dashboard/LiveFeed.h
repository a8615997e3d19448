// The collector's news for the browsers that watch it: every stored reading
// and every status change as a Server-Sent Events message, kept in a
// bounded ring that each open page reads at its own pace.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

class LiveFeed {
public:
    explicit LiveFeed(size_t keep = 4096) : keep_(keep) {}

    // Adds one message (already in the stream's "event:/data:" form) and
    // wakes every waiting page. Called on the collector's network thread.
    void publish(std::string message);

    struct Batch {
        std::string text; // messages after the cursor, joined
        uint64_t next = 0;
        bool missed = false; // the page fell behind the ring: it needs a new picture
        bool closed = false;
    };
    // The messages after `cursor`; waits up to `wait` while there are none.
    Batch after(uint64_t cursor, std::chrono::milliseconds wait);
    // Where a page that starts now begins reading.
    uint64_t cursor();
    // Ends every wait; later reads return closed.
    void close();

private:
    const size_t keep_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::string> messages_;
    uint64_t first_ = 0; // the number of messages_.front()
    bool closed_ = false;
};

#include "dashboard/LiveFeed.h"

void LiveFeed::publish(std::string message)
{
    {
        const std::lock_guard lock(mutex_);
        messages_.push_back(std::move(message));
        if (messages_.size() > keep_) {
            messages_.pop_front();
            ++first_;
        }
    }
    arrived_.notify_all();
}

LiveFeed::Batch LiveFeed::after(uint64_t cursor, std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    const auto end = [this] { return first_ + messages_.size(); };
    arrived_.wait_for(lock, wait, [&] { return closed_ || end() > cursor; });
    Batch batch;
    batch.closed = closed_;
    batch.next = end();
    if (cursor < first_) {
        batch.missed = true;
        return batch;
    }
    for (uint64_t n = cursor; n < batch.next; ++n)
        batch.text += messages_[size_t(n - first_)];
    return batch;
}

uint64_t LiveFeed::cursor()
{
    const std::lock_guard lock(mutex_);
    return first_ + messages_.size();
}

void LiveFeed::close()
{
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    arrived_.notify_all();
}

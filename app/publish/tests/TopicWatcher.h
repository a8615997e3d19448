// A plain MQTT subscriber for tests: keeps every message of a topic filter
// and lets the test wait, with a bound, until the messages satisfy it.
#pragma once

#include "publish/MosquittoClient.h"

#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct WatchedMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
};

class TopicWatcher {
public:
    TopicWatcher(const MqttSettings &settings, std::string filter) : filter_(std::move(filter))
    {
        std::string error;
        client_ = makeMosquittoClient(settings, "watcher-" + std::to_string(::getpid()) + filter_, true, this, error);
        mosquitto_connect_callback_set(client_.get(), [](mosquitto *client, void *self, int code) {
            if (code == 0)
                mosquitto_subscribe(client, nullptr, static_cast<TopicWatcher *>(self)->filter_.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(client_.get(), [](mosquitto *, void *self, int, int, const int *) {
            static_cast<TopicWatcher *>(self)->add({});
        });
        mosquitto_message_callback_set(client_.get(), [](mosquitto *, void *self, const mosquitto_message *m) {
            static_cast<TopicWatcher *>(self)->add(
                {m->topic, std::string(static_cast<const char *>(m->payload), size_t(m->payloadlen)), m->retain});
        });
        mosquitto_connect_async(client_.get(), settings.host.c_str(), settings.port, 10);
        mosquitto_loop_start(client_.get());
    }
    ~TopicWatcher()
    {
        mosquitto_disconnect(client_.get());
        mosquitto_loop_stop(client_.get(), false);
    }

    // Waits up to `seconds` until the predicate holds for the messages so far.
    bool waitFor(const std::function<bool(const std::vector<WatchedMessage> &)> &holds, int seconds = 20)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return holds(messages_); });
    }
    bool waitSubscribed() { return waitFor([this](const auto &) { return subscribed_; }); }

private:
    void add(WatchedMessage message)
    {
        {
            std::lock_guard lock(mutex_);
            if (message.topic.empty())
                subscribed_ = true;
            else
                messages_.push_back(std::move(message));
        }
        changed_.notify_all();
    }

    std::string filter_;
    MosquittoHandle client_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<WatchedMessage> messages_;
    bool subscribed_ = false;
};

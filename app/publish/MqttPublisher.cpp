#include "publish/MqttPublisher.h"

#include <mosquitto.h>

namespace {

// Rows sent but not yet acknowledged; bounds the memory of a fast backlog.
constexpr size_t inFlightWindow = 200;
// How soon a recorded row is picked up for sending.
constexpr auto rowPickUp = std::chrono::milliseconds(50);

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, PortTopics topics, RowBacklog &backlog, Report sink,
                             std::string link)
    : settings_(settings), topics_(std::move(topics)), backlog_(backlog), report_(std::move(sink)),
      link_(std::move(link))
{
    const std::string clientId =
        settings_.clientId.empty() ? "pondus-" + topics_.pc + "-" + topics_.port : settings_.clientId;
    client_ = makeMosquittoClient(settings_, clientId, true, this, startError_);
    if (!client_) {
        report(startError_);
        return;
    }
    const std::string will = statusPayload(false, std::string());
    mosquitto_will_set(client_.get(), topics_.status().c_str(), int(will.size()), will.data(), qos, true);
    mosquitto_connect_callback_set(client_.get(), [](mosquitto *, void *self, int code) {
        auto *publisher = static_cast<MqttPublisher *>(self);
        if (code != 0) {
            // The library tries again; the operator learns why it keeps failing.
            publisher->report(connectRefusal(code, publisher->settings_));
            return;
        }
        {
            std::lock_guard lock(publisher->mutex_);
            publisher->connected_.store(true);
            publisher->restart_ = true;
            publisher->statusDue_ = true;
        }
        publisher->report("MQTT: связь с брокером " + brokerName(publisher->settings_) + " есть");
        publisher->signal();
    });
    mosquitto_disconnect_callback_set(client_.get(), [](mosquitto *, void *self, int code) {
        auto *publisher = static_cast<MqttPublisher *>(self);
        // A refused login ends in a disconnection too; only a lost connection
        // is news.
        if (publisher->connected_.exchange(false) && code != 0)
            publisher->report("MQTT: связь с брокером " + brokerName(publisher->settings_)
                              + " потеряна; показания копятся и будут отправлены позже");
        publisher->signal();
    });
    mosquitto_publish_callback_set(client_.get(), [](mosquitto *, void *self, int mid) {
        auto *publisher = static_cast<MqttPublisher *>(self);
        {
            std::lock_guard lock(publisher->mutex_);
            auto &ahead = publisher->acknowledgedAhead_;
            auto &through = publisher->acknowledgedThrough_;
            const auto sent = publisher->inFlight_.find(mid);
            if (sent == publisher->inFlight_.end())
                return; // a status message, or a row sent again since
            ahead.insert(sent->second);
            publisher->inFlight_.erase(sent);
            while (!ahead.empty() && *ahead.begin() == through + 1) {
                ahead.erase(ahead.begin());
                ++through;
            }
            if (publisher->runs_.size() == 1)
                publisher->publishedThrough_.store(through);
        }
        publisher->acknowledgedChanged_.notify_all();
        publisher->signal();
    });
    // TLS failures are told only through the library's log.
    mosquitto_log_callback_set(client_.get(), [](mosquitto *, void *self, int level, const char *text) {
        auto *publisher = static_cast<MqttPublisher *>(self);
        if (level == MOSQ_LOG_ERR)
            publisher->report("MQTT: " + brokerName(publisher->settings_) + ": " + text);
    });
    // Retries while the broker is away: soon at first, then every few seconds.
    mosquitto_reconnect_delay_set(client_.get(), 1, 4, true);
    const int rc = mosquitto_connect_async(client_.get(), settings_.host.c_str(), settings_.port, keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        report("MQTT: нет связи с брокером " + brokerName(settings_) + ": " + libraryProblem(rc)
               + "; показания будут отправлены позже");
    if (const int loop = mosquitto_loop_start(client_.get()); loop != MOSQ_ERR_SUCCESS) {
        startError_ = "MQTT: сетевой поток не запущен: " + libraryProblem(loop);
        report(startError_);
        client_.reset();
        return;
    }
    worker_ = std::thread(&MqttPublisher::work, this);
}

MqttPublisher::~MqttPublisher()
{
    if (!client_)
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    signal();
    worker_.join();
    if (connected_.load())
        publishStatus(false);
    // A clean disconnect cancels the last will, so "offline" was sent above.
    mosquitto_disconnect(client_.get());
    mosquitto_loop_stop(client_.get(), false);
}

void MqttPublisher::resumeRun(const std::string &run, int64_t publishedThrough, int64_t recorded,
                              std::vector<std::string> samples)
{
    {
        std::lock_guard lock(mutex_);
        if (!runs_.empty())
            runs_.back().recorded = newestRecorded_.load();
        newestRecorded_.store(recorded);
        runs_.push_back({run, 0, publishedThrough, std::move(samples)});
        if (runs_.size() == 1)
            startFrontRun();
        publishedThrough_.store(runs_.size() == 1 ? acknowledgedThrough_ : publishedThrough);
    }
    signal();
}

void MqttPublisher::startFrontRun()
{
    acknowledgedThrough_ = runs_.front().publishedBefore;
    markedThrough_ = acknowledgedThrough_;
    restartFromAcknowledged();
}

void MqttPublisher::rowRecorded(int64_t seq)
{
    // Only an atomic store: waking the publishing thread from here would let
    // it take the poll step's processor on a busy machine. It looks for new
    // rows on its own every rowPickUp instead.
    newestRecorded_.store(seq);
}

void MqttPublisher::signal()
{
    {
        std::lock_guard lock(signalMutex_);
        signalled_ = true;
    }
    signalledChanged_.notify_one();
}

void MqttPublisher::setLink(const std::string &link)
{
    {
        std::lock_guard lock(mutex_);
        if (link == link_)
            return;
        link_ = link;
        statusDue_ = true;
    }
    signal();
}

void MqttPublisher::setSamples(std::vector<SampleStatus> samples)
{
    {
        std::lock_guard lock(samplesMutex_);
        samples_ = std::move(samples);
    }
    samplesDue_.store(true);
}

bool MqttPublisher::waitUntilSent(std::chrono::milliseconds limit)
{
    if (!client_)
        return rowsDue() == 0;
    std::unique_lock lock(mutex_);
    return acknowledgedChanged_.wait_for(lock, limit, [this] {
        return runs_.size() <= 1 && acknowledgedThrough_ >= (runs_.empty() ? 0 : newestRecorded_.load());
    });
}

int64_t MqttPublisher::rowsDue() const
{
    std::lock_guard lock(mutex_);
    int64_t due = 0;
    for (const Run &run : runs_)
        due += recordedOf(run) - (&run == &runs_.front() ? acknowledgedThrough_ : run.publishedBefore);
    return due;
}

void MqttPublisher::report(const std::string &text)
{
    // The same problem once, not at every retry.
    std::lock_guard lock(reportMutex_);
    if (text == lastReport_ || !report_)
        return;
    lastReport_ = text;
    report_(text);
}

int64_t MqttPublisher::recordedOf(const Run &run) const
{
    return &run == &runs_.back() ? newestRecorded_.load() : run.recorded;
}

void MqttPublisher::work()
{
    for (;;) {
        {
            std::unique_lock wait(signalMutex_);
            signalledChanged_.wait_for(wait, rowPickUp, [this] { return signalled_; });
            signalled_ = false;
        }
        std::unique_lock lock(mutex_);
        // Each step looks whether it has anything to do; until none has.
        bool progressed = true;
        while (progressed) {
            if (stopping_)
                return;
            progressed = false;
            if (restart_) {
                restart_ = false;
                restartFromAcknowledged();
                progressed = true;
            }
            if ((statusDue_ || samplesDue_.load()) && connected_.load()) {
                statusDue_ = false;
                samplesDue_.store(false);
                lock.unlock();
                publishStatus(true);
                lock.lock();
                progressed = true;
            }
            if (markedThrough_ < acknowledgedThrough_ && !runs_.empty()) {
                const std::string run = runs_.front().id;
                const int64_t through = acknowledgedThrough_;
                lock.unlock();
                backlog_.markPublished(run, through);
                lock.lock();
                markedThrough_ = std::max(markedThrough_, through);
                progressed = true;
            }
            progressed = finishDrainedRun() || progressed;
            progressed = sendRows(lock) || progressed;
        }
    }
}

void MqttPublisher::restartFromAcknowledged()
{
    // After a reconnection whatever was in flight may be lost: send again
    // from the first unacknowledged row. The collector drops what arrives twice.
    inFlight_.clear();
    acknowledgedAhead_.clear();
    nextSeq_ = acknowledgedThrough_ + 1;
}

bool MqttPublisher::finishDrainedRun()
{
    if (runs_.size() < 2 || acknowledgedThrough_ < recordedOf(runs_.front()) || markedThrough_ < acknowledgedThrough_)
        return false;
    runs_.pop_front();
    startFrontRun();
    if (runs_.size() == 1)
        publishedThrough_.store(acknowledgedThrough_);
    acknowledgedChanged_.notify_all();
    return true;
}

bool MqttPublisher::sendRows(std::unique_lock<std::mutex> &lock)
{
    if (runs_.empty() || !connected_.load() || inFlight_.size() >= inFlightWindow
        || nextSeq_ > recordedOf(runs_.front()))
        return false;
    const std::string run = runs_.front().id;
    const std::vector<std::string> samples = runs_.front().samples;
    const int64_t after = nextSeq_ - 1;
    const size_t room = inFlightWindow - inFlight_.size();
    lock.unlock();
    const std::vector<SequencedRow> rows = backlog_.rowsAfter(run, after, room);
    lock.lock();
    if (restart_ || runs_.empty() || runs_.front().id != run || nextSeq_ != after + 1)
        return true; // things moved on while the backlog was read: look again
    const std::string topic = topics_.reading();
    for (const SequencedRow &row : rows) {
        if (row.seq != nextSeq_)
            break; // rows the backlog has lost; the collector reports the gap
        const std::string payload = readingPayload(run, row, samples);
        int mid = 0;
        // Under the lock, so that the acknowledgement cannot overtake the
        // record of what was sent.
        const int rc =
            mosquitto_publish(client_.get(), &mid, topic.c_str(), int(payload.size()), payload.data(), qos, false);
        if (rc != MOSQ_ERR_SUCCESS) {
            // Sent again once the connection is made anew.
            connected_.store(false);
            if (rc != MOSQ_ERR_NO_CONN)
                report("MQTT: показание не отправлено в " + topic + ": " + libraryProblem(rc));
            return false;
        }
        inFlight_[mid] = row.seq;
        ++nextSeq_;
    }
    if (!rows.empty() && rows.front().seq > nextSeq_) {
        // The backlog gave up rows before these: skip to what it still has.
        nextSeq_ = rows.front().seq;
        acknowledgedThrough_ = nextSeq_ - 1;
        acknowledgedChanged_.notify_all();
    }
    return !rows.empty();
}

void MqttPublisher::publishStatus(bool online)
{
    std::string link;
    {
        std::lock_guard lock(mutex_);
        link = link_;
    }
    std::vector<SampleStatus> samples;
    if (online) {
        std::lock_guard lock(samplesMutex_);
        samples = samples_;
    }
    const std::string payload = statusPayload(online, online ? link : std::string(), samples);
    mosquitto_publish(client_.get(), nullptr, topics_.status().c_str(), int(payload.size()), payload.data(), qos, true);
}

// Publishes a PC port's recorded rows and its status to an MQTT broker on a
// thread of its own. The poll step only says that a row was recorded; the
// rows themselves are taken from the backlog (the journal) in order, so that
// rows recorded while the broker is away are sent when it is back and memory
// holds no more than the rows in flight.
#pragma once

#include "publish/MosquittoClient.h"
#include "publish/ReadingMessage.h"
#include "publish/RowBacklog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class MqttPublisher {
public:
    // Problems and recoveries for the operator, called on the publisher's
    // threads; never blocks publishing for long.
    using Report = std::function<void(const std::string &)>;

    // Starts connecting at once; a broker that cannot be reached is retried
    // in the background. The backlog must outlive the publisher. link: the
    // link state of the first status, which is sent on connecting.
    MqttPublisher(const MqttSettings &settings, PortTopics topics, RowBacklog &backlog, Report sink,
                  std::string link = "stopped");
    // Publishes "offline" and disconnects; unsent rows stay in the backlog.
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Rows from now on belong to this run; earlier runs are finished first.
    // `samples`: its sample names by position, sent with the readings.
    void startRun(const std::string &run, std::vector<std::string> samples = {})
    {
        resumeRun(run, 0, 0, std::move(samples));
    }
    // A run an earlier program did not finish publishing: its rows after
    // publishedThrough up to recorded are sent, in order, before the runs
    // started after it.
    void resumeRun(const std::string &run, int64_t publishedThrough, int64_t recorded,
                   std::vector<std::string> samples = {});
    // The run's rows up to `seq` are in the backlog; they leave within 50 ms.
    // An atomic store: the poll step calls it for every row.
    void rowRecorded(int64_t seq);
    // The link state shown with the status ("OnLine", ...).
    void setLink(const std::string &link);
    // The samples shown with the status, after each row: no wait on the
    // publishing thread, which sends it within 50 ms.
    void setSamples(std::vector<SampleStatus> samples);

    // Waits at most `limit` for the broker to have every row recorded so
    // far, as a program does before it ends; false when some are still due,
    // at once when there is no client to send them.
    bool waitUntilSent(std::chrono::milliseconds limit);
    // Rows recorded or resumed that the broker has not acknowledged.
    int64_t rowsDue() const;

    bool connected() const { return connected_.load(); }
    // The broker has every row of the newest run up to this one.
    int64_t publishedThrough() const { return publishedThrough_.load(); }
    // Why the publisher could not be started; empty when it runs.
    const std::string &startError() const { return startError_; }

private:
    struct Run {
        std::string id;
        int64_t recorded = 0;
        int64_t publishedBefore = 0; // acknowledged before this publisher
        std::vector<std::string> samples;
    };

    void report(const std::string &text);

    void signal();
    void work();
    int64_t recordedOf(const Run &run) const;
    // The front run is sent from the first row the broker does not have.
    void startFrontRun();
    void restartFromAcknowledged();
    // Each true when it changed something.
    bool sendRows(std::unique_lock<std::mutex> &lock);
    bool finishDrainedRun();
    void publishStatus(bool online);

    const MqttSettings settings_;
    const PortTopics topics_;
    RowBacklog &backlog_;
    const Report report_;
    std::string startError_;
    MosquittoHandle client_;

    // Wakes the publishing thread; apart from mutex_, so that the poll step
    // never waits while that thread holds mutex_.
    std::mutex signalMutex_;
    std::condition_variable signalledChanged_;
    bool signalled_ = false;

    mutable std::mutex mutex_;
    std::condition_variable acknowledgedChanged_; // with mutex_
    bool stopping_ = false;
    bool restart_ = false;
    bool statusDue_ = false;
    std::string link_;
    std::deque<Run> runs_;             // front: the run being sent
    std::atomic<int64_t> newestRecorded_{0}; // recorded rows of the newest run
    int64_t nextSeq_ = 1;              // of the front run
    int64_t acknowledgedThrough_ = 0;  // of the front run
    int64_t markedThrough_ = 0;        // told to the backlog
    std::map<int, int64_t> inFlight_;  // message id -> seq
    std::set<int64_t> acknowledgedAhead_;
    // The samples of the status, apart from mutex_ for the poll step.
    std::mutex samplesMutex_;
    std::vector<SampleStatus> samples_;
    std::atomic<bool> samplesDue_{false};
    std::string lastReport_;
    std::mutex reportMutex_;

    std::atomic<bool> connected_{false};
    std::atomic<int64_t> publishedThrough_{0};
    std::thread worker_;
};

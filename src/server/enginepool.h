#pragma once
// The service's engines: each kept warm by a thread of its own from one request to the next
// (an engine dies with the thread that started it), and a bounded number of requests that may
// wait for one.

#include "canceltoken.h"
#include "engine.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillivar::server {

class EnginePool {
public:
    // Runs on an engine's thread with its session; `cancel` is set when the work is to stop,
    // and then the engine stops too.
    using Work = std::function<void(EngineSession& engines, const CancelToken& cancel)>;

    class Job {
    public:
        void Cancel();  // stops the work, or keeps it from starting
        void Wait();    // until the work has run, or was passed over
    private:
        friend class EnginePool;
        explicit Job(Work work) : work_(std::move(work)) {}
        Work work_;
        std::mutex mutex_;
        std::condition_variable changed_;
        bool cancelled_ = false;
        bool done_ = false;
        CancelToken* running_ = nullptr;  // the token of the engine it runs on
    };

    // A request's place among those the pool takes: from before its upload is read to the end
    // of its answer. Given back when destroyed.
    class Place {
    public:
        ~Place();
        Place(const Place&) = delete;
        Place& operator=(const Place&) = delete;
    private:
        friend class EnginePool;
        explicit Place(EnginePool& pool) : pool_(pool) {}
        EnginePool& pool_;
    };

    // Starts `engines` engines at once; `queue` requests may wait beyond those converting.
    // `onStartFailure` hears of an engine that could not be started.
    EnginePool(EngineLauncher launcher, int engines, int queue, std::function<void(int, const QString&)> onStartFailure);
    ~EnginePool();  // ends every engine, after stopping what runs on them
    EnginePool(const EnginePool&) = delete;
    EnginePool& operator=(const EnginePool&) = delete;

    // A place, or nothing when every engine is busy and the queue is full.
    std::unique_ptr<Place> Admit();
    std::shared_ptr<Job> Submit(Work work);
    void CancelAll();

    int Engines() const { return static_cast<int>(slots_.size()); }
    int Waiting() const;        // jobs waiting for an engine
    int Admitted() const;       // requests holding a place
    int Busy() const;           // engines converting now
    bool EngineFreeNow() const; // a warm engine that no job is using
    long LargestResidentKib() const;  // of the engines as their last job left them

private:
    struct Slot {
        int number = 0;
        std::unique_ptr<CancelToken> cancel;
        std::unique_ptr<EngineSession> session;
        bool busy = false;
        bool warm = false;
        std::atomic<long> residentKib{0};
        std::thread thread;
    };
    void Serve(Slot& slot);
    void Warm(Slot& slot);
    // After a cancel: false when the pool is stopping, else a fresh session.
    bool Renew(Slot& slot);

    const EngineLauncher launcher_;
    const int capacity_;
    std::function<void(int, const QString&)> onStartFailure_;
    mutable std::mutex mutex_;
    std::condition_variable jobsChanged_;
    std::deque<std::shared_ptr<Job>> jobs_;
    int admitted_ = 0;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace quillivar::server

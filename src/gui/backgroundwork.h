#pragma once
// Long work off the window's thread: jobs run one after another on a worker thread of their
// own, and what they report reaches the window on the window's thread, in order. Cancelling
// ends the work at once: waits end, queued deliveries are dropped with this object.

#include "canceltoken.h"
#include "errortrap.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quillivar {

class BackgroundWork : public QObject {
public:
    BackgroundWork();
    ~BackgroundWork() override;  // cancels, and waits for the worker to end

    // Queues `job`; it runs on the worker thread after the jobs queued before it.
    void Start(std::function<void(const CancelToken&)> job);
    // From a job: runs `action` on the window's thread, after what was delivered before.
    void Deliver(std::function<void()> action);
    // From a job: as Deliver, and waits until `action` has run (a message answered) or the
    // work is cancelled.
    void DeliverAndWait(std::function<void()> action);
    // Cancels the running job and every queued one.
    void Cancel();
    // Jobs queued or running, or whose deliveries have not all reached the window.
    bool Busy() const { return unfinished_ > 0; }

private:
    void Work();

    CancelToken cancel_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void(const CancelToken&)>> jobs_;
    int unfinished_ = 0;  // counted on the window's thread
    bool stopping_ = false;
    std::thread worker_;
};

// Reports of a job, shown by `window` on the window's thread; the job waits for the user's OK.
class DeliveredReports : public ErrorReporter {
public:
    DeliveredReports(BackgroundWork& work, ErrorReporter& window) : work_(work), window_(window) {}
    void ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) override {
        work_.DeliverAndWait(
            [this, description, location, line, cause] { window_.ShowErrorReport(description, location, line, cause); });
    }

private:
    BackgroundWork& work_;
    ErrorReporter& window_;
};

}  // namespace quillivar

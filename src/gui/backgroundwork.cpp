#include "backgroundwork.h"

#include <memory>

namespace quillivar {

BackgroundWork::BackgroundWork() : worker_([this] { Work(); }) {}

BackgroundWork::~BackgroundWork() {
    Cancel();
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void BackgroundWork::Start(std::function<void(const CancelToken&)> job) {
    ++unfinished_;
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void BackgroundWork::Deliver(std::function<void()> action) {
    QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

void BackgroundWork::DeliverAndWait(std::function<void()> action) {
    auto done = std::make_shared<bool>(false);
    Deliver([this, done, action = std::move(action)] {
        if (!cancel_.IsCancelled()) action();
        {
            const std::lock_guard lock(mutex_);
            *done = true;
        }
        wake_.notify_all();
    });
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return *done || cancel_.IsCancelled(); });
}

void BackgroundWork::Cancel() {
    {
        const std::lock_guard lock(mutex_);
        cancel_.Cancel();
    }
    wake_.notify_all();
}

void BackgroundWork::Work() {
    while (true) {
        std::function<void(const CancelToken&)> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (!cancel_.IsCancelled()) job(cancel_);
        // Counted off once everything the job delivered has reached the window.
        Deliver([this] { --unfinished_; });
    }
}

}  // namespace quillivar

#include "enginepool.h"

#include "errortrap.h"

#include <algorithm>

namespace quillivar::server {

void EnginePool::Job::Cancel() {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (running_) running_->Cancel();
}

void EnginePool::Job::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_; });
}

EnginePool::Place::~Place() {
    const std::lock_guard lock(pool_.mutex_);
    --pool_.admitted_;
}

EnginePool::EnginePool(EngineLauncher launcher, int engines, int queue,
                       std::function<void(int, const QString&)> onStartFailure)
    : launcher_(std::move(launcher)), capacity_(engines + queue), onStartFailure_(std::move(onStartFailure)) {
    for (int i = 0; i < engines; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->number = i + 1;
        slot->cancel = std::make_unique<CancelToken>();
        slot->session = std::make_unique<EngineSession>(launcher_, *slot->cancel);
        slots_.push_back(std::move(slot));
    }
    for (const auto& slot : slots_) slot->thread = std::thread([this, &slot = *slot] { Serve(slot); });
}

EnginePool::~EnginePool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const auto& slot : slots_) slot->cancel->Cancel();  // also an engine starting
    }
    CancelAll();
    jobsChanged_.notify_all();
    for (const auto& slot : slots_) slot->thread.join();
}

std::unique_ptr<EnginePool::Place> EnginePool::Admit() {
    const std::lock_guard lock(mutex_);
    if (admitted_ >= capacity_) return nullptr;
    ++admitted_;
    return std::unique_ptr<Place>(new Place(*this));
}

std::shared_ptr<EnginePool::Job> EnginePool::Submit(Work work) {
    auto job = std::shared_ptr<Job>(new Job(std::move(work)));
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(job);
    }
    jobsChanged_.notify_one();
    return job;
}

void EnginePool::CancelAll() {
    std::vector<std::shared_ptr<Job>> jobs;
    {
        const std::lock_guard lock(mutex_);
        jobs.assign(jobs_.begin(), jobs_.end());
    }
    for (const auto& job : jobs) job->Cancel();
    // Those running are known to their slots' tokens.
    const std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (slot->busy) slot->cancel->Cancel();
    }
}

int EnginePool::Waiting() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(jobs_.size());
}

int EnginePool::Admitted() const {
    const std::lock_guard lock(mutex_);
    return admitted_;
}

int EnginePool::Busy() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const auto& slot) { return slot->busy; }));
}

bool EnginePool::EngineFreeNow() const {
    const std::lock_guard lock(mutex_);
    return std::any_of(slots_.begin(), slots_.end(), [](const auto& slot) { return !slot->busy && slot->warm; });
}

long EnginePool::LargestResidentKib() const {
    long largest = 0;
    for (const auto& slot : slots_) largest = std::max(largest, slot->residentKib.load());
    return largest;
}

void EnginePool::Serve(Slot& slot) {
    Warm(slot);
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            jobsChanged_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) break;  // stopping, with nothing left to pass over
            job = jobs_.front();
            jobs_.pop_front();
            slot.busy = true;
        }
        // An engine that died while it waited (killed from outside) is given no document.
        if (const Engine* engine = slot.session->Current(); engine && engine->ResidentKib() == 0) slot.session->End();
        const bool renewed = Renew(slot);
        CancelToken passedOver;
        passedOver.Cancel();
        const CancelToken* cancel = &passedOver;
        {
            const std::lock_guard lock(job->mutex_);
            if (!job->cancelled_ && renewed) {
                job->running_ = slot.cancel.get();
                cancel = slot.cancel.get();
            }
        }
        try {
            job->work_(*slot.session, *cancel);
        } catch (...) {
            // The work reports its own failures; nothing may end the engine's thread.
        }
        {
            const std::lock_guard lock(job->mutex_);
            job->running_ = nullptr;
            job->done_ = true;
        }
        job->changed_.notify_all();
        if (!renewed || !Renew(slot)) break;
        Warm(slot);
        const std::lock_guard lock(mutex_);
        slot.busy = false;
    }
    slot.session->End();
    slot.residentKib = 0;
}

bool EnginePool::Renew(Slot& slot) {
    if (!slot.cancel->IsCancelled()) return true;
    // A stopped job stopped the engine with it: a new session under a new token.
    slot.session->End();
    const std::lock_guard lock(mutex_);
    if (stopping_) return false;
    slot.session.reset();
    slot.cancel = std::make_unique<CancelToken>();
    slot.session = std::make_unique<EngineSession>(launcher_, *slot.cancel);
    return true;
}

void EnginePool::Warm(Slot& slot) {
    bool warm = false;
    try {
        Engine& engine = slot.session->Take();
        slot.residentKib = engine.ResidentKib();
        slot.session->HandBack(engine);
        warm = true;
    } catch (const Failure& failure) {
        if (!slot.cancel->IsCancelled()) onStartFailure_(slot.number, failure.description());
    } catch (const std::exception& failure) {
        if (!slot.cancel->IsCancelled()) onStartFailure_(slot.number, QString::fromLocal8Bit(failure.what()));
    }
    const std::lock_guard lock(mutex_);
    slot.warm = warm;
}

}  // namespace quillivar::server

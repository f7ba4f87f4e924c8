#pragma once
// Asks long work to stop: the window sets it when it closes, the command line on Ctrl-C. Work
// checks it between steps; the engine client also while it waits for an answer.

#include <atomic>

namespace quillivar {

class CancelToken {
public:
    // Safe in a signal handler.
    void Cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
    bool IsCancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> cancelled_{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};

}  // namespace quillivar

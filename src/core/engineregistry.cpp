#include "engineregistry.h"

#include <atomic>
#include <csignal>

namespace quillivar {

namespace {

constexpr int kCapacity = 64;
std::atomic<pid_t> groups[kCapacity];
std::atomic<long long> started{0};

}  // namespace

void RegisterEngineProcess(pid_t processGroup) {
    ++started;
    for (auto& slot : groups) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, processGroup)) return;
    }
}

void UnregisterEngineProcess(pid_t processGroup) {
    for (auto& slot : groups) {
        pid_t expected = processGroup;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

long long EngineProcessesStarted() { return started.load(); }

void KillEngineProcessesNow() {
    for (auto& slot : groups) {
        const pid_t group = slot.load();
        if (group > 0) kill(-group, SIGKILL);
    }
}

}  // namespace quillivar

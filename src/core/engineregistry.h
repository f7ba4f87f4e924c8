#pragma once
// The engine processes this program has running, so that a signal handler can end them.

#include <sys/types.h>

namespace quillivar {

void RegisterEngineProcess(pid_t processGroup);
void UnregisterEngineProcess(pid_t processGroup);
// How many engines this program has started so far.
long long EngineProcessesStarted();

// Kills every registered engine's process group. Async-signal-safe: a handler for SIGINT or
// SIGTERM may call it, and the waiting request then ends as an engine that stopped.
void KillEngineProcessesNow();

}  // namespace quillivar

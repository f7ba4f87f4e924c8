#pragma once
// The engine parent: one engine program (quillivar-engine --children) that has prepared
// LibreOffice once and forks a ready engine whenever one is asked for, in a fraction of a cold
// start's time and sharing most of its memory. Started with the first engine asked for and
// ended with the last launcher and engine that hold it; while it cannot start, and after it
// died, engines start cold as before.

#include "canceltoken.h"
#include "engine.h"
#include "engineprocess.h"
#include "linereader.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillivar {

class EngineParent {
public:
    explicit EngineParent(EngineOptions options);
    ~EngineParent();
    EngineParent(const EngineParent&) = delete;
    EngineParent& operator=(const EngineParent&) = delete;

    // A new engine, which says "ready" on its socket as a cold one does, or nothing: start
    // one cold. Safe to call from several threads.
    std::optional<EngineProcess> Fork(bool drawAhead, const CancelToken& cancel);
    // Waits for a forked engine that the caller has killed or seen end, and tells how it
    // ended ("signal 11, Segmentation fault"); nothing when the parent is gone, and the
    // engine went with it.
    std::optional<QString> Ended(pid_t engine);
    // Ends the parent for good: engines start cold from now on, for the reason given.
    void GiveUp(const QString& why);
    // Why engines start cold, once the parent failed; empty while it serves.
    QString ColdStartReason() const;
    // Started, and serving.
    bool Serving() const;

private:
    void Start(const CancelToken& cancel);
    // The answer's fields after its number, or nothing once the parent has failed.
    std::optional<std::vector<std::string>> Ask(const std::vector<std::string>& fields, int descriptor);
    void Fail(const QString& why);
    void Stop();

    const EngineOptions options_;
    mutable std::mutex mutex_;
    bool started_ = false;  // or tried to
    EngineSlot slot_;
    pid_t pid_ = -1;
    int socket_ = -1;
    std::unique_ptr<protocol::LineReader> answers_;
    long long lastRequest_ = 0;
    QString coldStartReason_;
};

}  // namespace quillivar

#pragma once
// The HTTP front: routes, admission, uploads into a private folder, the streamed ZIP answer.

#include "enginepool.h"
#include "metrics.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace httplib {
class Server;
}

namespace quillivar::server {

struct ServiceOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080;
    int engines = 1;
    int queue = 8;
    qint64 maxUploadBytes = 100LL * 1024 * 1024;
    QByteArray token;  // empty: none wanted
    std::chrono::seconds grace{30};
};

class Service {
public:
    Service(ServiceOptions options, EngineLauncher launcher);
    ~Service();

    // The port it listens on, or -1 when it cannot.
    int Bind();
    // Answers until Stop; then ends every engine.
    void Serve();
    // New requests get 503; those under way may finish within the grace period, then what is
    // left is stopped and Serve returns.
    void Drain();

private:
    struct Answer;
    void Route();
    bool Authorised(const std::string& header) const;
    void AnswerStarted();
    void AnswerEnded();

    const ServiceOptions options_;
    Metrics metrics_;
    std::unique_ptr<EnginePool> pool_;
    std::unique_ptr<httplib::Server> http_;
    std::atomic<bool> draining_{false};
    std::mutex answersMutex_;
    std::condition_variable answersChanged_;
    int answersUnderWay_ = 0;
};

}  // namespace quillivar::server

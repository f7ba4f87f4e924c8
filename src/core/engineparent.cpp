#include "engineparent.h"

#include "engineprotocol.h"
#include "engineregistry.h"
#include "errortrap.h"

#include <QDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillivar {

namespace {

using namespace std::chrono_literals;

// Forking and reaping take milliseconds; a parent that takes this long is broken.
constexpr auto kAnswerWait = 30s;
constexpr auto kWatch = 20ms;  // how often the wait for its start looks for a cancel

}  // namespace

EngineParent::EngineParent(EngineOptions options) : options_(std::move(options)) {}

EngineParent::~EngineParent() {
    const std::lock_guard lock(mutex_);
    Stop();
    slot_.Release();
}

std::optional<EngineProcess> EngineParent::Fork(bool drawAhead, const CancelToken& cancel) {
    const std::lock_guard lock(mutex_);
    if (!started_) Start(cancel);
    if (pid_ < 0) return std::nullopt;
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return std::nullopt;
    const auto answer = Ask({"fork", drawAhead ? "1" : "0"}, sockets[1]);
    close(sockets[1]);
    const auto pid = answer && answer->size() == 2 && (*answer)[0] == "ok"
                         ? protocol::ParseNumber((*answer)[1], 2, INT32_MAX)
                         : std::nullopt;
    if (!pid) {
        close(sockets[0]);
        // A fork refused for want of memory or processes: this engine starts cold, later ones
        // are tried here again.
        if (answer && answer->size() != 3) Fail(QStringLiteral("the engine parent gave an answer that was not understood"));
        return std::nullopt;
    }
    RegisterEngineProcess(static_cast<pid_t>(*pid));
    return EngineProcess{static_cast<pid_t>(*pid), sockets[0]};
}

std::optional<QString> EngineParent::Ended(pid_t engine) {
    const std::lock_guard lock(mutex_);
    UnregisterEngineProcess(engine);
    if (pid_ < 0) return std::nullopt;
    const auto answer = Ask({"ended", std::to_string(engine)}, -1);
    const auto number = answer && answer->size() == 3 && (*answer)[0] == "ok"
                            ? protocol::ParseNumber((*answer)[2], 0, 255)
                            : std::nullopt;
    if (!number || ((*answer)[1] != "signal" && (*answer)[1] != "exit")) {
        if (pid_ >= 0) Fail(QStringLiteral("the engine parent gave an answer that was not understood"));
        return std::nullopt;
    }
    return DescribeEnding((*answer)[1] == "signal", static_cast<int>(*number));
}

void EngineParent::GiveUp(const QString& why) {
    const std::lock_guard lock(mutex_);
    Fail(why);
}

bool EngineParent::Serving() const {
    const std::lock_guard lock(mutex_);
    return started_ && pid_ >= 0;
}

QString EngineParent::ColdStartReason() const {
    const std::lock_guard lock(mutex_);
    return coldStartReason_;
}

void EngineParent::Start(const CancelToken& cancel) {
    started_ = true;
    try {
        slot_ = EngineSlot::Take(options_.stateFolder);
        QDir().mkpath(slot_.folder + QStringLiteral("/profile"));
        // What engines of an earlier parent in this slot left, if it was killed with them.
        for (const char* folder : {"/children", "/tmp"}) {
            QDir().mkpath(slot_.folder + QLatin1String(folder));
            RemoveFolderContents(slot_.folder + QLatin1String(folder));
        }
        const EngineProcess parent = SpawnEngineProcess(
            options_,
            {QStringLiteral("--libreoffice"), options_.libreOfficeProgram, QStringLiteral("--profile"),
             slot_.folder + QStringLiteral("/profile"), QStringLiteral("--children"), slot_.folder + QStringLiteral("/children")},
            slot_.folder + QStringLiteral("/tmp"), slot_.folder + QStringLiteral("/engine.log"), SOCK_SEQPACKET,
            // It serves every thread of this process for as long as a launcher holds it; it ends
            // when its socket closes, however this process ends.
            false);
        pid_ = parent.pid;
        socket_ = parent.socket;
    } catch (const Failure& failure) {
        coldStartReason_ = failure.description();
        return;
    }
    RegisterEngineProcess(pid_);
    answers_ = std::make_unique<protocol::LineReader>(socket_, protocol::kMaxLineBytes);
    using Result = protocol::LineReader::Result;
    std::string line;
    const auto started = std::chrono::steady_clock::now();
    Result result = Result::TimedOut;
    while (result == Result::TimedOut && !cancel.IsCancelled() &&
           std::chrono::steady_clock::now() - started < options_.limits.withoutProgress) {
        result = answers_->Read(line, static_cast<int>(kWatch.count()));
    }
    const std::vector<std::string> fields = protocol::SplitFields(line);
    if (result == Result::Line && fields.size() == 2 && fields[0] == "0" && fields[1] == "ready") return;
    if (result == Result::Line && fields.size() == 4 && fields[1] == "fail") {
        Fail(QString::fromStdString(fields[3]));
    } else if (cancel.IsCancelled()) {
        Stop();  // not the parent's fault: the next run tries again
        started_ = false;
    } else {
        Fail(result == Result::TimedOut ? QStringLiteral("the engine parent did not start in time")
                                        : QStringLiteral("the engine parent did not start"));
    }
}

std::optional<std::vector<std::string>> EngineParent::Ask(const std::vector<std::string>& fields, int descriptor) {
    std::vector<std::string> numbered{std::to_string(++lastRequest_)};
    numbered.insert(numbered.end(), fields.begin(), fields.end());
    std::string text = protocol::JoinFields(numbered) + '\n';
    iovec part{text.data(), text.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char ancillary[CMSG_SPACE(sizeof(int))] = {};
    if (descriptor >= 0) {
        message.msg_control = ancillary;
        message.msg_controllen = sizeof ancillary;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
    }
    ssize_t sent;
    while ((sent = sendmsg(socket_, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    std::string line;
    using Result = protocol::LineReader::Result;
    const Result result = sent < 0 ? Result::Closed : answers_->Read(line, static_cast<int>(std::chrono::milliseconds(kAnswerWait).count()));
    std::vector<std::string> answer = protocol::SplitFields(line);
    if (result == Result::Line && !answer.empty() && answer[0] == numbered[0]) {
        answer.erase(answer.begin());
        return answer;
    }
    if (result == Result::Closed) {
        int status = 0;
        kill(-pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        UnregisterEngineProcess(pid_);
        pid_ = -1;
        Fail(QStringLiteral("the engine parent stopped (%1)").arg(DescribeEnding(WIFSIGNALED(status), WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status))));
    } else {
        Fail(QStringLiteral("the engine parent broke off talking sense"));
    }
    return std::nullopt;
}

void EngineParent::Fail(const QString& why) {
    if (coldStartReason_.isEmpty()) coldStartReason_ = why;
    Stop();
}

void EngineParent::Stop() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);  // its engines go with it
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        UnregisterEngineProcess(pid_);
    }
    pid_ = -1;
    answers_.reset();
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
    if (!slot_.folder.isEmpty()) {
        RemoveFolderContents(slot_.folder + QStringLiteral("/children"));
        RemoveFolderContents(slot_.folder + QStringLiteral("/tmp"));
    }
}

}  // namespace quillivar

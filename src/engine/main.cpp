// quillivar-engine: LibreOffice in a process of its own, driven by the core over the socket
// that is its standard input. See engineprotocol.h for the messages. With --children, it is
// the parent of engines instead: see parent.h.

#include "engineprotocol.h"
#include "linereader.h"
#include "parent.h"
#include "profile.h"
#include "writer.h"

#include <cerrno>
#include <chrono>
#include <optional>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using quillivar::engine::Outcome;
using quillivar::engine::Writer;
namespace protocol = quillivar::protocol;

// Answers go out on the socket, each with the number of the request it answers.
class Channel {
public:
    explicit Channel(int fd) : fd_(fd) {}

    void Send(const std::vector<std::string>& fields) {
        const std::string message = protocol::JoinFields(fields) + '\n';
        std::size_t sent = 0;
        while (sent < message.size()) {
            const ssize_t n = write(fd_, message.data() + sent, message.size() - sent);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) _exit(0);  // nobody is listening any more
            sent += static_cast<std::size_t>(n);
        }
    }

    void Answer(const std::string& id, const Outcome& outcome) {
        std::vector<std::string> fields{id};
        if (outcome.ok) {
            fields.push_back("ok");
            fields.insert(fields.end(), outcome.values.begin(), outcome.values.end());
        } else {
            fields.insert(fields.end(), {"fail", outcome.reason, outcome.detail.substr(0, protocol::kMaxDetailBytes)});
        }
        Send(fields);
    }

private:
    int fd_;
};

// A number field of a request, or -1 when it is not one: the writer refuses -1 as it refuses
// any number out of its range.
int Number(const std::string& text) { return static_cast<int>(protocol::ParseNumber(text, 0, 1'000'000).value_or(-1)); }

Outcome Dispatch(Writer& writer, const std::vector<std::string>& request) {
    const std::string& command = request.at(1);
    const std::size_t arguments = request.size() - 2;
    if (command == "open" && arguments == 2) return writer.Open(request[2], Number(request[3]));
    if (command == "layout" && arguments == 0) return writer.LayOut();
    if (command == "pages" && arguments == 0) return writer.PageCount();
    if (command == "render" && arguments == 5) {
        return writer.Render(Number(request[2]), {Number(request[3]), Number(request[4]), Number(request[5])},
                             Number(request[6]));
    }
    quillivar::ImageFormat format{};
    if (command == "save" && arguments == 4 && quillivar::FormatFromName(request[2], format)) {
        return writer.Save(format, Number(request[3]), request[4], Number(request[5]));
    }
    if (command == "close" && arguments == 0) return writer.Close();
    if (command == "stats" && arguments == 0) return writer.Stats();
    return Outcome::Fail(protocol::reason::kBadRequest, command);
}

// Requests come one at a time, numbered 1, 2, 3, ...; anything else means the other end is
// not the core, and the engine ends rather than guess.
class Requests {
public:
    Requests(int socket, Writer& writer) : socket_(socket), reader_(socket, protocol::kMaxLineBytes), writer_(writer) {}

    // Waits at most `timeoutMs` (-1: as long as it takes) for the next request and answers it.
    // False once the core has hung up or broken the rules.
    bool AnswerNext(int timeoutMs) {
        std::string line;
        const protocol::LineReader::Result result = reader_.Read(line, timeoutMs);
        if (result == protocol::LineReader::Result::TimedOut) return true;
        if (result != protocol::LineReader::Result::Line) return false;
        const std::vector<std::string> request = protocol::SplitFields(line);
        if (request.size() < 2 || protocol::ParseNumber(request[0], expected_, expected_) != expected_) return false;
        ++expected_;
        Channel(socket_).Answer(request[0], Dispatch(writer_, request));
        return true;
    }

    int socket() const { return socket_; }

private:
    int socket_;
    protocol::LineReader reader_;
    Writer& writer_;
    long long expected_ = 1;
};

// A forked engine has no LibreOffice main thread of its own (the one lok_init_2 would start
// waits for a state the fork did not carry over): LibreOffice runs its main loop on this
// thread instead ("unipoll"), and the requests are answered from inside it, whenever it polls.
// It is ready when the loop first polls.
// A request is taken only once LibreOffice has no work of its own waiting (it polls without
// a wait while it has): what it does in idle time, such as laying out footnotes, is then
// done before every request, whatever the timing, as a page's bytes need. Busy for longer
// than kMostBusy, it gets the request all the same.
struct MainLoop {
    static constexpr auto kMostBusy = std::chrono::seconds(1);

    Requests& requests;
    std::string version;
    bool running = false;
    int wakeUp[2] = {-1, -1};
    std::optional<std::chrono::steady_clock::time_point> busySince;

    static int Poll(void* data, int timeoutMicroseconds) {
        MainLoop& loop = *static_cast<MainLoop*>(data);
        if (!loop.running) {
            loop.running = true;
            Channel(loop.requests.socket()).Send({"0", "ready", loop.version});
        }
        const auto now = std::chrono::steady_clock::now();
        if (timeoutMicroseconds == 0) {
            if (!loop.busySince) loop.busySince = now;
            if (now - *loop.busySince < kMostBusy) return 0;
        }
        loop.busySince.reset();
        pollfd watched[2] = {{loop.requests.socket(), POLLIN, 0}, {loop.wakeUp[0], POLLIN, 0}};
        const int timeoutMs = timeoutMicroseconds < 0 ? -1 : (timeoutMicroseconds + 999) / 1000;
        if (poll(watched, 2, timeoutMs) < 0) return 0;
        if (watched[1].revents != 0) {
            char drained[64];
            while (read(loop.wakeUp[0], drained, sizeof drained) > 0) {
            }
        }
        if (watched[0].revents != 0 && !loop.requests.AnswerNext(0)) return -1;  // ends the loop
        return 0;
    }

    static void Wake(void* data) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = write(static_cast<MainLoop*>(data)->wakeUp[1], &byte, 1);
    }
};

// Starts LibreOffice with the given profile and answers the core's requests on `socket` until
// the core hangs up.
[[noreturn]] void Serve(int socket, const std::string& libreOfficeProgram, const std::string& profileFolder,
                        bool drawAhead, bool forked) {
    if (forked) setenv("SAL_LOK_OPTIONS", "unipoll", 1);
    Channel channel(socket);
    Writer writer;
    const Outcome started = writer.Start(libreOfficeProgram, profileFolder, drawAhead, forked);
    if (!started.ok) {
        channel.Answer("0", started);
        _exit(1);
    }
    // A full disk or a file-size limit makes a write fail, which the JPEG writer reports; it
    // must not end the process, as LibreOffice's own handler (set up just now) would have it.
    std::signal(SIGXFSZ, SIG_IGN);

    Requests requests(socket, writer);
    if (forked) {
        MainLoop loop{requests, writer.Version(), false, {-1, -1}, std::nullopt};
        if (pipe2(loop.wakeUp, O_CLOEXEC | O_NONBLOCK) != 0) _exit(1);
        writer.RunMainLoop(MainLoop::Poll, MainLoop::Wake, &loop);
        // Some versions end the loop at once in a forked process; the core then starts its
        // engines cold.
        if (!loop.running) channel.Send({"0", "fail", std::string(protocol::reason::kStart), "LibreOffice's main loop ended before it began"});
    } else {
        channel.Send({"0", "ready", writer.Version()});
        while (requests.AnswerNext(-1)) {
        }
    }
    // LibreOffice's own shutdown is not reliable; the process ending is all the cleanup needed.
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    std::string libreOfficeProgram;
    std::string profileFolder;
    std::string childrenFolder;
    bool drawAhead = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--libreoffice" && i + 1 < argc) libreOfficeProgram = argv[++i];
        if (option == "--profile" && i + 1 < argc) profileFolder = argv[++i];
        if (option == "--children" && i + 1 < argc) childrenFolder = argv[++i];
        if (option == "--draw-ahead") drawAhead = true;
    }

    // The socket is ours alone: LibreOffice's own chatter on standard output goes to the log.
    const int socket = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    // LibreOffice finds no program to start: it would hand a document's EPS picture to
    // whatever gs or convert the path holds, and check each engine's first .odt or .docx for
    // signatures by starting gpgconf, gpg and gpgsm, five programs and 0.15 s or more. A page
    // needs neither.
    setenv("PATH", "", 1);

    if (libreOfficeProgram.empty() || profileFolder.empty()) {
        Channel(socket).Send({"0", "fail", std::string(protocol::reason::kStart),
                              "usage: quillivar-engine --libreoffice DIR --profile DIR [--draw-ahead | --children DIR]"});
        return 2;
    }
    std::string error;
    if (!quillivar::engine::SeedProfile(profileFolder, libreOfficeProgram, error)) {
        Channel(socket).Send({"0", "fail", std::string(protocol::reason::kStart), error});
        return 1;
    }
    if (!childrenFolder.empty()) {
        return quillivar::engine::RunParent(socket, libreOfficeProgram, profileFolder, childrenFolder, Serve);
    }
    Serve(socket, libreOfficeProgram, profileFolder, drawAhead, false);
}

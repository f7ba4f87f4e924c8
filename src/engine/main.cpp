// quillivar-engine: LibreOffice in a process of its own, driven by the core over the socket
// that is its standard input. See engineprotocol.h for the messages. With --children, it is
// the parent of engines instead: see parent.h.

#include "engineprotocol.h"
#include "linereader.h"
#include "parent.h"
#include "profile.h"
#include "writer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

// Starts LibreOffice with the given profile and answers the core's requests on `socket` until
// the core hangs up.
[[noreturn]] void Serve(int socket, const std::string& libreOfficeProgram, const std::string& profileFolder,
                        bool drawAhead) {
    Channel channel(socket);
    Writer writer;
    const Outcome started = writer.Start(libreOfficeProgram, profileFolder, drawAhead);
    if (!started.ok) {
        channel.Answer("0", started);
        _exit(1);
    }
    // A full disk or a file-size limit makes a write fail, which the JPEG writer reports; it
    // must not end the process, as LibreOffice's own handler (set up just now) would have it.
    std::signal(SIGXFSZ, SIG_IGN);
    channel.Send({"0", "ready", writer.Version()});

    // Requests come one at a time, numbered 1, 2, 3, ...; anything else means the other end
    // is not the core, and the engine ends rather than guess.
    protocol::LineReader requests(socket, protocol::kMaxLineBytes);
    std::string line;
    long long expected = 1;
    while (requests.Read(line, -1) == protocol::LineReader::Result::Line) {
        const std::vector<std::string> request = protocol::SplitFields(line);
        if (request.size() < 2 || protocol::ParseNumber(request[0], expected, expected) != expected) break;
        ++expected;
        channel.Answer(request[0], Dispatch(writer, request));
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
    Serve(socket, libreOfficeProgram, profileFolder, drawAhead);
}

// quillivar-engine: LibreOffice in a process of its own, driven by the core over the socket
// that is its standard input. See engineprotocol.h for the messages.

#include "engineprotocol.h"
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

class Channel {
public:
    explicit Channel(int fd) : fd_(fd) {}

    bool ReadLine(std::string& line) {
        while (true) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return true;
            }
            char chunk[4096];
            const ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

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

    void Answer(const Outcome& outcome) {
        std::vector<std::string> fields;
        if (outcome.ok) {
            fields.push_back("ok");
            fields.insert(fields.end(), outcome.values.begin(), outcome.values.end());
        } else {
            fields = {"fail", outcome.reason, outcome.detail};
        }
        Send(fields);
    }

private:
    int fd_;
    std::string buffer_;
};

int Number(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return (end && *end == '\0' && !text.empty()) ? static_cast<int>(value) : -1;
}

Outcome Dispatch(Writer& writer, const std::vector<std::string>& request) {
    const std::string& command = request.at(0);
    const std::size_t arguments = request.size() - 1;
    if (command == "open" && arguments == 1) return writer.Open(request[1]);
    if (command == "layout" && arguments == 0) return writer.LayOut();
    if (command == "pages" && arguments == 0) return writer.PageCount();
    if (command == "render" && arguments == 2) return writer.Render(Number(request[1]), Number(request[2]));
    if (command == "save" && arguments == 2) return writer.Save(Number(request[1]), request[2]);
    if (command == "close" && arguments == 0) return writer.Close();
    if (command == "stats" && arguments == 0) return writer.Stats();
    return Outcome::Fail(protocol::reason::kBadRequest, command);
}

}  // namespace

int main(int argc, char** argv) {
    std::string libreOfficeProgram;
    std::string profileFolder;
    bool drawAhead = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--libreoffice" && i + 1 < argc) libreOfficeProgram = argv[++i];
        if (option == "--profile" && i + 1 < argc) profileFolder = argv[++i];
        if (option == "--draw-ahead") drawAhead = true;
    }

    // The socket is ours alone: LibreOffice's own chatter on standard output goes to the log.
    Channel channel(fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);

    if (libreOfficeProgram.empty() || profileFolder.empty()) {
        channel.Send({"fail", std::string(protocol::reason::kStart), "usage: quillivar-engine --libreoffice DIR --profile DIR [--draw-ahead]"});
        return 2;
    }
    std::string error;
    if (!quillivar::engine::SeedProfile(profileFolder, libreOfficeProgram, error)) {
        channel.Send({"fail", std::string(protocol::reason::kStart), error});
        return 1;
    }
    Writer writer;
    const Outcome started = writer.Start(libreOfficeProgram, profileFolder, drawAhead);
    if (!started.ok) {
        channel.Answer(started);
        _exit(1);
    }
    // A full disk or a file-size limit makes a write fail, which the JPEG writer reports; it
    // must not end the process, as LibreOffice's own handler (set up just now) would have it.
    std::signal(SIGXFSZ, SIG_IGN);
    channel.Send({"ready", writer.Version()});

    std::string line;
    while (channel.ReadLine(line)) {
        channel.Answer(Dispatch(writer, protocol::SplitFields(line)));
    }
    // LibreOffice's own shutdown is not reliable; the process ending is all the cleanup needed.
    _exit(0);
}

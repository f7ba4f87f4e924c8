// fake-engine: stands in for quillivar-engine where a test needs an engine that misbehaves in
// a set way. It speaks the engine protocol on its standard input and output and does what the
// FAKE_ENGINE variable says:
//   hang-on-open   opening any document never finishes
// Other requests are answered as for an empty one-page document.

#include "engineprotocol.h"
#include "linereader.h"

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillivar::protocol;

void Send(const std::vector<std::string>& fields) {
    const std::string line = JoinFields(fields) + '\n';
    if (write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::exit(0);
}

}  // namespace

int main() {
    const char* setting = std::getenv("FAKE_ENGINE");
    const std::string behaviour = setting ? setting : "";
    Send({"0", "ready", "fake"});
    LineReader requests(STDIN_FILENO, kMaxLineBytes);
    std::string line;
    while (requests.Read(line, -1) == LineReader::Result::Line) {
        const std::vector<std::string> request = SplitFields(line);
        if (request.size() < 2) return 1;
        const std::string& id = request[0];
        const std::string& command = request[1];
        if (command == "open" && behaviour == "hang-on-open") {
            for (;;) pause();
        }
        if (command == "pages") {
            Send({id, "ok", "1"});
        } else if (command == "render") {
            Send({id, "ok", "794", "1123"});
        } else if (command == "stats") {
            Send({id, "ok", "0", "0", "0", "0"});
        } else {
            Send({id, "ok"});
        }
    }
    return 0;
}

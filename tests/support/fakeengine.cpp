// fake-engine: stands in for quillivar-engine where a test needs an engine that misbehaves in
// a set way. It speaks the engine protocol on its standard input and output and does what the
// FAKE_ENGINE variable says:
//   hang-on-open      opening any document never finishes
//   answer-twice      every answer is sent twice
//   long-answer       the answer to an open is longer than any answer may be
//   bad-page-count    the page count is "-3"
//   busy-on-open=S    opening keeps a processor busy for S seconds, then succeeds
//   crash-ahead       documents have 3 pages, and painting page 3 ends the engine: with
//                     --draw-ahead, painted from when page 1 is saved, it ends the engine
//                     once page 2's file is written; without, when page 3 is drawn
//   crash-saving      documents have 3 pages; saving page 1 ends the engine before the file
//                     is written
//   crash-closing     closing a document ends the engine
// Other requests are answered as for an empty one-page document.

#include "engineprotocol.h"
#include "linereader.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
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

int main(int argc, char** argv) {
    const char* setting = std::getenv("FAKE_ENGINE");
    const std::string behaviour = setting ? setting : "";
    const bool paintsAhead = std::string(argv[argc - 1]) == "--draw-ahead";
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
        if (command == "open" && behaviour == "long-answer") {
            Send({id, "ok", std::string(kMaxLineBytes, 'x')});
        } else if (command == "open" && behaviour.rfind("busy-on-open=", 0) == 0) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(behaviour.c_str() + 13));
            while (std::chrono::steady_clock::now() < until) {
            }
            Send({id, "ok"});
        } else if (command == "pages") {
            Send({id, "ok", behaviour == "bad-page-count" ? "-3" : behaviour.rfind("crash-", 0) == 0 ? "3" : "1", "whole"});
        } else if ((command == "save" && behaviour == "crash-saving") || (command == "close" && behaviour == "crash-closing")) {
            std::_Exit(1);
        } else if (command == "save" && request.size() == 6 && behaviour == "crash-ahead" && paintsAhead) {
            std::ofstream(request[4]) << "page";
            if (request[4].ends_with("_2.jpg")) std::_Exit(1);
            Send({id, "ok", "3"});
        } else if (command == "render" && behaviour == "crash-ahead" && request.size() > 2 && request[2] == "3") {
            std::_Exit(1);
        } else if (command == "save") {
            Send({id, "ok", "0"});
        } else if (command == "render") {
            Send({id, "ok", "794", "1123", "11906", "16838"});
        } else if (command == "stats") {
            Send({id, "ok", "0", "0", "0", "0", "0"});
        } else {
            Send({id, "ok"});
        }
        if (behaviour == "answer-twice") Send({id, "ok"});
    }
    return 0;
}

#include "linereader.h"

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <poll.h>
#include <unistd.h>

namespace quillivar::protocol {

LineReader::LineReader(int fd, std::size_t maxLineBytes) : fd_(fd), maxLineBytes_(maxLineBytes) {}

bool LineReader::TakeLine(std::string& line) {
    const std::size_t end = buffer_.find('\n', scanned_);
    if (end == std::string::npos) {
        scanned_ = buffer_.size();
        return false;
    }
    line.assign(buffer_, start_, end - start_);
    start_ = scanned_ = end + 1;
    // Drop what was read once it is most of the buffer, so each byte moves a bounded number
    // of times.
    if (start_ > buffer_.size() / 2) {
        buffer_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;
    }
    return true;
}

LineReader::Result LineReader::Read(std::string& line, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    bool looked = false;  // a timeout of 0 still takes what has arrived
    while (true) {
        if (broken_) return Result::TooLong;
        if (TakeLine(line)) {
            if (line.size() <= maxLineBytes_) return Result::Line;
            broken_ = true;
            return Result::TooLong;
        }
        if (buffer_.size() - start_ > maxLineBytes_) {
            broken_ = true;
            return Result::TooLong;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 && looked) return Result::TimedOut;
            wait = static_cast<int>(std::max<long long>(left, 0));
        }
        looked = true;
        pollfd readable{fd_, POLLIN, 0};
        const int ready = poll(&readable, 1, wait);
        if (ready < 0 && errno != EINTR) return Result::Closed;
        if (ready <= 0) continue;
        char chunk[65536];
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return Result::Closed;
        if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace quillivar::protocol

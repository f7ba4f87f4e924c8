#pragma once
// Reads the line protocol from a socket or pipe: whole lines, each at most a set length, in
// time linear in the bytes read. Both ends of the engine protocol use it.

#include <cstddef>
#include <string>

namespace quillivar::protocol {

class LineReader {
public:
    enum class Result { Line, Closed, TimedOut, TooLong };

    LineReader(int fd, std::size_t maxLineBytes);

    // The next line, without its line end. Waits at most `timeoutMs` milliseconds for it
    // (-1: as long as it takes). A line longer than the limit is TooLong, and so is every
    // read after it: the stream cannot be trusted any more.
    Result Read(std::string& line, int timeoutMs);

private:
    bool TakeLine(std::string& line);

    int fd_;
    std::size_t maxLineBytes_;
    std::string buffer_;
    std::size_t start_ = 0;    // where the unread part of buffer_ begins
    std::size_t scanned_ = 0;  // buffer_ up to here holds no line end
    bool broken_ = false;
};

}  // namespace quillivar::protocol

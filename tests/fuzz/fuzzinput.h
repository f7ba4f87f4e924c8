#pragma once
// A fuzzer's input as the file path the readers take: the bytes in a file in memory.

#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace quillivar::fuzz {

inline std::string AsFile(const unsigned char* data, std::size_t size) {
    static const int fd = memfd_create("document", 0);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
}

inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string name = "/tmp/quillivar-fuzz-XXXXXX";
        if (!mkdtemp(name.data())) std::abort();
        return name;
    }();
    return folder;
}

}  // namespace quillivar::fuzz

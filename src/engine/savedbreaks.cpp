#include "savedbreaks.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillivar::engine {

namespace {

constexpr std::string_view kSavedBreaks = "layout-cache";
constexpr std::string_view kOutOfTheWay = "unused-cache";  // as long, so no offset moves
constexpr std::string_view kFileNameField = "<text:file-name";
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kCentralHeader = 46;
constexpr std::size_t kLocalHeader = 30;

std::uint16_t U16(const unsigned char* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }
std::uint32_t U32(const unsigned char* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool ReadAt(int fd, void* into, std::size_t size, off_t at) {
    auto* bytes = static_cast<unsigned char*>(into);
    while (size > 0) {
        const ssize_t n = pread(fd, bytes, size, at);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}

bool WriteAt(int fd, std::string_view bytes, off_t at) {
    return pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size());
}

// An archive member, as the central directory lists it.
struct Member {
    std::string name;
    std::uint16_t method = 0;
    std::uint32_t compressedSize = 0;
    off_t local = 0;    // its local header
    off_t central = 0;  // its central directory entry
};

std::optional<std::vector<Member>> Members(int fd, off_t fileSize) {
    // The end record is the last 22 bytes but for a comment of at most 65535.
    const off_t tail = std::min<off_t>(fileSize, 22 + 65535);
    std::vector<unsigned char> end(static_cast<std::size_t>(tail));
    if (tail < 22 || !ReadAt(fd, end.data(), end.size(), fileSize - tail)) return std::nullopt;
    for (off_t at = tail - 22; at >= 0; --at) {
        const unsigned char* record = end.data() + at;
        if (U32(record) != kEndSignature) continue;
        const std::uint16_t count = U16(record + 10);
        const std::uint32_t size = U32(record + 12);
        const off_t start = U32(record + 16);
        if (start + static_cast<off_t>(size) > fileSize) return std::nullopt;  // also a ZIP64 archive
        std::vector<unsigned char> directory(size);
        if (!ReadAt(fd, directory.data(), size, start)) return std::nullopt;
        std::vector<Member> members;
        std::size_t offset = 0;
        for (int i = 0; i < count; ++i) {
            if (offset + kCentralHeader > size || U32(&directory[offset]) != kCentralSignature) return std::nullopt;
            const unsigned char* entry = &directory[offset];
            const std::size_t nameLength = U16(entry + 28);
            const std::size_t next = offset + kCentralHeader + nameLength + U16(entry + 30) + U16(entry + 32);
            if (next > size) return std::nullopt;
            members.push_back({std::string(reinterpret_cast<const char*>(entry + kCentralHeader), nameLength),
                               U16(entry + 10), U32(entry + 20), static_cast<off_t>(U32(entry + 42)),
                               start + static_cast<off_t>(offset)});
            offset = next;
        }
        return members;
    }
    return std::nullopt;
}

// Where a member's data starts, after its local header; checks the header names it.
std::optional<off_t> DataOf(int fd, const Member& member) {
    unsigned char header[kLocalHeader];
    if (!ReadAt(fd, header, sizeof header, member.local) || U32(header) != kLocalSignature) return std::nullopt;
    std::string name(U16(header + 26), '\0');
    if (!ReadAt(fd, name.data(), name.size(), member.local + static_cast<off_t>(kLocalHeader)) || name != member.name) {
        return std::nullopt;
    }
    return member.local + static_cast<off_t>(kLocalHeader + name.size() + U16(header + 28));
}

// Whether a member's text holds `text`; nothing when it cannot be read (encrypted, say).
std::optional<bool> Holds(int fd, const Member& member, std::string_view text) {
    const std::optional<off_t> data = DataOf(fd, member);
    if (!data || (member.method != 0 && member.method != Z_DEFLATED)) return std::nullopt;
    z_stream stream{};
    if (member.method == Z_DEFLATED && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    std::vector<unsigned char> input(1 << 16);
    std::vector<unsigned char> output(1 << 18);
    std::string window;  // what was read lately, enough to find the text across two reads
    std::optional<bool> found = false;
    const auto look = [&](const unsigned char* bytes, std::size_t size) {
        window.append(reinterpret_cast<const char*>(bytes), size);
        if (window.find(text) != std::string::npos) return true;
        if (window.size() >= text.size()) window.erase(0, window.size() - text.size() + 1);
        return false;
    };
    off_t at = *data;
    for (std::uint32_t left = member.compressedSize; left > 0 && found == false;) {
        const std::size_t size = std::min<std::size_t>(left, input.size());
        if (!ReadAt(fd, input.data(), size, at)) {
            found.reset();
            break;
        }
        at += static_cast<off_t>(size);
        left -= static_cast<std::uint32_t>(size);
        if (member.method == 0) {
            found = look(input.data(), size);
            continue;
        }
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(size);
        do {
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(output.size());
            const int status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                found.reset();
                break;
            }
            if (look(output.data(), output.size() - stream.avail_out)) found = true;
            if (status == Z_STREAM_END) break;
        } while (stream.avail_out == 0 && found == false);
    }
    if (member.method == Z_DEFLATED) inflateEnd(&stream);
    return found;
}

}  // namespace

std::string CopyWithoutSavedBreaks(const std::string& path, const std::string& folder) {
    const Descriptor original(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (original.get() < 0 || fstat(original.get(), &info) != 0) return {};
    const auto members = Members(original.get(), info.st_size);
    if (!members) return {};
    const auto savedBreaks = std::find_if(members->begin(), members->end(),
                                          [](const Member& member) { return member.name == kSavedBreaks; });
    if (savedBreaks == members->end()) return {};
    // Headers and footers are in the styles, the body in the content.
    for (const Member& member : *members) {
        if (member.name != "content.xml" && member.name != "styles.xml") continue;
        if (Holds(original.get(), member, kFileNameField) != false) return {};
    }

    std::string copyFolder = folder + "/document-XXXXXX";
    if (!mkdtemp(copyFolder.data())) return {};
    const std::string copyPath = copyFolder + "/" + path.substr(path.rfind('/') + 1);  // npos + 1 is 0
    bool copied = false;
    {
        const Descriptor target(open(copyPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        off_t offset = 0;
        while (target.get() >= 0 && offset < info.st_size) {
            if (sendfile(target.get(), original.get(), &offset, static_cast<std::size_t>(info.st_size - offset)) <= 0) break;
        }
        // The same name in the local header and in the central directory.
        copied = offset == info.st_size && DataOf(original.get(), *savedBreaks) &&
                 WriteAt(target.get(), kOutOfTheWay, savedBreaks->local + static_cast<off_t>(kLocalHeader)) &&
                 WriteAt(target.get(), kOutOfTheWay, savedBreaks->central + static_cast<off_t>(kCentralHeader));
    }
    if (copied) return copyPath;
    unlink(copyPath.c_str());
    rmdir(copyFolder.c_str());
    return {};
}

}  // namespace quillivar::engine

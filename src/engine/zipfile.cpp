#include "zipfile.h"

#include <zlib.h>

#include <algorithm>
#include <utility>
#include <cstdint>
#include <unistd.h>

namespace quillivar::engine {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndRecord = 22;
constexpr std::size_t kCentralHeader = 46;
constexpr std::size_t kLocalHeader = 30;

std::uint16_t U16(const unsigned char* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }
std::uint32_t U32(const unsigned char* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}
void PutU16(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}
void PutU32(unsigned char* at, std::uint32_t value) {
    PutU16(at, value);
    PutU16(at + 2, value >> 16);
}

bool WriteAll(int fd, const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CopyRange(int from, off_t start, off_t end, int to) {
    std::vector<unsigned char> buffer(1 << 16);
    while (start < end) {
        const std::size_t size = static_cast<std::size_t>(std::min<off_t>(end - start, static_cast<off_t>(buffer.size())));
        if (!ReadAt(from, buffer.data(), size, start) || !WriteAll(to, buffer.data(), size)) return false;
        start += static_cast<off_t>(size);
    }
    return true;
}

// Where a member's data starts, after its local header; checks the header names it.
std::optional<off_t> DataOf(int fd, const ZipMember& member) {
    unsigned char header[kLocalHeader];
    if (!ReadAt(fd, header, sizeof header, member.local) || U32(header) != kLocalSignature) return std::nullopt;
    std::string name(U16(header + 26), '\0');
    if (!ReadAt(fd, name.data(), name.size(), member.local + static_cast<off_t>(kLocalHeader)) || name != member.name) {
        return std::nullopt;
    }
    return member.local + static_cast<off_t>(kLocalHeader + name.size() + U16(header + 28));
}

}  // namespace

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

const ZipMember* ZipDirectory::Find(std::string_view name) const {
    const auto found = std::find_if(members.begin(), members.end(), [&](const ZipMember& member) { return member.name == name; });
    return found == members.end() ? nullptr : &*found;
}

std::optional<ZipDirectory> ReadZipDirectory(int fd, off_t fileSize) {
    // The end record is the last 22 bytes but for a comment of at most 65535.
    const off_t tail = std::min<off_t>(fileSize, kEndRecord + 65535);
    if (tail < static_cast<off_t>(kEndRecord)) return std::nullopt;
    std::vector<unsigned char> end(static_cast<std::size_t>(tail));
    if (!ReadAt(fd, end.data(), end.size(), fileSize - tail)) return std::nullopt;
    for (off_t at = tail - static_cast<off_t>(kEndRecord); at >= 0; --at) {
        const unsigned char* record = end.data() + at;
        if (U32(record) != kEndSignature) continue;
        const std::uint16_t count = U16(record + 10);
        const std::uint32_t size = U32(record + 12);
        ZipDirectory directory;
        directory.start = U32(record + 16);
        directory.end = fileSize - tail + at;
        if (directory.start + static_cast<off_t>(size) > directory.end) return std::nullopt;  // also a ZIP64 archive
        std::vector<unsigned char> entries(size);
        if (!ReadAt(fd, entries.data(), size, directory.start)) return std::nullopt;
        std::size_t offset = 0;
        for (int i = 0; i < count; ++i) {
            if (offset + kCentralHeader > size || U32(&entries[offset]) != kCentralSignature) return std::nullopt;
            const unsigned char* entry = &entries[offset];
            const std::size_t nameLength = U16(entry + 28);
            const std::size_t next = offset + kCentralHeader + nameLength + U16(entry + 30) + U16(entry + 32);
            if (next > size) return std::nullopt;
            const off_t local = U32(entry + 42);
            if (local >= directory.start) return std::nullopt;
            directory.members.push_back({std::string(reinterpret_cast<const char*>(entry + kCentralHeader), nameLength),
                                         U16(entry + 10), U32(entry + 20), U32(entry + 24), local,
                                         directory.start + static_cast<off_t>(offset)});
            offset = next;
        }
        return directory;
    }
    return std::nullopt;
}

std::string Utf16(std::string_view ascii) {
    std::string wide;
    for (const char c : ascii) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

TextFinder::TextFinder(std::vector<std::string_view> texts) : texts_(std::move(texts)) {
    for (const std::string_view text : texts_) longest_ = std::max(longest_, text.size());
}

bool TextFinder::Look(std::string_view bytes) {
    window_.append(bytes);
    for (const std::string_view text : texts_) {
        if (window_.find(text) != std::string::npos) return true;
    }
    if (window_.size() >= longest_) window_.erase(0, window_.size() - longest_ + 1);
    return false;
}

std::optional<bool> MemberHolds(int fd, const ZipMember& member, const std::vector<std::string_view>& texts) {
    const std::optional<off_t> data = DataOf(fd, member);
    if (!data || (member.method != 0 && member.method != Z_DEFLATED)) return std::nullopt;
    z_stream stream{};
    if (member.method == Z_DEFLATED && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    std::vector<unsigned char> input(1 << 16);
    std::vector<unsigned char> output(1 << 18);
    TextFinder finder(texts);
    std::optional<bool> found = false;
    const auto look = [&](const unsigned char* bytes, std::size_t size) {
        return finder.Look(std::string_view(reinterpret_cast<const char*>(bytes), size));
    };
    off_t at = *data;
    for (unsigned long left = member.compressedSize; left > 0 && found == false;) {
        const std::size_t size = std::min<std::size_t>(left, input.size());
        if (!ReadAt(fd, input.data(), size, at)) {
            found.reset();
            break;
        }
        at += static_cast<off_t>(size);
        left -= size;
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

bool CopyWithout(int fd, const ZipDirectory& directory, off_t fileSize, const ZipMember& leftOut, int target) {
    // The member's bytes run from its local header to the next member's, or to the directory.
    off_t until = directory.start;
    for (const ZipMember& member : directory.members) {
        if (member.local > leftOut.local) until = std::min(until, member.local);
    }
    const off_t gap = until - leftOut.local;
    std::vector<unsigned char> entries(static_cast<std::size_t>(directory.end - directory.start));
    if (!ReadAt(fd, entries.data(), entries.size(), directory.start)) return false;
    std::vector<unsigned char> kept;
    for (const ZipMember& member : directory.members) {
        const std::size_t at = static_cast<std::size_t>(member.central - directory.start);
        const unsigned char* entry = &entries[at];
        const std::size_t length = kCentralHeader + U16(entry + 28) + U16(entry + 30) + U16(entry + 32);
        if (member.central == leftOut.central) continue;
        const std::size_t from = kept.size();
        kept.insert(kept.end(), entry, entry + length);
        if (member.local > leftOut.local) PutU32(&kept[from + 42], static_cast<std::uint32_t>(member.local - gap));
    }
    std::vector<unsigned char> end(static_cast<std::size_t>(fileSize - directory.end));
    if (!ReadAt(fd, end.data(), end.size(), directory.end)) return false;
    PutU16(&end[8], U16(&end[8]) - 1u);
    PutU16(&end[10], U16(&end[10]) - 1u);
    PutU32(&end[12], static_cast<std::uint32_t>(kept.size()));
    PutU32(&end[16], static_cast<std::uint32_t>(directory.start - gap));
    return CopyRange(fd, 0, leftOut.local, target) && CopyRange(fd, until, directory.start, target) &&
           WriteAll(target, kept.data(), kept.size()) && WriteAll(target, end.data(), end.size());
}

}  // namespace quillivar::engine

#pragma once
// Just enough of the ZIP format to look inside an OpenDocument or OOXML package before
// LibreOffice opens it, and to copy one without a member. Every size and offset comes from a
// stranger's file and is checked before it is used.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quillivar::engine {

// Reads exactly `size` bytes at `at`; false at the file's end or on an error.
bool ReadAt(int fd, void* into, std::size_t size, off_t at);

// An archive member, as the central directory lists it.
struct ZipMember {
    std::string name;
    unsigned method = 0;
    unsigned long compressedSize = 0;
    unsigned long size = 0;  // unpacked, as the directory claims
    off_t local = 0;    // its local header
    off_t central = 0;  // its central directory entry
};

struct ZipDirectory {
    std::vector<ZipMember> members;
    off_t start = 0;  // of the central directory
    off_t end = 0;    // of the end record
    const ZipMember* Find(std::string_view name) const;
};

// The members of the archive open at `fd`, or nothing when it is not one (or a ZIP64 archive).
std::optional<ZipDirectory> ReadZipDirectory(int fd, off_t fileSize);

// ASCII text as UTF-16 little-endian, as Word 97-2003 files and OLE containers write names.
std::string Utf16(std::string_view ascii);

// Finds any of several texts in bytes that come a piece at a time.
class TextFinder {
public:
    explicit TextFinder(std::vector<std::string_view> texts);
    // Whether one of the texts has come, in this piece or across it and those before.
    bool Look(std::string_view piece);

private:
    std::vector<std::string_view> texts_;
    std::size_t longest_ = 1;
    std::string window_;  // what came lately, enough to find a text across two pieces
};

// Whether a stored or deflated member's text holds any of `texts`; nothing when it cannot be
// read.
std::optional<bool> MemberHolds(int fd, const ZipMember& member, const std::vector<std::string_view>& texts);

// Writes the archive at `fd` without `leftOut` to `target`: the other members' bytes as they
// are, the directory's offsets moved up. False when a write fails.
bool CopyWithout(int fd, const ZipDirectory& directory, off_t fileSize, const ZipMember& leftOut, int target);

}  // namespace quillivar::engine

#include "encryption.h"

#include "zipfile.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillivar::engine {

namespace {

std::uint16_t U16(const unsigned char* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }
std::uint32_t U32(const unsigned char* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// An OLE compound file, read as far as its directory and the first bytes of a stream. Every
// chain is followed at most as many steps as the file has sectors, so a loop cannot hold us.
class CompoundFile {
public:
    struct Stream {
        std::uint32_t start = 0;
        std::uint64_t size = 0;
    };

    static std::optional<CompoundFile> Open(int fd, off_t fileSize) {
        unsigned char header[512];
        static constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        if (fileSize < 512 || !ReadAt(fd, header, sizeof header, 0) || !std::equal(kSignature, kSignature + 8, header)) {
            return std::nullopt;
        }
        CompoundFile file(fd, fileSize);
        const unsigned shift = U16(header + 0x1E);
        if (shift != 9 && shift != 12) return std::nullopt;
        file.sectorSize_ = 1u << shift;
        file.sectors_ = static_cast<std::uint32_t>(std::min<off_t>((fileSize - 1) / file.sectorSize_, 0xFFFFFFF0));
        file.miniCutoff_ = U32(header + 0x38);
        file.directoryStart_ = U32(header + 0x30);
        // The sectors that hold the allocation table: 109 listed in the header, the rest in a
        // chain of their own.
        const std::uint32_t fatSectors = U32(header + 0x2C);
        if (fatSectors > file.sectors_) return std::nullopt;
        for (unsigned i = 0; i < 109 && file.fat_.size() < fatSectors; ++i) file.fat_.push_back(U32(header + 0x4C + 4 * i));
        const std::uint32_t perSector = file.sectorSize_ / 4;
        std::vector<unsigned char> sector(file.sectorSize_);
        std::uint32_t next = U32(header + 0x44);
        for (std::uint32_t steps = 0; file.fat_.size() < fatSectors; ++steps) {
            if (steps > file.sectors_ || !file.ReadSector(next, sector.data())) return std::nullopt;
            for (std::uint32_t i = 0; i + 1 < perSector && file.fat_.size() < fatSectors; ++i) {
                file.fat_.push_back(U32(&sector[4 * i]));
            }
            next = U32(&sector[4 * (perSector - 1)]);
        }
        return file;
    }

    // The stream or storage of that name anywhere in the directory.
    std::optional<Stream> Find(std::string_view name) const {
        std::optional<Stream> found;
        ForEachEntry([&](const unsigned char* entry) {
            const std::size_t length = std::min<std::size_t>(U16(entry + 0x40), 64) / 2;
            if (length == 0 || length - 1 != name.size()) return false;
            for (std::size_t i = 0; i < name.size(); ++i) {
                if (U16(entry + 2 * i) != static_cast<unsigned char>(name[i])) return false;
            }
            found = Stream{U32(entry + 0x74), U32(entry + 0x78) | static_cast<std::uint64_t>(U32(entry + 0x7C)) << 32};
            return true;
        });
        return found;
    }

    // The first `size` bytes of a stream, which must all lie in its first sector.
    std::optional<std::vector<unsigned char>> Head(const Stream& stream, std::size_t size) const {
        if (stream.size < size) return std::nullopt;
        std::vector<unsigned char> bytes(size);
        if (stream.size >= miniCutoff_) {
            if (size > sectorSize_ || !ReadSector(stream.start, bytes.data(), size)) return std::nullopt;
            return bytes;
        }
        // A small stream lives in 64-byte pieces inside the root entry's own stream.
        std::optional<Stream> root;
        ForEachEntry([&](const unsigned char* entry) {
            if (entry[0x42] == 5) root = Stream{U32(entry + 0x74), U32(entry + 0x78)};
            return true;  // the root entry comes first
        });
        if (!root || size > 64) return std::nullopt;
        const std::uint64_t offset = static_cast<std::uint64_t>(stream.start) * 64;
        std::uint32_t sector = root->start;
        for (std::uint64_t skip = offset / sectorSize_, steps = 0; skip > 0; --skip) {
            if (++steps > sectors_ || !Next(sector)) return std::nullopt;
        }
        const off_t at = SectorOffset(sector) + static_cast<off_t>(offset % sectorSize_);
        if (sector >= sectors_ || at + static_cast<off_t>(size) > fileSize_ || !ReadAt(fd_, bytes.data(), size, at)) {
            return std::nullopt;
        }
        return bytes;
    }

private:
    CompoundFile(int fd, off_t fileSize) : fd_(fd), fileSize_(fileSize) {}

    off_t SectorOffset(std::uint32_t sector) const { return (static_cast<off_t>(sector) + 1) * sectorSize_; }

    bool ReadSector(std::uint32_t sector, unsigned char* into, std::size_t size = 0) const {
        return sector < sectors_ && ReadAt(fd_, into, size ? size : sectorSize_, SectorOffset(sector));
    }

    // Moves to the next sector of a chain; false at its end or on anything out of place.
    bool Next(std::uint32_t& sector) const {
        const std::uint32_t perSector = sectorSize_ / 4;
        if (sector >= sectors_ || sector / perSector >= fat_.size()) return false;
        unsigned char entry[4];
        if (!ReadAt(fd_, entry, 4, SectorOffset(fat_[sector / perSector]) + 4 * static_cast<off_t>(sector % perSector))) {
            return false;
        }
        sector = U32(entry);
        return sector < sectors_;
    }

    // Calls `visit` with each 128-byte directory entry until it returns true.
    template <typename Visit>
    void ForEachEntry(Visit visit) const {
        std::vector<unsigned char> sector(sectorSize_);
        std::uint32_t at = directoryStart_;
        for (std::uint32_t steps = 0; steps <= sectors_; ++steps) {
            if (!ReadSector(at, sector.data())) return;
            for (std::size_t entry = 0; entry < sectorSize_; entry += 128) {
                if (visit(&sector[entry])) return;
            }
            if (!Next(at)) return;
        }
    }

    int fd_;
    off_t fileSize_;
    std::uint32_t sectorSize_ = 512;
    std::uint32_t sectors_ = 0;
    std::uint32_t miniCutoff_ = 4096;
    std::uint32_t directoryStart_ = 0;
    std::vector<std::uint32_t> fat_;  // the sectors of the allocation table
};

bool IsEncryptedCompoundFile(const CompoundFile& file) {
    // An OOXML document with a password: its encrypted package and how it was encrypted.
    if (file.Find("EncryptedPackage") && file.Find("EncryptionInfo")) return true;
    // A Word document: its file information block says so (Word 97-2003, and Word 6 and 95).
    const auto wordDocument = file.Find("WordDocument");
    if (!wordDocument) return false;
    const auto head = file.Head(*wordDocument, 12);
    constexpr std::uint16_t kWord97 = 0xA5EC;
    constexpr std::uint16_t kWord6 = 0xA5DC;
    constexpr std::uint16_t kEncrypted = 0x0100;
    return head && (U16(head->data()) == kWord97 || U16(head->data()) == kWord6) && (U16(head->data() + 0x0A) & kEncrypted);
}

bool IsEncryptedPackage(int fd, off_t fileSize) {
    const auto directory = ReadZipDirectory(fd, fileSize);
    if (!directory) return false;
    const ZipMember* manifest = directory->Find("META-INF/manifest.xml");
    return manifest && MemberHolds(fd, *manifest, {"encryption-data"}) == true;
}

}  // namespace

DocumentBytes ReadDocumentBytes(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return DocumentBytes::kOther;
    struct stat info {};
    DocumentBytes bytes = DocumentBytes::kOther;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        if (const auto compound = CompoundFile::Open(fd, info.st_size)) {
            bytes = IsEncryptedCompoundFile(*compound) ? DocumentBytes::kEncrypted
                    : compound->Find("WordDocument")   ? DocumentBytes::kOther
                                                       : DocumentBytes::kNoWordDocument;
        } else if (IsEncryptedPackage(fd, info.st_size)) {
            bytes = DocumentBytes::kEncrypted;
        }
    }
    close(fd);
    return bytes;
}

}  // namespace quillivar::engine

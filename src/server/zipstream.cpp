#include "zipstream.h"

#include <QDateTime>

#include <zlib.h>

namespace quillivar::server {

namespace {

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint16_t kUtf8Names = 0x0800;
constexpr std::uint16_t kVersion = 20;        // 2.0: stored entries
constexpr std::uint16_t kVersionZip64 = 45;   // 4.5: ZIP64 records
constexpr std::uint16_t kMadeOnUnix = 3 << 8;

void Put16(QByteArray& out, std::uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}
void Put32(QByteArray& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}
void Put64(QByteArray& out, std::uint64_t value) {
    Put32(out, static_cast<std::uint32_t>(value & kMax32));
    Put32(out, static_cast<std::uint32_t>(value >> 32));
}

// The time the entries carry, in MS-DOS form: now, to the two seconds.
std::pair<std::uint16_t, std::uint16_t> DosTimeAndDate() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    const auto dosTime = static_cast<std::uint16_t>((time.hour() << 11) | (time.minute() << 5) | (time.second() / 2));
    const auto dosDate = static_cast<std::uint16_t>(((date.year() - 1980) << 9) | (date.month() << 5) | date.day());
    return {dosTime, dosDate};
}

}  // namespace

QByteArray ZipStream::Entry(const QString& name, const QByteArray& data) {
    const QByteArray utf8Name = name.toUtf8();
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
    const auto size = static_cast<std::uint64_t>(data.size());
    const bool zip64 = size >= kMax32;
    const auto [dosTime, dosDate] = DosTimeAndDate();

    QByteArray out;
    Put32(out, 0x04034b50);
    Put16(out, zip64 ? kVersionZip64 : kVersion);
    Put16(out, kUtf8Names);
    Put16(out, 0);  // stored
    Put16(out, dosTime);
    Put16(out, dosDate);
    Put32(out, crc);
    Put32(out, zip64 ? kMax32 : static_cast<std::uint32_t>(size));
    Put32(out, zip64 ? kMax32 : static_cast<std::uint32_t>(size));
    Put16(out, static_cast<std::uint16_t>(utf8Name.size()));
    Put16(out, zip64 ? 20 : 0);
    out.append(utf8Name);
    if (zip64) {
        Put16(out, 0x0001);
        Put16(out, 16);
        Put64(out, size);
        Put64(out, size);
    }
    entries_.push_back({utf8Name, crc, size, offset_});
    offset_ += static_cast<std::uint64_t>(out.size()) + size;
    out.append(data);
    return out;
}

QByteArray ZipStream::Finish() {
    const auto [dosTime, dosDate] = DosTimeAndDate();
    QByteArray out;
    for (const Written& entry : entries_) {
        const bool bigSize = entry.size >= kMax32;
        const bool farOffset = entry.offset >= kMax32;
        QByteArray extra;
        if (bigSize || farOffset) {
            Put16(extra, 0x0001);
            Put16(extra, static_cast<std::uint16_t>((bigSize ? 16 : 0) + (farOffset ? 8 : 0)));
            if (bigSize) {
                Put64(extra, entry.size);
                Put64(extra, entry.size);
            }
            if (farOffset) Put64(extra, entry.offset);
        }
        const std::uint16_t version = extra.isEmpty() ? kVersion : kVersionZip64;
        Put32(out, 0x02014b50);
        Put16(out, kMadeOnUnix | version);
        Put16(out, version);
        Put16(out, kUtf8Names);
        Put16(out, 0);
        Put16(out, dosTime);
        Put16(out, dosDate);
        Put32(out, entry.crc);
        Put32(out, bigSize ? kMax32 : static_cast<std::uint32_t>(entry.size));
        Put32(out, bigSize ? kMax32 : static_cast<std::uint32_t>(entry.size));
        Put16(out, static_cast<std::uint16_t>(entry.name.size()));
        Put16(out, static_cast<std::uint16_t>(extra.size()));
        Put16(out, 0);  // no comment
        Put16(out, 0);  // disk
        Put16(out, 0);  // internal attributes
        Put32(out, 0100644u << 16);  // a plain file, rw-r--r--
        Put32(out, farOffset ? kMax32 : static_cast<std::uint32_t>(entry.offset));
        out.append(entry.name);
        out.append(extra);
    }
    const std::uint64_t directoryOffset = offset_;
    const auto directorySize = static_cast<std::uint64_t>(out.size());
    const std::uint64_t count = entries_.size();
    const bool zip64 = count >= 0xFFFF || directoryOffset >= kMax32 || directorySize >= kMax32;
    if (zip64) {
        const std::uint64_t recordOffset = directoryOffset + directorySize;
        Put32(out, 0x06064b50);
        Put64(out, 44);  // the record's size after this field
        Put16(out, kMadeOnUnix | kVersionZip64);
        Put16(out, kVersionZip64);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, count);
        Put64(out, count);
        Put64(out, directorySize);
        Put64(out, directoryOffset);
        Put32(out, 0x07064b50);  // its locator
        Put32(out, 0);
        Put64(out, recordOffset);
        Put32(out, 1);
    }
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, zip64 ? 0xFFFF : static_cast<std::uint16_t>(count));
    Put16(out, zip64 ? 0xFFFF : static_cast<std::uint16_t>(count));
    Put32(out, zip64 ? kMax32 : static_cast<std::uint32_t>(directorySize));
    Put32(out, zip64 ? kMax32 : static_cast<std::uint32_t>(directoryOffset));
    Put16(out, 0);
    offset_ += static_cast<std::uint64_t>(out.size());
    return out;
}

}  // namespace quillivar::server

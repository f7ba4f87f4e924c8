#pragma once
// A ZIP archive written front to back as its entries come, for an answer that is sent while it
// is being made: stored entries (page images do not compress), each whole when it is added,
// the central directory at the end; ZIP64 records once the archive passes 4 GiB.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace quillivar::server {

class ZipStream {
public:
    // The bytes that put `data` into the archive as `name`.
    QByteArray Entry(const QString& name, const QByteArray& data);
    // The bytes that close the archive: its central directory.
    QByteArray Finish();

private:
    struct Written {
        QByteArray name;
        std::uint32_t crc;
        std::uint64_t size;
        std::uint64_t offset;
    };
    std::vector<Written> entries_;
    std::uint64_t offset_ = 0;
};

}  // namespace quillivar::server

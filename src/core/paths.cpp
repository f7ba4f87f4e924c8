#include "paths.h"

#include "errortrap.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quillivar {

namespace {

bool Stat(const QString& path, struct stat& info) {
    return !path.isEmpty() && stat(QFile::encodeName(path).constData(), &info) == 0;
}

QString EscapedByte(uint value) {
    return QStringLiteral("\\x") + QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

}  // namespace

QString GetFileName(const QString& path, QChar separator) {
    return path.mid(path.lastIndexOf(separator) + 1);
}

QString GetFolderPart(const QString& path, QChar separator) {
    const qsizetype last = path.lastIndexOf(separator);
    return last < 0 ? QString() : path.left(last + 1);
}

bool IsFolder(const QString& path) {
    struct stat info {};
    return Stat(path, info) && S_ISDIR(info.st_mode);
}

bool FileExists(const QString& path) {
    struct stat info {};
    return Stat(path, info);
}

QString CollapseBackslashes(const QString& path, QChar separator) {
    const QString doubled(2, separator);
    if (!path.startsWith(separator)) {
        return QString(path).replace(doubled, QString(separator));
    }
    qsizetype firstOther = 1;
    while (firstOther < path.size() && path.at(firstOther) == separator) ++firstOther;
    const QString rest = path.mid(firstOther).replace(doubled, QString(separator));
    const QString lead = separator == kNativeSeparator ? QString(separator) : doubled;
    return lead + rest;
}

QString PrintableName(const QString& name) {
    QString shown;
    for (const char32_t c : name.toUcs4()) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            shown += EscapedByte(static_cast<uint>(c));
        } else {
            shown += QString::fromUcs4(&c, 1);
        }
    }
    return shown;
}

QString PrintableName(const QByteArray& bytes) {
    QString shown;
    for (qsizetype at = 0; at < bytes.size();) {
        // A whole UTF-8 sequence goes as its character; a byte that starts none, as \xNN.
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const int length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const QByteArray sequence = bytes.mid(at, length);
        const QString decoded = QString::fromUtf8(sequence);
        if ((lead < 0x80 || length > 1) && decoded.toUtf8() == sequence) {
            shown += decoded;
            at += length;
        } else {
            shown += EscapedByte(lead);
            ++at;
        }
    }
    return PrintableName(shown);
}

void DeleteFileQuietly(const QString& path) {
    if (!path.isEmpty() && unlink(QFile::encodeName(path).constData()) == 0) return;
    try {
        ForceDeleteFile(path);
    } catch (...) {
    }
}

void ForceDeleteFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (path.isEmpty() || lstat(name.constData(), &info) != 0) {
        throw Failure(QStringLiteral("File not found: %1").arg(path));
    }
    if (S_ISREG(info.st_mode)) chmod(name.constData(), info.st_mode | S_IWUSR);
    if (unlink(name.constData()) != 0) {
        throw Failure(QStringLiteral("Cannot delete %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
}

}  // namespace quillivar

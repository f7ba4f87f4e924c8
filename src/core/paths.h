#pragma once
// Path and file helpers. The separator is a parameter, so the same rules serve "/" here and
// "\" where paths are written that way; it defaults to this platform's own.

#include <QChar>
#include <QString>

namespace quillivar {

inline constexpr QChar kNativeSeparator = QLatin1Char('/');

// The text after the last separator; the whole text when there is none.
QString GetFileName(const QString& path, QChar separator = kNativeSeparator);

// The text up to and including the last separator; "" when there is none.
QString GetFolderPart(const QString& path, QChar separator = kNativeSeparator);

// True for an existing folder; every failure gives false.
bool IsFolder(const QString& path);

// True when the path's last-modified time can be read; every failure gives false.
bool FileExists(const QString& path);

// Doubled separators collapsed in one pass from left to right. A leading run of separators
// becomes exactly two for "\" (a network path) and exactly one for "/" (there are no
// two-slash network paths on POSIX).
QString CollapseBackslashes(const QString& path, QChar separator = kNativeSeparator);

// A name as it can be shown on a terminal: control characters, and bytes that are not valid
// UTF-8, as \xNN; everything else as it is.
QString PrintableName(const QString& name);
QString PrintableName(const QByteArray& bytes);

// Deletes the file, read-only or not.
// Never throws.
void DeleteFileQuietly(const QString& path);

// Deletes the file even when it is marked read-only; throws Failure when it cannot.
void ForceDeleteFile(const QString& path);

}  // namespace quillivar

#pragma once
// The folder scan: a folder tree, level by level, and the document files in it.

#include <QString>
#include <QStringList>

namespace quillivar {

class CancelToken;
class ErrorReporter;

// What a scan passed over, for callers that name it to the user (the command line does; the
// window, as designed, passes over silently).
struct PassedOver {
    QStringList folders;     // folders that could not be read or entered, or whose names
                             // are not valid UTF-8 (shown with PrintableName)
    QList<QByteArray> names;  // full paths of files whose names are not valid UTF-8
};

// Extends `folders` (each ending in "/") with all their subfolders, level by level: the
// starting folders first, then their children in name order, then the grandchildren, and so
// on. A folder that cannot be read is dropped without a message; a folder reached through a
// symbolic link is not entered (a link loop would never end). Failures of any other kind are
// reported through `reporter`, and the scan goes on. Once `cancel` is set it stops where it is.
// Folders whose names hold "?" or control characters are left out, unless `everyName`.
void GetSubDirectories2016(QStringList& folders, bool recurse, ErrorReporter& reporter, const CancelToken& cancel,
                           PassedOver* passedOver = nullptr, bool everyName = false);

// The names of the files directly in `folder` that match `pattern` ("*.doc"; "*.*" is every
// file), hidden ones included, in name order; only names for which IsExistingFile holds.
QStringList ListFolderFiles(QString folder, const QString& pattern, PassedOver* passedOver = nullptr);

// True only for a regular file, whether or not this user may read it; false for folders and
// missing paths.
bool IsExistingFile(const QString& path);

// True when the name holds a control character, DEL, a character of the C1 range or "?".
bool HasUnsafeChars(const QString& name);

// A hidden file or folder: its name starts with ".".
bool IsHiddenName(const QString& name);

// Whether a listed file belongs in the file list: names starting with "~" (the lock files of
// word processors) and hidden files stay out.
bool IsListableName(const QString& name);

// Every listable file matching one of `patterns` in the tree below `folder`, folder by folder
// in scan order, as full paths with doubled separators collapsed. Cancelled, it gives what it
// found so far. With `passedOver`, every name is scanned and what could not be is told there.
QStringList DocumentsInFolderTree(const QString& folder, const QStringList& patterns, ErrorReporter& reporter,
                                  const CancelToken& cancel, PassedOver* passedOver = nullptr);

}  // namespace quillivar

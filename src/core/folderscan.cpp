#include "folderscan.h"

#include "errortrap.h"
#include "canceltoken.h"
#include "paths.h"
#include "texts.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillivar {

namespace {

// Name order, as a file manager shows it: letters before case, case only to break ties.
bool ByName(const QString& a, const QString& b) {
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

struct Entries {
    QStringList folders;
    QStringList files;
    // Names that are not valid UTF-8: full paths shown escaped (files also as a name to
    // match, with the bad bytes replaced).
    QStringList undecodableFolders;
    QList<QPair<QString, QByteArray>> undecodableFiles;
    int error = 0;  // errno of a folder that could not be read or entered
};

// The entries of one folder. Folders are what lstat says are folders, so a symbolic link to
// a folder is neither; files are what stat says are regular files, links included.
Entries ReadFolder(const QString& folder) {
    Entries entries;
    const QByteArray name = QFile::encodeName(folder);
    DIR* directory = opendir(name.constData());
    if (!directory) {
        entries.error = errno;
        return entries;
    }
    while (const dirent* entry = readdir(directory)) {
        const QByteArray rawName(entry->d_name);
        const QString entryName = QFile::decodeName(rawName);
        if (entryName == QLatin1String(".") || entryName == QLatin1String("..")) continue;
        struct stat info {};
        if (fstatat(dirfd(directory), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == EACCES) entries.error = EACCES;  // listed, but not to be entered
            continue;
        }
        const bool isFolder = S_ISDIR(info.st_mode);
        const bool isFile = S_ISREG(info.st_mode) || (S_ISLNK(info.st_mode) &&
                                                      fstatat(dirfd(directory), entry->d_name, &info, 0) == 0 &&
                                                      S_ISREG(info.st_mode));
        if (QFile::encodeName(entryName) != rawName) {  // Qt's strings cannot carry this name
            const QByteArray path = name + (name.endsWith('/') ? "" : "/") + rawName;
            if (isFolder) entries.undecodableFolders << PrintableName(path);
            if (isFile) entries.undecodableFiles.append({entryName, path});
        } else if (isFolder) {
            entries.folders << entryName;
        } else if (isFile) {
            entries.files << entryName;
        }
    }
    closedir(directory);
    std::sort(entries.folders.begin(), entries.folders.end(), ByName);
    std::sort(entries.files.begin(), entries.files.end(), ByName);
    return entries;
}

// A wildcard pattern, matched without regard to letter case; "*.*" and "*" take every name.
QRegularExpression PatternExpression(const QString& pattern) {
    if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
        return QRegularExpression(QStringLiteral(".*"), QRegularExpression::DotMatchesEverythingOption);
    }
    return QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                              QRegularExpression::CaseInsensitiveOption);
}

}  // namespace

void GetSubDirectories2016(QStringList& folders, bool recurse, ErrorReporter& reporter, const CancelToken& cancel,
                           PassedOver* passedOver, bool everyName) {
    ErrorTrap trap(reporter, locations::kGetSubDirectories2016);
    QStringList newFolders;
    // 100, 102: folders are read directly; there is no file-system object to create.
    trap.step(104, [&] { newFolders.clear(); });
    for (qsizetype i = 0; i < folders.size() && !cancel.IsCancelled(); ++i) {  // 106
        const QString folder = folders.at(i);
        if (trap.test(108, [&] { return !IsFolder(folder); })) continue;
        if (trap.test(110, [&] { return QFile::encodeName(folder).size() >= PATH_MAX; })) continue;
        Entries entries;
        trap.step(112, [&] { entries = ReadFolder(folder); });
        // 116: every folder is entered, hidden ones too; none here is a system folder.
        for (const QString& name : entries.folders) {  // 118 to 122
            if (trap.test(124, [&] { return QFile::encodeName(name).size() > NAME_MAX; })) continue;
            if (trap.test(126, [&] { return !everyName && HasUnsafeChars(name); })) continue;
            if (trap.test(128, [&] { return !everyName && name.contains(QLatin1Char('?')); })) continue;
            if (trap.test(130, [&] { return name == QLatin1String(".") || name == QLatin1String(".."); })) continue;
            trap.step(132, [&] { newFolders << folder + name + kNativeSeparator; });  // 132 to 134
        }
        // 138 to 148: a folder that cannot be read, or that vanished, leaves the collection.
        if (passedOver) passedOver->folders << entries.undecodableFolders;
        if (trap.test(138, [&] { return entries.error == EACCES || entries.error == ENOENT || entries.error == ENOTDIR; })) {
            if (passedOver) passedOver->folders << folder;
            trap.step(148, [&] { folders.removeAt(i--); });
        }
    }
    if (trap.test(150, [&] { return recurse && !newFolders.isEmpty() && !cancel.IsCancelled(); })) {
        trap.step(150, [&] { GetSubDirectories2016(newFolders, true, reporter, cancel, passedOver, everyName); });
    }
    for (const QString& entry : newFolders) {  // 152
        if (trap.test(154, [&] { return IsFolder(entry); })) {
            // 158: every folder qualifies (see 116).
            trap.step(160, [&] { folders << entry; });
        }
    }
}

QStringList ListFolderFiles(QString folder, const QString& pattern, PassedOver* passedOver) {
    if (!folder.endsWith(kNativeSeparator)) folder += kNativeSeparator;
    const QRegularExpression expression = PatternExpression(pattern);
    const Entries entries = ReadFolder(folder);
    for (const auto& [name, path] : entries.undecodableFiles) {
        if (passedOver && expression.match(name).hasMatch() && IsListableName(name) && !passedOver->names.contains(path)) {
            passedOver->names << path;  // once, whichever pattern found it first
        }
    }
    QStringList names;
    for (const QString& name : entries.files) {
        if (expression.match(name).hasMatch() && IsExistingFile(folder + name)) names << name;
    }
    return names;
}

bool IsExistingFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (path.isEmpty() || stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    // Opened for no access at all, so a file this user may not read is still a file: the
    // conversion then says why it cannot be read.
    const int fd = open(name.constData(), O_PATH | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool HasUnsafeChars(const QString& name) {
    for (const char32_t c : name.toUcs4()) {
        if (c < 32 || (c >= 127 && c <= 159) || c == U'?') return true;
    }
    return false;
}

bool IsHiddenName(const QString& name) { return name.startsWith(QLatin1Char('.')); }

bool IsListableName(const QString& name) { return !name.startsWith(QLatin1Char('~')) && !IsHiddenName(name); }

QStringList DocumentsInFolderTree(const QString& folder, const QStringList& patterns, ErrorReporter& reporter,
                                  const CancelToken& cancel, PassedOver* passedOver) {
    QStringList folders{CollapseBackslashes(folder + kNativeSeparator)};
    GetSubDirectories2016(folders, true, reporter, cancel, passedOver, passedOver != nullptr);
    QStringList documents;
    for (QString entry : folders) {
        if (cancel.IsCancelled()) break;
        entry.chop(1);
        QStringList names;
        for (const QString& pattern : patterns) names << ListFolderFiles(entry, pattern, passedOver);
        names.removeDuplicates();
        std::sort(names.begin(), names.end(), ByName);
        for (const QString& name : names) {  // each already found to be a file that opens
            if (IsListableName(name)) documents << CollapseBackslashes(entry + kNativeSeparator + name);
        }
    }
    return documents;
}

}  // namespace quillivar

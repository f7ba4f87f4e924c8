#pragma once
// What starting an engine program takes, shared by the engines started cold and the engine
// parent: a slot (profile folder and lock), the process itself, and cleaning up after it.

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace quillivar {

struct EngineOptions;

// A folder under the state folder that no other engine process of this user has: each needs
// a profile of its own, and a lock file tells which ones are taken, also by other Quillivar
// processes. Throws Failure when none is free.
struct EngineSlot {
    int lockFd = -1;
    QString folder;
    static EngineSlot Take(const QString& stateFolder);
    void Release();
};

// The engine program started with `arguments`, the leader of a process group of its own,
// TMPDIR set to `temporaryFolder`, standard error into `logPath`, and our end of its socket
// (of `socketType`). With `dieWithThread` it is killed when the calling thread ends. Throws
// Failure.
struct EngineProcess {
    pid_t pid = -1;
    int socket = -1;
};
EngineProcess SpawnEngineProcess(const EngineOptions& options, const QStringList& arguments,
                                 const QString& temporaryFolder, const QString& logPath, int socketType,
                                 bool dieWithThread);

void RemoveFolderContents(const QString& folder);

// "signal 9, Killed" or "exit status 1", as a crash is described.
QString DescribeEnding(bool signalled, int number);

}  // namespace quillivar

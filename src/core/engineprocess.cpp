#include "engineprocess.h"

#include "engine.h"

#include "errortrap.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillivar {

namespace {

namespace conv = texts::conversion;

constexpr int kSlots = 64;  // engine processes that may run at once for one user

QString Errno() { return QString::fromLocal8Bit(std::strerror(errno)); }

}  // namespace

EngineSlot EngineSlot::Take(const QString& stateFolder) {
    if (!QDir().mkpath(stateFolder)) {
        throw Failure(conv::kEngineStartFailed.arg(stateFolder + QStringLiteral(": ") + Errno()));
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        const QString lockPath = stateFolder + QStringLiteral("/engine-%1.lock").arg(slot);
        const int fd = open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) throw Failure(conv::kEngineStartFailed.arg(lockPath + QStringLiteral(": ") + Errno()));
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return {fd, stateFolder + QStringLiteral("/engine-%1").arg(slot)};
        close(fd);
    }
    throw Failure(conv::kEngineStartFailed.arg(QStringLiteral("too many engines are running")));
}

void EngineSlot::Release() {
    if (lockFd >= 0) close(lockFd);
    lockFd = -1;
}

EngineProcess SpawnEngineProcess(const EngineOptions& options, const QStringList& arguments,
                                 const QString& temporaryFolder, const QString& logPath, int socketType,
                                 bool dieWithThread) {
    // Everything the child needs is made before fork: afterwards only plain system calls.
    std::vector<QByteArray> words{QFile::encodeName(options.program)};
    for (const QString& argument : arguments) words.push_back(QFile::encodeName(argument));
    std::vector<const char*> argv;
    for (const QByteArray& word : words) argv.push_back(word.constData());
    argv.push_back(nullptr);
    std::vector<QByteArray> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "TMPDIR=", 7) != 0) environment.emplace_back(*entry);
    }
    environment.push_back("TMPDIR=" + QFile::encodeName(temporaryFolder));
    for (const QString& entry : options.environment) environment.push_back(entry.toLocal8Bit());
    std::vector<const char*> envp;
    for (const QByteArray& entry : environment) envp.push_back(entry.constData());
    envp.push_back(nullptr);

    const int logFd = open(QFile::encodeName(logPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int sockets[2];
    if (socketpair(AF_UNIX, socketType | SOCK_CLOEXEC, 0, sockets) != 0) {
        if (logFd >= 0) close(logFd);
        throw Failure(conv::kEngineStartFailed.arg(Errno()));
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);  // its own group, so it dies with all it started
        if (dieWithThread) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // and with us, however we end
            if (getppid() != parent) _exit(127);
        }
        dup2(sockets[1], STDIN_FILENO);
        dup2(sockets[1], STDOUT_FILENO);
        if (logFd >= 0) dup2(logFd, STDERR_FILENO);
        execve(argv[0], const_cast<char* const*>(argv.data()), const_cast<char* const*>(envp.data()));
        _exit(127);
    }
    const int forkErrno = errno;
    close(sockets[1]);
    if (logFd >= 0) close(logFd);
    if (child < 0) {
        close(sockets[0]);
        errno = forkErrno;
        throw Failure(conv::kEngineStartFailed.arg(Errno()));
    }
    setpgid(child, child);
    return {child, sockets[0]};
}

void RemoveFolderContents(const QString& folder) {
    QDir dir(folder);
    for (const QFileInfo& entry :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isDir() && !entry.isSymLink()) {
            QDir(entry.filePath()).removeRecursively();
        } else {
            QFile::remove(entry.filePath());
        }
    }
}

QString DescribeEnding(bool signalled, int number) {
    if (signalled) return QStringLiteral("signal %1, %2").arg(number).arg(QString::fromLocal8Bit(strsignal(number)));
    return QStringLiteral("exit status %1").arg(number);
}

}  // namespace quillivar

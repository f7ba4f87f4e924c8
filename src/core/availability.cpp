#include "availability.h"

#include "engine.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace quillivar {

bool CanStartEngine(const EngineLauncher& launcher) {
    try {
        const CancelToken never;
        launcher.Launch(never);  // and ended at once, as the returned engine goes
        return true;
    } catch (...) {
        return false;
    }
}

bool IsWordRunning() {
    const uid_t me = getuid();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isProcess = false;
        entry.toInt(&isProcess);
        if (!isProcess) continue;
        const QString folder = QStringLiteral("/proc/") + entry;
        struct stat owner {};
        if (stat(QFile::encodeName(folder).constData(), &owner) != 0 || owner.st_uid != me) continue;
        QFile name(folder + QStringLiteral("/comm"));
        if (!name.open(QIODevice::ReadOnly)) continue;
        const QByteArray command = name.readAll().trimmed();
        if (command == "soffice.bin" || command == "oosplash") return true;
    }
    return false;
}

}  // namespace quillivar

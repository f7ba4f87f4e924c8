#include "applicationfolder.h"

#include <QDir>
#include <QFileInfo>

namespace quillivar {

QString ApplicationFolder() {
    const QString programFolder =
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
    const QFileInfo installed(programFolder + QStringLiteral("/../share/quillivar"));
    return installed.isDir() ? installed.canonicalFilePath() : programFolder;
}

}  // namespace quillivar

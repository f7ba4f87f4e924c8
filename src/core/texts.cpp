#include "texts.h"

namespace quillivar::texts::conversion {

QString PageStatus(const QString& fileName, int pagesDone, int pageCount) {
    return kProcessing + fileName + QStringLiteral(" (Page %1 of %2)").arg(pagesDone).arg(pageCount);
}

}  // namespace quillivar::texts::conversion

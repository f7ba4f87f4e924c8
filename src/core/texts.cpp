#include "texts.h"

namespace quillivar::texts::conversion {

QString PageStatus(const QString& fileName, int pagesDone, std::optional<int> pageCount) {
    if (!pageCount) return kProcessing + fileName + QStringLiteral(" (Page %1)").arg(pagesDone);
    return kProcessing + fileName + QStringLiteral(" (Page %1 of %2)").arg(pagesDone).arg(*pageCount);
}

}  // namespace quillivar::texts::conversion

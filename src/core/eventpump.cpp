#include "eventpump.h"

#include <QCoreApplication>
#include <QThread>

namespace quillivar {

void YieldToWindowSystem() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread()) {
        QCoreApplication::processEvents();
    }
}

}  // namespace quillivar

#include "errortrap.h"

#include "config.h"
#include "jpegwriter.h"
#include "texts.h"

#include <exception>

namespace quillivar {

QString ComposeErrorReport(const QString& description, const QString& location, int line) {
    return description + QStringLiteral("\r\n") + location + texts::report::kAtLine +
           QString::number(line) + QStringLiteral("\r\r") + texts::report::kPleaseEmail +
           QString::fromUtf8(config::kSupportAddress);
}

Failure::Failure(const QString& description)
    : std::runtime_error(description.toStdString()), description_(description) {}

ErrorTrap::ErrorTrap(ErrorReporter& reporter, QString location)
    : reporter_(reporter), location_(std::move(location)) {}

void ErrorTrap::ReportCurrentException(int line) {
    QString description;
    QString cause;
    try {
        throw;
    } catch (const Failure& failure) {
        description = failure.description();
    } catch (const JpegError& error) {
        description = QString::fromUtf8(error.what());
        if (error.systemError() != 0) cause = qt_error_string(error.systemError());
    } catch (const std::exception& error) {
        description = QString::fromUtf8(error.what());
    } catch (...) {
        description = texts::report::kUnknownFailure;
    }
    reporter_.ShowErrorReport(description, location_, line, cause);
}

}  // namespace quillivar

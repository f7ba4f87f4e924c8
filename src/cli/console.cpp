#include "console.h"

#include "paths.h"
#include "texts.h"

#include <cstdio>
#include <unistd.h>

namespace quillivar::cli {

Console::Console(int documents, const CancelToken& interrupted)
    : documents_(documents), terminal_(isatty(STDERR_FILENO)), interrupted_(interrupted) {}

QString Console::ReportText(const QString& description, const QString& location, int line) {
    // A name in the description reaches the terminal with its control characters escaped.
    QString text = ComposeErrorReport(PrintableName(description), location, line);
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void KeptReports::ShowErrorReport(const QString& description, const QString& location, int line) {
    texts << Console::ReportText(description, location, line);
}

void Console::DocumentStarted(int /*index*/, const QString& documentPath) {
    const std::lock_guard lock(mutex_);
    Status(texts::conversion::kProcessing + GetFileName(documentPath));
}

void Console::ShowStatus(int /*index*/, const QString& text) {
    const std::lock_guard lock(mutex_);
    Status(text);
}

void Console::ShowErrorReport(int index, const QString& description, const QString& location, int line) {
    const std::lock_guard lock(mutex_);
    pending_[index] << ReportText(description, location, line);
}

void Console::DocumentDone(int index, const ExportResult& /*result*/) {
    const std::lock_guard lock(mutex_);
    ++done_;
    Print(pending_.take(index));
}

void Console::PrintReports(const QStringList& reports) {
    const std::lock_guard lock(mutex_);
    Print(reports);
}

void Console::ClearStatus() {
    const std::lock_guard lock(mutex_);
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

void Console::Status(const QString& statusText) {
    if (interrupted_.IsCancelled()) return;
    const QString text = PrintableName(statusText);
    if (!terminal_) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    constexpr int kWidth = 20;
    const int filled = documents_ > 0 ? kWidth * done_ / documents_ : 0;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
    const QString line = QStringLiteral("[%1] %2/%3 %4").arg(bar).arg(done_).arg(documents_).arg(text);
    std::fprintf(stderr, "\r\033[K%s", qPrintable(line.left(120)));
    drawn_ = true;
}

void Console::Print(const QStringList& reports) {
    if (reports.isEmpty() || interrupted_.IsCancelled()) return;
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
    for (const QString& report : reports) {
        std::fprintf(stderr, "%s:\n%s\n\n", qPrintable(texts::report::kTitle), qPrintable(report));
    }
}

}  // namespace quillivar::cli

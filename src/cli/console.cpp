#include "console.h"

#include "paths.h"
#include "texts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <unistd.h>

namespace quillivar::cli {

void PutPath(QJsonObject& line, const QByteArray& path) {
    if (QFile::encodeName(QFile::decodeName(path)) == path) {
        line.insert(QStringLiteral("path"), QFile::decodeName(path));
    } else {
        line.insert(QStringLiteral("path_base64"), QString::fromLatin1(path.toBase64()));
    }
}

void KeptReports::ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) {
    texts << Console::ReportText(description, location, line, cause);
}

Console::Console(const QStringList& documents, bool json, const CancelToken& interrupted)
    : documents_(documents), json_(json), terminal_(isatty(STDERR_FILENO)), interrupted_(interrupted) {}

QString Console::ReportText(const QString& description, const QString& location, int line, const QString& cause) {
    // A name in the description reaches the terminal with its control characters escaped.
    const QString described = cause.isEmpty() ? description : texts::report::kWithCause.arg(description, cause);
    QString text = ComposeErrorReport(PrintableName(described), location, line);
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void Console::DocumentStarted(int /*index*/, const QString& documentPath) {
    const std::lock_guard lock(mutex_);
    Status(texts::conversion::kProcessing + GetFileName(documentPath));
}

void Console::ShowStatus(int /*index*/, const QString& text) {
    const std::lock_guard lock(mutex_);
    Status(text);
}

void Console::ShowErrorReport(int index, const QString& description, const QString& location, int line, const QString& cause) {
    const std::lock_guard lock(mutex_);
    pending_[index].append({description, location, line, cause});
}

void Console::DocumentDone(int index, const ExportResult& result) {
    const std::lock_guard lock(mutex_);
    ++done_;
    const QList<Report> reports = pending_.take(index);
    QStringList texts;
    QJsonArray reportsJson;
    for (const Report& report : reports) {
        texts << ReportText(report.description, report.location, report.line, report.cause);
        QJsonObject entry{{QStringLiteral("line"), report.line},
                          {QStringLiteral("location"), report.location.trimmed()},
                          {QStringLiteral("text"), report.description}};
        if (!report.cause.isEmpty()) entry.insert(QStringLiteral("cause"), report.cause);
        reportsJson.append(entry);
    }
    Print(texts);
    const QString& document = documents_.value(index);
    if (!result.fontsMissing.isEmpty() && !interrupted_.IsCancelled()) {
        if (drawn_) std::fputs("\r\033[K", stderr);
        drawn_ = false;
        const QString notice = texts::conversion::kFontsMissing.arg(document, result.fontsMissing.join(QStringLiteral(", ")));
        std::fprintf(stderr, "quillivar-cli: %s\n", qPrintable(PrintableName(notice)));
    }
    if (!json_ || interrupted_.IsCancelled()) return;
    QJsonObject line;
    PutPath(line, QFile::encodeName(document));
    line.insert(QStringLiteral("pages"), QJsonArray::fromStringList(result.pagesWritten));
    if (!result.fontsMissing.isEmpty()) {
        line.insert(QStringLiteral("fonts_missing"), QJsonArray::fromStringList(result.fontsMissing));
    }
    line.insert(QStringLiteral("reports"), reportsJson);
    line.insert(QStringLiteral("outcome"), OutcomeOf(result, !reports.isEmpty()));
    PrintJson(line);
}

void Console::PrintReports(const QStringList& reports) {
    const std::lock_guard lock(mutex_);
    Print(reports);
}

void Console::PrintNotice(const QString& text, const QByteArray& passedOver) {
    const std::lock_guard lock(mutex_);
    std::fprintf(stderr, "quillivar-cli: %s\n", qPrintable(PrintableName(text)));
    if (!json_ || passedOver.isEmpty()) return;
    QJsonObject line;
    PutPath(line, passedOver);
    line.insert(QStringLiteral("pages"), QJsonArray());
    line.insert(QStringLiteral("reports"), QJsonArray{QJsonObject{{QStringLiteral("text"), text}}});
    line.insert(QStringLiteral("outcome"), QStringLiteral("skipped"));
    PrintJson(line);
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
    const int filled = documents_.isEmpty() ? 0 : kWidth * done_ / static_cast<int>(documents_.size());
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
    const QString line = QStringLiteral("[%1] %2/%3 %4").arg(bar).arg(done_).arg(documents_.size()).arg(text);
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

void Console::PrintJson(const QJsonObject& line) {
    std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);  // a line as each document finishes, for whatever reads it
}

}  // namespace quillivar::cli

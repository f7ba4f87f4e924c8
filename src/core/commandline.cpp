#include "commandline.h"

#include "choices.h"
#include "config.h"

#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace quillivar {

CommandLine::CommandLine(QString program, QString description, QString usage, QString afterOptions)
    : help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")),
      version(QStringLiteral("version"), QStringLiteral("Show the version and exit.")),
      jobs(QStringLiteral("jobs"), QStringLiteral("Engines converting side by side (default: one per processor)."),
           QStringLiteral("N")),
      timeLimit(QStringLiteral("time-limit"),
                QStringLiteral("Seconds LibreOffice may go without making progress (without using a twentieth of a "
                               "processor) before it counts as hung and is stopped (default 60). A document it is "
                               "working on is never stopped for being long, but no step may take more than an hour."),
                QStringLiteral("S")),
      memoryLimit(QStringLiteral("memory-limit"),
                  QStringLiteral("MiB of memory an engine may use: one that grows past it is stopped at once and the "
                                 "document reported; one that a document leaves above half of it is replaced (default: "
                                 "half the machine's memory, at most 4096)."),
                  QStringLiteral("M")),
      recycleAfter(QStringLiteral("recycle-after"), QStringLiteral("A fresh engine after N documents (default 200)."),
                   QStringLiteral("N")),
      program_(std::move(program)),
      usage_(std::move(usage)),
      afterOptions_(std::move(afterOptions)) {
    parser.setApplicationDescription(description);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

void CommandLine::Parse(const QStringList& arguments) {
    if (!parser.parse(arguments)) UsageError(parser.errorText());
    if (parser.isSet(help)) {
        // Named as the user types it, whatever path started it.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')) + 1,
                     QStringLiteral("Usage: %1 [options]%2\n\n").arg(program_, usage_));
        std::fputs(qPrintable(text + afterOptions_), stdout);
        std::exit(0);
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(program_), config::kVersion);
        std::exit(0);
    }
}

void CommandLine::UsageError(const QString& message) const {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qPrintable(program_), qPrintable(message), qPrintable(program_));
    std::exit(2);
}

int CommandLine::Number(const QCommandLineOption& option, int fallback, int lowest, int highest) const {
    if (!parser.isSet(option)) return fallback;
    const QString text = parser.value(option);
    const std::optional<int> value = ParseChoiceNumber(text, lowest, highest);
    if (!value) UsageError(ChoiceNumberError(QStringLiteral("--") + option.names().constLast(), lowest, highest, text));
    return *value;
}

EngineOptions CommandLine::Engines(int& jobCount) const {
    EngineOptions options = DefaultEngineOptions();
    EngineLimits& limits = options.limits;
    jobCount = Number(jobs, QThread::idealThreadCount(), 1, 64);
    limits.withoutProgress = std::chrono::seconds(Number(timeLimit, 60, 1, 86400));
    limits.recycleAfterDocuments = Number(recycleAfter, 200, 1, 1000000);
    limits.memoryLimitKib = static_cast<long>(Number(memoryLimit, static_cast<int>(limits.memoryLimitKib / 1024), 64, 1048576)) * 1024;
    limits.recycleAboveKib = limits.memoryLimitKib / 2;
    // Painting ahead takes a processor of its own: only where the engines leave one free.
    options.drawAhead = jobCount < QThread::idealThreadCount();
    return options;
}

}  // namespace quillivar

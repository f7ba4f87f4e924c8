// quillivar-cli: the page export for scripts and big batches.

#include "batch.h"
#include "config.h"
#include "engine.h"
#include "engineregistry.h"
#include "errortrap.h"
#include "folderscan.h"
#include "paths.h"
#include "texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

using namespace quillivar;

constexpr const char* kUsage =
    "Usage: quillivar-cli [--quality N] [--out DIR | --beside] [--dpi N] [--ext EXT]\n"
    "                     [--jobs N] [--time-limit S] FILE|FOLDER...\n"
    "\n"
    "Turns each word-processor document (.doc, .docx, .odt, .rtf and whatever else\n"
    "LibreOffice opens) into one JPEG image per page: Report.docx becomes Report_1.jpg,\n"
    "Report_2.jpg, ... The documents themselves are never changed. A folder stands for\n"
    "the documents in it and in all its subfolders.\n"
    "\n"
    "Options:\n"
    "  --out DIR         write the images into DIR (default: the current folder)\n"
    "  --beside          write each document's images into the document's own folder\n"
    "  --quality N       JPEG quality from 1 to 100 (default 75)\n"
    "  --jobs N          engines converting side by side (default: one per processor)\n"
    "  --dpi N           resolution in dots per inch, 72 to 600 (default 96: an A4 page\n"
    "                    becomes 794 x 1123 pixels)\n"
    "  --ext EXT         in folders, take the files ending in .EXT (* for all files;\n"
    "                    default: .doc, .docx, .odt and .rtf); names starting with ~\n"
    "                    and hidden files are left out\n"
    "  --time-limit S    seconds LibreOffice may take for one step of a document before\n"
    "                    it counts as hung and is stopped (default 60; opening and laying\n"
    "                    out get 30 more per MiB of the document)\n"
    "  --recycle-after N a fresh engine after N documents (default 200)\n"
    "  --memory-limit M  a fresh engine once a document leaves it above M MiB (default 2048)\n"
    "  --stats           at the end, tell how long LibreOffice took and how large it grew\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Progress and error reports go to standard error. Exit status: 0 when every page\n"
    "was written, 1 when anything was reported, 2 for a usage error.\n";

std::atomic<int> interruptedBy{0};

void OnInterrupt(int signal) {
    interruptedBy = signal;
    KillEngineProcessesNow();  // the waiting request then ends at once
}

struct Options {
    QStringList documents;  // files and folders as given
    QStringList patterns{QStringLiteral("*.doc"), QStringLiteral("*.docx"), QStringLiteral("*.odt"), QStringLiteral("*.rtf")};
    QString outputFolder;
    bool beside = false;
    int quality = 75;
    int dotsPerInch = 96;
    int jobs = QThread::idealThreadCount();
    int timeLimitSeconds = 60;
    int recycleAfter = 200;
    int memoryLimitMib = 2048;
    bool stats = false;
};

[[noreturn]] void UsageError(const QString& message) {
    std::fprintf(stderr, "quillivar-cli: %s\nTry 'quillivar-cli --help'.\n", qPrintable(message));
    std::exit(2);
}

int NumberArgument(const QStringList& arguments, qsizetype& i, int lowest, int highest) {
    const QString option = arguments[i];
    if (i + 1 >= arguments.size()) UsageError(QStringLiteral("%1 needs a number").arg(option));
    bool ok = false;
    const int value = arguments[++i].toInt(&ok);
    if (!ok || value < lowest || value > highest) {
        UsageError(QStringLiteral("%1 must be a whole number from %2 to %3, not '%4'")
                       .arg(option).arg(lowest).arg(highest).arg(arguments[i]));
    }
    return value;
}

Options ParseArguments(const QStringList& arguments) {
    Options options;
    bool outGiven = false;
    bool onlyFiles = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (onlyFiles || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            options.documents << argument;
        } else if (argument == QLatin1String("--")) {
            onlyFiles = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (argument == QLatin1String("--version")) {
            std::printf("quillivar-cli %s\n", config::kVersion);
            std::exit(0);
        } else if (argument == QLatin1String("--quality")) {
            options.quality = NumberArgument(arguments, i, 1, 100);
        } else if (argument == QLatin1String("--jobs")) {
            options.jobs = NumberArgument(arguments, i, 1, 64);
        } else if (argument == QLatin1String("--dpi")) {
            options.dotsPerInch = NumberArgument(arguments, i, 72, 600);
        } else if (argument == QLatin1String("--time-limit")) {
            options.timeLimitSeconds = NumberArgument(arguments, i, 1, 86400);
        } else if (argument == QLatin1String("--recycle-after")) {
            options.recycleAfter = NumberArgument(arguments, i, 1, 1000000);
        } else if (argument == QLatin1String("--memory-limit")) {
            options.memoryLimitMib = NumberArgument(arguments, i, 64, 1048576);
        } else if (argument == QLatin1String("--stats")) {
            options.stats = true;
        } else if (argument == QLatin1String("--out")) {
            if (i + 1 >= arguments.size()) UsageError(QStringLiteral("--out needs a folder"));
            options.outputFolder = arguments[++i];
            outGiven = true;
        } else if (argument == QLatin1String("--ext")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) UsageError(QStringLiteral("--ext needs an extension"));
            options.patterns = {QStringLiteral("*.") + arguments[++i]};
        } else if (argument == QLatin1String("--beside")) {
            options.beside = true;
        } else {
            UsageError(QStringLiteral("unknown option '%1'").arg(argument));
        }
    }
    if (outGiven && options.beside) UsageError(QStringLiteral("--out and --beside cannot be used together"));
    if (options.documents.isEmpty()) UsageError(QStringLiteral("no documents given"));
    if (!options.beside) {
        if (!outGiven) options.outputFolder = QDir::currentPath();
        if (!IsFolder(options.outputFolder)) {
            UsageError(QStringLiteral("Folder does not exist. Please select another folder. (%1)").arg(options.outputFolder));
        }
        options.outputFolder = QFileInfo(options.outputFolder).absoluteFilePath();
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const Options options = ParseArguments(QCoreApplication::arguments());

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    EngineOptions engineOptions = DefaultEngineOptions();
    engineOptions.whileWaiting = nullptr;  // no window to keep live
    engineOptions.limits.request = std::chrono::seconds(options.timeLimitSeconds);
    engineOptions.limits.perMebibyte = std::chrono::seconds(options.timeLimitSeconds) / 2;
    engineOptions.limits.recycleAfterDocuments = options.recycleAfter;
    engineOptions.limits.recycleAboveKib = static_cast<long>(options.memoryLimitMib) * 1024;
    engineOptions.drawAhead = options.jobs < QThread::idealThreadCount();

    // Folders stand for the documents of their trees.
    cli::DocumentReporter scanReporter;
    QStringList documents;
    for (const QString& argument : options.documents) {
        const QString path = QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
        if (IsFolder(path)) {
            documents << DocumentsInFolderTree(path, options.patterns, scanReporter);
        } else {
            documents << path;
        }
    }

    cli::BatchChoices choices;
    choices.outputFolder = options.outputFolder;
    choices.beside = options.beside;
    choices.quality = options.quality;
    choices.dotsPerInch = options.dotsPerInch;
    choices.jobs = options.jobs;
    cli::Console progress(static_cast<int>(documents.size()));
    progress.Reports(scanReporter.texts);
    const cli::BatchResult result = cli::RunBatch(documents, choices, engineOptions, progress, interruptedBy);

    if (interruptedBy) {
        std::fprintf(stderr, "quillivar-cli: stopped by signal %d\n", interruptedBy.load());
        return 128 + interruptedBy;
    }
    if (options.stats) {
        const EngineStats& stats = result.engines;
        std::fprintf(stderr,
                     "%d engine(s); inside them %.2f s opening and laying out, %.2f s drawing, %.2f s encoding "
                     "and writing; largest engine %ld MiB.\n",
                     stats.engines, stats.loadingMs / 1000, stats.drawingMs / 1000, stats.savingMs / 1000,
                     stats.peakResidentKib / 1024);
    }
    const int reports = result.reports + static_cast<int>(scanReporter.texts.size());
    std::fprintf(stderr, "%d of %lld document(s) done, %d page image(s) written to %s; %d error report(s).\n",
                 result.documents, static_cast<long long>(documents.size()), result.pages,
                 qPrintable(options.beside ? QStringLiteral("each document's folder") : options.outputFolder), reports);
    return reports == 0 ? 0 : 1;
}

// quillivar-cli: the page export for scripts and big batches.

#include "batchrun.h"
#include "canceltoken.h"
#include "choices.h"
#include "commandline.h"
#include "config.h"
#include "console.h"
#include "engine.h"
#include "engineregistry.h"
#include "folderscan.h"
#include "paths.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <cstdio>

namespace {

using namespace quillivar;

const QString kDescription = QStringLiteral(
    "Turns each word-processor document (.doc, .docx, .odt, .rtf and whatever else\n"
    "LibreOffice opens) into one JPEG image per page: Report.docx becomes Report_1.jpg,\n"
    "Report_2.jpg, ... The documents themselves are never changed. A folder stands for\n"
    "the documents in it and in all its subfolders.");

// What the command line itself says of the documents it was given, before they are converted.
namespace notices {
const QString kPassedOverFolder =
    QStringLiteral("cannot read or enter the folder %1, so the documents in it are not converted");
const QString kNotUtf8 = QStringLiteral("the name %1 is not valid UTF-8, so the document cannot be converted");
const QString kSharedPageNames = QStringLiteral(
    "these documents write page files of the same names, so each replaces the pages of the one before: %1");
const QString kCannotCreateFolder = QStringLiteral("cannot create the folder %1: %2");
}  // namespace notices

const QString kAfterOptions = QStringLiteral(
    "\n"
    "Progress and error reports go to standard error. Exit status: 0 when every page\n"
    "was written, 1 when anything was reported, 2 for a usage error.\n"
    "\n"
    "With --json, standard output carries one JSON object per line and nothing else, one\n"
    "for each document as it finishes: \"path\" (the document), \"pages\" (the page files\n"
    "written), \"reports\" (each with \"line\", the step, \"location\" and \"text\"), and\n"
    "\"outcome\": \"converted\", \"partial\" (some pages written, something reported),\n"
    "\"failed\" (no page written) or \"skipped\" (passed over, with the reason in its report).\n"
    "\"fonts_missing\", when present, names the fonts the document asks for that this machine\n"
    "lacks, which others stood in for (LibreOffice 7.4 cannot tell; later versions do).\n"
    "A path that is not valid UTF-8 comes as \"path_base64\" instead: its bytes in base64.\n");

CancelToken interrupted;
volatile std::sig_atomic_t interruptingSignal = 0;

void OnInterrupt(int signal) {
    interruptingSignal = signal;
    interrupted.Cancel();
    KillEngineProcessesNow();  // the waiting request then ends at once
}

struct Options {
    QStringList documents;  // files and folders as given
    bool json = false;
    int shard = 0;  // this run takes the documents of shard `shard` of `shards`, counting from 0
    int shards = 1;
    QStringList patterns{QStringLiteral("*.doc"), QStringLiteral("*.docx"), QStringLiteral("*.odt"), QStringLiteral("*.rtf")};
    RunChoices run;
    EngineOptions engines;
    bool stats = false;
};

// Which of `shards` shards a key falls in: FNV-1a of its UTF-8 bytes, the same on every
// machine and in every run.
int ShardOf(const QString& key, int shards) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char byte : key.toUtf8()) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ull;
    }
    return static_cast<int>(hash % static_cast<std::uint64_t>(shards));
}

// The argument as the user gave it, when its bytes are not valid UTF-8 and so did not survive
// the trip into `argument`; empty otherwise.
QByteArray RawArgument(int argc, char** argv, const QString& argument) {
    if (!argument.contains(QChar::ReplacementCharacter)) return {};
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (QFile::decodeName(raw) == argument && QFile::encodeName(argument) != raw) return raw;
    }
    return {};
}

Options ParseArguments(const QStringList& arguments) {
    CommandLine line(QStringLiteral("quillivar-cli"), kDescription, QStringLiteral(" FILE|FOLDER..."), kAfterOptions);
    QCommandLineParser& parser = line.parser;
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Write the images into DIR (default: the current folder)."), QStringLiteral("DIR"));
    const QCommandLineOption beside(QStringLiteral("beside"), QStringLiteral("Write each document's images into the document's own folder."));
    const QCommandLineOption quality(QStringLiteral("quality"), QStringLiteral("JPEG quality from 1 to 100 (default 75)."), QStringLiteral("N"));
    const QCommandLineOption dpi(QStringLiteral("dpi"),
                                 QStringLiteral("Resolution in dots per inch, 72 to 600 (default 96: an A4 page becomes 794 x 1123 pixels)."),
                                 QStringLiteral("N"));
    const QCommandLineOption ext(QStringLiteral("ext"),
                                 QStringLiteral("In folders, take the files ending in .EXT (* for all files; default: .doc, .docx, "
                                                ".odt and .rtf); names starting with ~ and hidden files are left out."),
                                 QStringLiteral("EXT"));
    const QCommandLineOption stats(QStringLiteral("stats"), QStringLiteral("At the end, tell how long LibreOffice took and how large it grew."));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("jpg (default), png (lossless) or webp (at --quality): the page files' "
                                                   "kind and ending."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption pageRange(QStringLiteral("pages"),
                                       QStringLiteral("Only these pages: 1, 2-5, 3- (to the end), -2 (the first two), or a "
                                                      "list such as 1,3,7-9. Pages past the end are left out; the files keep "
                                                      "their page numbers."),
                                       QStringLiteral("RANGE"));
    const QCommandLineOption width(QStringLiteral("width"),
                                   QStringLiteral("Draw each page at the largest size that fits W pixels wide (and --height "
                                                  "high), keeping its shape; not with --dpi."),
                                   QStringLiteral("W"));
    const QCommandLineOption height(QStringLiteral("height"), QStringLiteral("As --width, for the height."), QStringLiteral("H"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON line per document on standard output (see below)."));
    const QCommandLineOption shard(QStringLiteral("shard"),
                                   QStringLiteral("Convert only shard I of N (1 to N) of the documents, folders expanded: N "
                                                  "runs, on N machines, together convert each document once. The shard follows "
                                                  "from each document's path as given alone, so reruns agree, and documents "
                                                  "whose page files share names fall in the same one."),
                                   QStringLiteral("I/N"));
    parser.addOptions({out, beside, quality, line.jobs, dpi, width, height, format, pageRange, ext, json, shard,
                       line.timeLimit, line.recycleAfter, line.memoryLimit, stats, line.help, line.version});
    parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"), QStringLiteral("Documents, and folders of documents."),
                                 QStringLiteral("FILE|FOLDER..."));

    line.Parse(arguments);

    Options options;
    options.documents = parser.positionalArguments();
    ExportChoices& pages = options.run.pages;
    const auto given = [&](const QCommandLineOption& option) {
        return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
    };
    if (const std::optional<QString> error = ApplyPageChoices(
            {given(quality), given(dpi), given(width), given(height), given(format), given(pageRange)},
            QStringLiteral("--"), pages)) {
        line.UsageError(*error);
    }
    options.engines = line.Engines(options.run.jobs);
    options.engines.forkFirstEngines = false;  // the parent does not outlive the run
    options.stats = parser.isSet(stats);
    if (parser.isSet(ext)) {
        if (parser.value(ext).isEmpty()) line.UsageError(QStringLiteral("--ext needs an extension"));
        options.patterns = {QStringLiteral("*.") + parser.value(ext)};
    }
    if (parser.isSet(out) && parser.isSet(beside)) line.UsageError(QStringLiteral("--out and --beside cannot be used together"));
    options.json = parser.isSet(json);
    if (parser.isSet(shard)) {
        const QStringList parts = parser.value(shard).split(QLatin1Char('/'));
        bool indexOk = false;
        bool countOk = false;
        const int index = parts.size() == 2 ? parts[0].toInt(&indexOk) : 0;
        const int count = parts.size() == 2 ? parts[1].toInt(&countOk) : 0;
        if (!indexOk || !countOk || count < 1 || index < 1 || index > count) {
            line.UsageError(QStringLiteral("--shard takes I/N with 1 <= I <= N, not '%1'").arg(parser.value(shard)));
        }
        options.shard = index - 1;
        options.shards = count;
    }
    if (options.documents.isEmpty()) line.UsageError(QStringLiteral("no documents given"));
    if (parser.isSet(beside)) {
        pages.place = OutputPlace::DocumentFolder;
    } else {
        pages.place = OutputPlace::ChosenFolder;
        pages.outputFolder = QFileInfo(parser.isSet(out) ? parser.value(out) : QDir::currentPath()).absoluteFilePath();
        if (!IsFolder(pages.outputFolder) && !QDir().mkpath(pages.outputFolder)) {
            line.UsageError(notices::kCannotCreateFolder.arg(PrintableName(pages.outputFolder), QString::fromLocal8Bit(strerror(errno))));
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const Options options = ParseArguments(QCoreApplication::arguments());

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    // Folders stand for the documents of their trees; whatever cannot be converted is named.
    // Each document also has its path as the user gave it, which decides its shard.
    cli::KeptReports scanReports;
    PassedOver passedOver;
    QStringList documents;
    QStringList givenPaths;
    for (const QString& argument : options.documents) {
        const QString path = QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
        if (const QByteArray raw = RawArgument(argc, argv, argument); !raw.isEmpty()) {
            passedOver.names << raw;
        } else if (IsFolder(path)) {
            for (const QString& document : DocumentsInFolderTree(path, options.patterns, scanReports, interrupted, &passedOver)) {
                documents << document;
                givenPaths << QDir(argument).filePath(QDir(path).relativeFilePath(document));
            }
        } else {
            documents << path;
            givenPaths << argument;
        }
    }
    if (options.shards > 1) {
        // By the page files' names as the given path makes them, so that documents whose page
        // files share names stay in one shard, one after the other, as in one run.
        ExportChoices namesOnly = options.run.pages;
        namesOnly.outputFolder.clear();
        QStringList mine;
        for (qsizetype i = 0; i < documents.size(); ++i) {
            if (ShardOf(PageFileStem(givenPaths[i], namesOnly), options.shards) == options.shard) mine << documents[i];
        }
        documents = mine;
    }

    cli::Console console(documents, options.json, interrupted);
    int notices = 0;
    for (const QString& folder : passedOver.folders) {
        console.PrintNotice(notices::kPassedOverFolder.arg(folder));
        ++notices;
    }
    for (const QByteArray& name : passedOver.names) {
        console.PrintNotice(notices::kNotUtf8.arg(PrintableName(name)), name);
        ++notices;
    }
    for (const QStringList& shared : DocumentsSharingPageNames(documents, options.run.pages)) {
        console.PrintNotice(notices::kSharedPageNames.arg(shared.join(QStringLiteral(", "))));
        ++notices;
    }
    console.PrintReports(scanReports.texts);
    const EngineLauncher launcher(options.engines);
    const RunResult result = RunBatch(documents, options.run, launcher, console, interrupted);
    console.ClearStatus();

    if (interrupted.IsCancelled()) {
        std::fprintf(stderr, "quillivar-cli: stopped by signal %d\n", static_cast<int>(interruptingSignal));
        return 128 + interruptingSignal;
    }
    if (options.stats) {
        const EngineStats& stats = result.engines;
        std::fprintf(stderr,
                     "%d engine(s); inside them %.2f s opening and laying out, %.2f s drawing %lld page(s), %.2f s "
                     "encoding and writing; largest engine %ld MiB.\n",
                     stats.engines, stats.loadingMs / 1000, stats.drawingMs / 1000, stats.pagesDrawn,
                     stats.savingMs / 1000, stats.peakResidentKib / 1024);
        const QString coldStarts = launcher.ColdStartReason();
        if (!coldStarts.isEmpty()) {
            std::fprintf(stderr, "Engines started cold: %s%s\n", qPrintable(coldStarts), coldStarts.endsWith('.') ? "" : ".");
        }
    }
    const int reports = result.reports + static_cast<int>(scanReports.texts.size()) + notices;
    const ExportChoices& pages = options.run.pages;
    std::fprintf(stderr, "%d of %lld document(s) done, %lld page image(s) written to %s; %d error report(s).\n",
                 result.documentsDone, static_cast<long long>(documents.size()),
                 static_cast<long long>(result.pageFiles.size()),
                 qPrintable(pages.place == OutputPlace::DocumentFolder ? QStringLiteral("each document's folder")
                                                                       : pages.outputFolder),
                 reports);
    return reports == 0 ? 0 : 1;
}

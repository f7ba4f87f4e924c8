// quillivar-cli run as a user runs it.

#include "engine.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillivar::test;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun Cli(const QStringList& arguments, const QString& workingFolder = QString(), bool asOrdinaryUser = false) {
    QProcess process;
    if (!workingFolder.isEmpty()) process.setWorkingDirectory(workingFolder);
    const QString program = QCoreApplication::applicationDirPath() + "/quillivar-cli";
    QTemporaryDir cache;  // the engine's profile, where the ordinary user may write
    if (asOrdinaryUser && getuid() == 0) {  // root may read everything
        chmod(QFile::encodeName(cache.path()).constData(), 0777);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CACHE_HOME", cache.path());
        process.setProcessEnvironment(environment);
        process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                             ProgramForOrdinaryUser("bin/quillivar-cli")} + arguments);
    } else {
        process.start(program, arguments);
    }
    process.waitForFinished(300000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(Cli, HelpExplainsItself) {
    const CliRun run = Cli({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("Usage: quillivar-cli")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("--beside"));
}

TEST(Cli, UsageErrorsExitWithTwoAndSayWhy) {
    QTemporaryDir folder;
    const QString document = CopyInto(TestDocument("one-page.rtf"), folder.path());
    const struct {
        QStringList arguments;
        const char* says;
    } cases[] = {
        {{}, "no documents given"},
        {{"--quality", "0", document}, "--quality must be a whole number from 1 to 100"},
        {{"--quality", "high", document}, "not 'high'"},
        {{"--dpi", "1000", document}, "--dpi must be a whole number from 72 to 600"},
        {{"--out", document + "/below-a-file", document}, "cannot create the folder"},
        {{"--out", folder.path(), "--beside", document}, "cannot be used together"},
        {{"--colour", document}, "Unknown option 'colour'"},
        {{"--quality"}, "Missing value after '--quality'"},
    };
    for (const auto& usage : cases) {
        const CliRun run = Cli(usage.arguments);
        EXPECT_EQ(run.exitCode, 2) << usage.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(usage.says)) << run.err.toStdString();
    }
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{"one-page.rtf"});
}

TEST(Cli, ALongDocumentIsNotTakenForAHungOne) {
    // 20,000 paragraphs: LibreOffice opens and lays them out for several times the time limit.
    QTemporaryDir documents, output;
    QByteArray paragraphs;
    for (int i = 0; i < 20000; ++i) {
        paragraphs += "<text:p>Paragraph " + QByteArray::number(i) + ": the quick brown fox jumps over the lazy dog.</text:p>";
    }
    QFile document(documents.path() + "/Long.fodt");
    ASSERT_TRUE(document.open(QIODevice::WriteOnly));
    document.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
                   "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                   "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" "
                   "office:mimetype=\"application/vnd.oasis.opendocument.text\"><office:body><office:text>" +
                   paragraphs + "</office:text></office:body></office:document>");
    document.close();
    const CliRun run = Cli({"--time-limit", "1", "--dpi", "72", "--stats", "--out", output.path(), document.fileName()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_GT(FolderEntries(output.path()).size(), 100);
}

TEST(Cli, ConvertsDocumentsIntoTheOutputFolder) {
    QTemporaryDir documents, output;
    const CliRun run = Cli({"--out", output.path(), "--quality", "80",
                         CopyInto(TestDocument("three-pages.docx"), documents.path()),
                         CopyInto(TestDocument("one-page.odt"), documents.path())});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FolderEntries(output.path()),
              (QStringList{"one-page_1.jpg", "three-pages_1.jpg", "three-pages_2.jpg", "three-pages_3.jpg"}));
    EXPECT_TRUE(run.err.contains("Processing: three-pages.docx (Page 3 of 3)"));
    EXPECT_TRUE(run.err.contains("4 page image(s) written to " + output.path()));
}

TEST(Cli, RelativeNamesAndTheDefaultFolderAreTheCurrentOnes) {
    QTemporaryDir folder;
    CopyInto(TestDocument("one-page.rtf"), folder.path(), "Memo.rtf");
    const CliRun run = Cli({"Memo.rtf"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FolderEntries(folder.path()), (QStringList{"Memo.rtf", "Memo_1.jpg"}));
}

TEST(Cli, BesideWritesIntoEachDocumentsFolder) {
    QTemporaryDir first, second;
    const CliRun run = Cli({"--beside", CopyInto(TestDocument("one-page.doc"), first.path(), "A.doc"),
                         CopyInto(TestDocument("one-page.docx"), second.path(), "B.docx")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FolderEntries(first.path()), (QStringList{"A.doc", "A_1.jpg"}));
    EXPECT_EQ(FolderEntries(second.path()), (QStringList{"B.docx", "B_1.jpg"}));
}

TEST(Cli, ReportsAreTheWindowsTextOnPlainLinesAndTheRunGoesOn) {
    QTemporaryDir documents, output;
    const QString empty = documents.path() + "/empty.docx";
    QFile(empty).open(QIODevice::WriteOnly);
    const CliRun run = Cli({"--out", output.path(), empty, CopyInto(TestDocument("one-page.rtf"), documents.path())});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Application Error:\nThe document is empty (0 bytes): " + empty +
                                 "\nin Quillivar2021/08/31.Word1.SaveDocAsJPG at line 128\n\n"
                                 "Please email screenshot of this message to support@example.org\n"))
        << run.err.toStdString();
    EXPECT_FALSE(run.err.contains('\r'));
    EXPECT_EQ(FolderEntries(output.path()), QStringList{"one-page_1.jpg"});
}

TEST(Cli, APageLargerThanItsFormatTakesIsReportedAndNotWritten) {
    QTemporaryDir documents, output;
    const QString poster = PosterDocument(documents.path(), "Poster.rtf", 47679, 67408, 1);  // A0
    const CliRun run = Cli({"--format", "webp", "--dpi", "600", "--out", output.path(), poster});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Application Error:\nPage 1 is 19867 x 28087 pixels, and a WEBP file takes at most 16383 "
                                 "pixels a side: ask for a lower dpi, or for a width or height.\n"
                                 "in Quillivar2021/08/31.Word1.SaveDocAsJPG at line 182\n"))
        << run.err.toStdString();
    EXPECT_TRUE(FolderEntries(output.path()).isEmpty());
}

TEST(Cli, AFolderStandsForTheDocumentsOfItsTree) {
    QTemporaryDir tree, output;
    QDir(tree.path()).mkpath("Old/Older");
    CopyInto(TestDocument("one-page.docx"), tree.path(), "Top.docx");
    CopyInto(TestDocument("three-pages.odt"), tree.path() + "/Old", "Middle.odt");
    CopyInto(TestDocument("one-page.rtf"), tree.path() + "/Old/Older", "Deep.rtf");
    CopyInto(TestDocument("one-page.doc"), tree.path(), "~$Top.doc");  // a lock file
    CopyInto(TestDocument("one-page.doc"), tree.path(), ".Hidden.doc");
    CopyInto(TestDocument("one-page.rtf"), tree.path(), "notes.txt");
    const CliRun run = Cli({tree.path(), "--out", output.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FolderEntries(output.path()),
              (QStringList{"Deep_1.jpg", "Middle_1.jpg", "Middle_2.jpg", "Middle_3.jpg", "Top_1.jpg"}));

    QTemporaryDir onlyText;
    const CliRun text = Cli({"--ext", "txt", "--out", onlyText.path(), tree.path()});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(FolderEntries(onlyText.path()), QStringList{"notes_1.jpg"});
}

TEST(Cli, NothingGivenIsPassedOverInSilence) {
    QTemporaryDir tree, output;
    const QString in = tree.path();
    const auto copy = [&](const char* document, const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile::copy(TestDocument(document), path);
    };
    copy("one-page.docx", in + "/Open.docx");
    copy("one-page.docx", in + "/Secret.docx");
    copy("one-page.docx", in + "/Locked/Inside.docx");
    copy("one-page.docx", in + "/What?/Question.docx");
    copy("one-page.docx", in + "/Line\nbreak/Newline.docx");
    copy("one-page.docx", in + "/esc\033[31mred.docx");
    copy("three-pages.doc", in + "/2023/report.doc");
    copy("one-page.docx", in + "/2024/report.docx");
    const QByteArray latin1 = QFile::encodeName(in) + "/caf\xE9.docx";  // a name in Latin-1
    copy("one-page.docx", in + "/latin1");
    ASSERT_EQ(rename(QFile::encodeName(in + "/latin1").constData(), latin1.constData()), 0);
    for (const QString& path : {in, output.path()}) chmod(QFile::encodeName(path).constData(), 0777);
    chmod(QFile::encodeName(in + "/Secret.docx").constData(), 0);
    chmod(QFile::encodeName(in + "/Locked").constData(), 0);

    const CliRun run = Cli({"--jobs", "1", "--out", output.path(), in}, QString(), true);
    chmod(QFile::encodeName(in + "/Locked").constData(), 0755);

    EXPECT_EQ(run.exitCode, 1);
    for (const QString& said : QStringList{"The document cannot be read (permission denied): " + in + "/Secret.docx",
                                "cannot read or enter the folder " + in + "/Locked/",
                                "the name " + in + "/caf\\xE9.docx is not valid UTF-8",
                                "these documents write page files of the same names, so each replaces the pages of "
                                "the one before: " + in + "/2023/report.doc, " + in + "/2024/report.docx",
                                "Processing: esc\\x1B[31mred.docx"}) {
        EXPECT_TRUE(run.err.contains(said)) << said.toStdString() << "\n" << run.err.toStdString();
    }
    EXPECT_FALSE(run.err.contains('\033'));
    const QStringList written = FolderEntries(output.path());
    EXPECT_EQ(written, (QStringList{"Newline_1.jpg", "Open_1.jpg", "Question_1.jpg", "esc\033[31mred_1.jpg",
                                    "report_1.jpg", "report_2.jpg", "report_3.jpg"}));
    EXPECT_TRUE(run.err.contains(QString("%1 page image(s) written").arg(written.size()))) << run.err.toStdString();
    EXPECT_EQ(BoxColour(DecodeJpeg(output.path() + "/report_2.jpg")), 2);  // 2023's, as 2024 has one page
    unlink(latin1.constData());  // a name the temporary folder's own clean-up cannot carry
}

TEST(Cli, ALeadingDashNameComesAfterTheDoubleDash) {
    QTemporaryDir folder;
    CopyInto(TestDocument("one-page.docx"), folder.path(), "-draft.docx");
    const CliRun run = Cli({"--out", folder.path(), "--", "-draft.docx"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(FolderEntries(folder.path()), (QStringList{"-draft.docx", "-draft_1.jpg"}));
}

TEST(Cli, StoppedBySignalItEndsItsEngineAndLeavesNoPartialFile) {
    for (const int stop : {SIGINT, SIGTERM}) {
        QTemporaryDir documents, output;
        QStringList arguments{"--out", output.path()};
        for (int i = 1; i <= 4; ++i) {
            arguments << CopyInto(TestDocument("seven-pages.docx"), documents.path(), QString("Long%1.docx").arg(i));
        }
        QProcess cli;
        cli.start(QCoreApplication::applicationDirPath() + "/quillivar-cli", arguments);
        ASSERT_TRUE(cli.waitForStarted());
        pid_t engine = 0;
        for (int wait = 0; wait < 3000 && (engine == 0 || FolderEntries(output.path()).isEmpty()); ++wait) {
            const auto engines = ChildProcesses(static_cast<pid_t>(cli.processId()), "quillivar-engi");
            if (!engines.empty()) engine = engines.front();
            QThread::msleep(10);
        }
        ASSERT_NE(engine, 0);
        QFile commandLine(QString("/proc/%1/cmdline").arg(engine));
        ASSERT_TRUE(commandLine.open(QIODevice::ReadOnly));
        const QList<QByteArray> words = commandLine.readAll().split('\0');
        const QString slot = QFileInfo(QString::fromUtf8(words.at(words.indexOf("--profile") + 1))).path();
        // A single run starts its first engine cold, not an engine parent to fork it.
        EXPECT_FALSE(words.contains("--children"));

        kill(static_cast<pid_t>(cli.processId()), stop);
        ASSERT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), 128 + stop);
        EXPECT_TRUE(QString::fromUtf8(cli.readAllStandardError()).contains("stopped by signal"));
        EXPECT_FALSE(ProcessGroupAlive(engine));
        const QStringList written = FolderEntries(output.path());
        EXPECT_LT(written.size(), 28);
        for (const QString& name : written) {
            EXPECT_TRUE(name.endsWith(".jpg")) << name.toStdString();
            EXPECT_GT(DecodeJpeg(output.path() + "/" + name).width, 0) << name.toStdString();
        }
        EXPECT_TRUE(FolderEntries(slot + "/tmp").isEmpty()) << slot.toStdString();
        EXPECT_TRUE(FolderEntries(slot + "/children").isEmpty()) << slot.toStdString();
    }
}

TEST(Cli, EnginesSideBySideGiveTheSameImagesAndKeepEachDocumentsReportsTogether) {
    QTemporaryDir documents;
    const QStringList files = {
        CopyInto(TestDocument("three-pages.docx"), documents.path(), "Same.docx"),
        CopyInto(TestDocument("one-page.odt"), documents.path(), "Same.odt"),  // its page 1 must win, as in order
        CopyInto(TestDocument("seven-pages.rtf"), documents.path(), "Long.rtf"),
        CopyInto(TestDocument("one-page.doc"), documents.path(), "Short.doc"),
        documents.path() + "/First missing.docx",
        documents.path() + "/Second missing.docx",
    };
    QTemporaryDir one, two;
    const CliRun single = Cli(QStringList{"--jobs", "1", "--out", one.path()} + files);
    const CliRun parallel = Cli(QStringList{"--jobs", "2", "--out", two.path()} + files);
    EXPECT_EQ(single.exitCode, 1);
    EXPECT_EQ(parallel.exitCode, 1);
    // One engine takes the documents in the order given, the longest not first.
    EXPECT_LT(single.err.indexOf("Processing: Same.docx"), single.err.indexOf("Processing: Long.rtf"));
    const QStringList written = FolderEntries(one.path());
    EXPECT_EQ(written.size(), 3 + 7 + 1);
    EXPECT_EQ(FolderEntries(two.path()), written);
    for (const QString& name : written) {
        EXPECT_EQ(FileDigest(one.path() + "/" + name), FileDigest(two.path() + "/" + name)) << name.toStdString();
    }
    for (const QString& missing : {QString("First missing"), QString("Second missing")}) {
        // Its five reports come one after another, none of another document's between them.
        const qsizetype first = parallel.err.indexOf("exist: " + documents.path() + "/" + missing);
        ASSERT_GE(first, 0);
        const QString block = parallel.err.mid(first);
        const qsizetype next = block.indexOf("exist: ", 10);
        const QString own = next < 0 ? block : block.left(next);
        for (const char* line : {"at line 128", "at line 130", "at line 132", "at line 178", "at line 182"}) {
            EXPECT_TRUE(own.contains(line)) << missing.toStdString() << " " << line;
        }
    }
}

namespace {

// The JSON lines a run printed, each parsed.
QList<QJsonObject> JsonLines(const QString& out) {
    QList<QJsonObject> lines;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        lines << document.object();
    }
    return lines;
}

}  // namespace

TEST(Cli, PagesFormatsAndSizesForPreviewsAndPipelines) {
    QTemporaryDir documents, output;
    const QString document = CopyInto(TestDocument("seven-pages.docx"), documents.path(), "Long.docx");
    const CliRun png = Cli({"--format", "png", "--pages", "2-3", "--stats", "--json", "--out", output.path(), document});
    EXPECT_EQ(png.exitCode, 0) << png.err.toStdString();
    EXPECT_EQ(FolderEntries(output.path()), (QStringList{"Long_2.png", "Long_3.png"}));
    EXPECT_TRUE(png.err.contains("drawing 2 page(s)")) << png.err.toStdString();  // no other page drawn
    const QList<QJsonObject> lines = JsonLines(png.out);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0]["path"].toString(), document);
    EXPECT_EQ(lines[0]["outcome"].toString(), "converted");
    EXPECT_EQ(lines[0]["pages"].toVariant().toStringList(),
              (QStringList{output.path() + "/Long_2.png", output.path() + "/Long_3.png"}));

    for (const char* format : {"webp", "jpg"}) {
        EXPECT_EQ(Cli({"--format", format, "--pages", "2", "--out", output.path(), document}).exitCode, 0) << format;
    }
    const DecodedImage reference = DecodeImage(output.path() + "/Long_2.png");
    EXPECT_EQ(reference.width, 794);
    EXPECT_EQ(BoxColour(reference), 2);
    for (const char* lossy : {"/Long_2.webp", "/Long_2.jpg"}) {
        const double difference = GreyDifference(reference, DecodeImage(output.path() + lossy));
        EXPECT_GE(difference, 0) << lossy;
        EXPECT_LT(difference, 2.0) << lossy;
    }

    QTemporaryDir small;
    EXPECT_EQ(Cli({"--width", "200", "--pages", "-1", "--out", small.path(), document}).exitCode, 0);
    const DecodedImage thumbnail = DecodeImage(small.path() + "/Long_1.jpg");
    EXPECT_EQ(thumbnail.width, 200);
    EXPECT_EQ(thumbnail.height, 283);  // A4's shape
    EXPECT_EQ(BoxColour(thumbnail), 1);
    EXPECT_EQ(Cli({"--pages", "9-", "--out", small.path(), document}).exitCode, 0);  // past the end: nothing, no report
    EXPECT_EQ(FolderEntries(small.path()), QStringList{"Long_1.jpg"});
    for (const char* bad : {"0", "3-2", "a", "1,,2", "-"}) EXPECT_EQ(Cli({"--pages", bad, document}).exitCode, 2) << bad;
}

TEST(Cli, TheSlurmExampleConvertsAFolderOnceAcrossItsShards) {
    QTemporaryDir documents, pages;
    for (int i = 1; i <= 6; ++i) CopyInto(TestDocument("one-page.rtf"), documents.path(), QString("d%1.rtf").arg(i));
    CopyInto(TestDocument("one-page.docx"), documents.path(), "d1.docx");  // shares d1's page names
    const QString example = QUILLIVAR_SOURCE_DIR "/docs/examples/slurm-array.sh";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PATH", QCoreApplication::applicationDirPath() + ":" + environment.value("PATH"));
    const auto runTask = [&](int task) {
        QProcess slurm;
        environment.insert("SLURM_ARRAY_TASK_ID", QString::number(task));
        slurm.setProcessEnvironment(environment);
        slurm.start("sh", {example, documents.path(), pages.path()});
        slurm.waitForFinished(120000);
        EXPECT_EQ(slurm.exitCode(), 0) << slurm.readAllStandardError().toStdString();
        QFile lines(pages.path() + QString("/shard-%1.jsonl").arg(task));
        lines.open(QIODevice::ReadOnly);
        QStringList paths;
        for (const QJsonObject& line : JsonLines(QString::fromUtf8(lines.readAll()))) paths << line["path"].toString();
        return paths;
    };
    QStringList all;
    QList<QStringList> shards;
    for (int task = 1; task <= 8; ++task) {  // the array's 8 tasks, one after another
        shards << runTask(task);
        all << shards.last();
    }
    EXPECT_EQ(all.size(), 7);
    all.removeDuplicates();
    EXPECT_EQ(all.size(), 7);  // each document in one shard
    for (const QStringList& shard : shards) {
        EXPECT_EQ(shard.contains(documents.path() + "/d1.rtf"), shard.contains(documents.path() + "/d1.docx"));
    }
    EXPECT_EQ(runTask(3), shards[2]);  // a rerun takes the same documents

    // The Kubernetes example passes its index the same way.
    QFile job(QUILLIVAR_SOURCE_DIR "/docs/examples/kubernetes-indexed-job.yaml");
    ASSERT_TRUE(job.open(QIODevice::ReadOnly));
    const QString yaml = QString::fromUtf8(job.readAll());
    EXPECT_TRUE(yaml.contains("completions: 8"));
    EXPECT_TRUE(yaml.contains("--shard \"$((JOB_COMPLETION_INDEX + 1))/8\" --json"));
}

TEST(Cli, FontsADocumentAsksForAndTheMachineLacksAreNamed) {
    QTemporaryDir documents, output;
    const QString document = documents.path() + "/Styled.rtf";
    QFile rtf(document);
    ASSERT_TRUE(rtf.open(QIODevice::WriteOnly));
    rtf.write("{\\rtf1\\ansi{\\fonttbl{\\f0 Liberation Serif;}{\\f1 Quillivar Absent Grotesk;}}"
              "\\f0 Present. \\f1 Absent.\\par}");
    rtf.close();
    // A .doc names each font with its stand-ins ("Liberation Serif;Times New Roman"); one of
    // them is here, so nothing is missing.
    const QString doc = documents.path() + "/Listed.doc";
    ASSERT_TRUE(QFile::copy(QUILLIVAR_SOURCE_DIR "/Samples/Meeting Notes.doc", doc));
    const CliRun run = Cli({"--json", "--jobs", "1", "--out", output.path(), document, doc});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();  // converted all the same
    const QList<QJsonObject> lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 2);
    const QString version = quillivar::Engine::Start(quillivar::DefaultEngineOptions(), NeverCancelled())->LibreOfficeVersion();
    if (version == "7.4") GTEST_SKIP() << "LibreOffice 7.4 does not tell which fonts it replaced";
    EXPECT_EQ(lines[0]["fonts_missing"].toVariant().toStringList(), QStringList{"Quillivar Absent Grotesk"});
    EXPECT_EQ(run.err.count("Quillivar Absent Grotesk"), 1) << run.err.toStdString();
    EXPECT_FALSE(lines[1]["fonts_missing"].toVariant().toStringList().contains("Liberation Serif;Times New Roman"))
        << run.out.toStdString();
}

// Documents and situations that go wrong: each is reported in plain words, nothing hangs,
// nothing runs or is fetched, nothing is lost, and nothing is left running.

#include "engine.h"
#include "hostiledocuments.h"
#include "pageexport.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace quillivar;
using namespace quillivar::test;

namespace {

void Mode(const QString& path, mode_t mode) { chmod(QFile::encodeName(path).constData(), mode); }

// Converts documents one after another with one warm engine, as a run does, and keeps the
// reports of each apart.
class Batch {
public:
    explicit Batch(const QString& output, EngineOptions options = DefaultEngineOptions())
        : engines_(EngineLauncher(std::move(options)), NeverCancelled()) {
        choices.outputFolder = output;
    }

    std::vector<Report> Convert(const QString& document) {
        observer_.reports.clear();
        SaveDocAsJPG(document, choices, engines_, observer_);
        return observer_.reports;
    }

    EngineSession& engines() { return engines_; }
    ExportChoices choices;

private:
    RecordingObserver observer_;
    EngineSession engines_;
};

QString Describe(const std::vector<Report>& reports) {
    QStringList lines;
    for (const Report& report : reports) lines << QString::number(report.line) + ": " + report.description;
    return lines.join('\n');
}

}  // namespace

TEST(Hostile, BadInputIsReportedInPlainWordsAndTheRunGoesOn) {
    QTemporaryDir folder, output;
    const QString base = folder.path();
    const QString corpus = CorpusFolder();
    struct Case {
        QString name;
        QString says;
    };
    std::vector<Case> cases = {
        {"Empty.docx", "is empty (0 bytes)"},
        {"Truncated.docx", "LibreOffice cannot open this file"},
        {"Photo.docx", "This file is a picture, not a word-processor document"},
        {"Notes.doc", "This file holds plain text, not the document its name says (.doc)"},
        {"Folder.docx", "This is a folder, not a document"},
        {"Vanished.docx", "The document does not exist"},
        {"Sheet.docx", "This file is a spreadsheet, not a word-processor document"},
        {"Container.doc", "LibreOffice cannot open this file"},
    };
    Touch(base + "/Empty.docx");
    TruncatedCopy(TestDocument("three-pages.docx"), base + "/Truncated.docx");
    QImage photo(320, 200, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    photo.save(base + "/Photo.docx", "JPEG");
    QFile notes(base + "/Notes.doc");
    notes.open(QIODevice::WriteOnly);
    notes.write("Shopping list\nbread\nmilk\n");
    notes.close();
    RenameWordDocumentStream(CopyInto(TestDocument("one-page.doc"), base, "Container.doc"));
    // Password-protected documents come from the corpus, where there is one.
    if (QFileInfo::exists(corpus + "/MANIFEST.tsv")) {
        QFile::copy(corpus + "/encrypted-password-pass-poi.docx", base + "/Locked.docx");
        QFile::copy(corpus + "/encrypted-tika.odt", base + "/Locked.odt");
        QFile::copy(corpus + "/encrypted-password-password-poi.doc", base + "/Locked.doc");
        for (const char* locked : {"Locked.docx", "Locked.odt", "Locked.doc"}) cases.push_back({locked, "password-protected"});
    }
    QDir(base).mkdir("Folder.docx");
    MakeSpreadsheet(base + "/Sheet.docx");

    Batch batch(output.path());
    EXPECT_TRUE(batch.Convert(CopyInto(TestDocument("one-page.docx"), base, "Before.docx")).empty());
    for (const Case& bad : cases) {
        const std::vector<Report> reports = batch.Convert(base + "/" + bad.name);
        ASSERT_FALSE(reports.empty()) << bad.name.toStdString();
        EXPECT_EQ(reports.front().line, 128) << bad.name.toStdString();
        EXPECT_TRUE(reports.front().description.contains(bad.says)) << bad.name.toStdString() << ": " << Describe(reports).toStdString();
        EXPECT_TRUE(reports.front().description.endsWith(base + "/" + bad.name)) << reports.front().description.toStdString();
    }
    EXPECT_TRUE(batch.Convert(CopyInto(TestDocument("three-pages.odt"), base, "After.odt")).empty());
    EXPECT_EQ(FolderEntries(output.path()), QStringList({"After_1.jpg", "After_2.jpg", "After_3.jpg", "Before_1.jpg"}));
}

TEST(Hostile, AFileTheUserMayNotReadIsReported) {
    QTemporaryDir folder, output, state;
    for (const QString& path : {folder.path(), output.path(), state.path()}) Mode(path, 0777);
    const QString readable = CopyInto(TestDocument("one-page.docx"), folder.path(), "Open.docx");
    const QString secret = CopyInto(TestDocument("one-page.docx"), folder.path(), "Secret.docx");
    Mode(readable, 0644);
    Mode(secret, 0);
    const QString engine = ProgramForOrdinaryUser("lib/quillivar/quillivar-engine");
    const QString reports = RunAsOrdinaryUser([&] {
        EngineOptions options = DefaultEngineOptions();
        options.program = engine;
        options.stateFolder = state.path();
        Batch batch(output.path(), options);
        return Describe(batch.Convert(secret)) + "|" + Describe(batch.Convert(readable));
    });
    EXPECT_TRUE(reports.startsWith("128: The document cannot be read (permission denied): " + secret)) << reports.toStdString();
    EXPECT_TRUE(reports.endsWith("|")) << reports.toStdString();  // the readable one went through
    EXPECT_EQ(FolderEntries(output.path()), QStringList{"Open_1.jpg"});
}

TEST(Hostile, TheSourceStaysUntouchedAlsoInAReadOnlyFolder) {
    QTemporaryDir folder, output;
    const QString path = CopyInto(TestDocument("three-pages.docx"), folder.path(), "Report.docx");
    const QByteArray digest = FileDigest(path);
    const QDateTime modified = QFileInfo(path).lastModified();
    Mode(folder.path(), 0555);
    Batch batch(output.path());
    EXPECT_TRUE(batch.Convert(path).empty());
    Mode(folder.path(), 0755);
    EXPECT_EQ(FileDigest(path), digest);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{"Report.docx"});
    EXPECT_EQ(FolderEntries(output.path()).size(), 3);
}

TEST(Hostile, AFullDiskGivesTheWritersReportAndNoStrayFile) {
    QTemporaryDir folder, output;
    Batch batch(output.path());
    EXPECT_TRUE(batch.Convert(CopyInto(TestDocument("one-page.odt"), folder.path(), "Warm.odt")).empty());
    // A file-size limit on the running engine stands for a disk that fills up: it still reads
    // documents, but no page image fits any more.
    const rlimit limit{4096, 4096};
    ASSERT_EQ(prlimit(batch.engines().Current()->ProcessId(), RLIMIT_FSIZE, &limit, nullptr), 0);
    batch.choices.quality = 100;
    const std::vector<Report> reports = batch.Convert(CopyInto(TestDocument("three-pages.rtf"), folder.path(), "Big.rtf"));
    EXPECT_EQ(Describe(reports), "182: Cannot save the image. GDI+ Error:6\n182: Cannot save the image. GDI+ Error:6\n"
                                 "182: Cannot save the image. GDI+ Error:6");
    for (const Report& report : reports) EXPECT_EQ(report.cause, qt_error_string(EFBIG));  // the system's own words
    EXPECT_EQ(FolderEntries(output.path()), QStringList{"Warm_1.jpg"});
}

TEST(Hostile, AnOutputFolderThatCannotBeWrittenIsReported) {
    QTemporaryDir folder, output, state;
    Mode(folder.path(), 0755);
    Mode(state.path(), 0777);
    Mode(output.path(), 0555);
    const QString path = CopyInto(TestDocument("one-page.odt"), folder.path(), "Memo.odt");
    Mode(path, 0644);
    const QString engine = ProgramForOrdinaryUser("lib/quillivar/quillivar-engine");
    const QString reports = RunAsOrdinaryUser([&] {
        EngineOptions options = DefaultEngineOptions();
        options.program = engine;
        options.stateFolder = state.path();
        Batch batch(output.path(), options);
        return Describe(batch.Convert(path));
    });
    Mode(output.path(), 0755);
    EXPECT_EQ(reports, "182: Cannot save the image. GDI+ Error:5");
    EXPECT_TRUE(FolderEntries(output.path()).isEmpty());
}

TEST(Hostile, EnginesAreRecycledByCountAndBySize) {
    QTemporaryDir folder, output;
    EngineOptions options = DefaultEngineOptions();
    options.limits.recycleAfterDocuments = 2;
    Batch byCount(output.path(), options);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_TRUE(byCount.Convert(CopyInto(TestDocument("one-page.rtf"), folder.path(), QString("n%1.rtf").arg(i))).empty());
    }
    byCount.engines().End();
    EXPECT_EQ(byCount.engines().Stats().engines, 3);

    options.limits.recycleAfterDocuments = 200;
    options.limits.recycleAboveKib = 1;
    Batch bySize(output.path(), options);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(bySize.Convert(CopyInto(TestDocument("one-page.odt"), folder.path(), QString("s%1.odt").arg(i))).empty());
    }
    bySize.engines().End();
    EXPECT_EQ(bySize.engines().Stats().engines, 3);
    EXPECT_GT(bySize.engines().Stats().peakResidentKib, 10 * 1024);
    EXPECT_EQ(FolderEntries(output.path()).size(), 8);
}

TEST(Hostile, ADocumentThatUnpacksIntoGigabytesMeetsTheMemoryLimit) {
    QTemporaryDir folder, output;
    const QString huge = folder.path() + "/Huge.odt";
    MakeHugeParagraphOdt(huge, 200);
    ASSERT_LT(QFileInfo(huge).size(), 4 * 1024 * 1024);  // small on disk
    EngineOptions options = DefaultEngineOptions();
    options.limits.memoryLimitKib = 600 * 1024;
    Batch batch(output.path(), options);
    const std::vector<Report> reports = batch.Convert(huge);
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(reports[0].description.startsWith("LibreOffice grew past the 600 MiB of memory it may use"))
        << Describe(reports).toStdString();
    EXPECT_TRUE(batch.Convert(CopyInto(TestDocument("one-page.odt"), folder.path(), "Next.odt")).empty());
    EXPECT_EQ(FolderEntries(output.path()), QStringList{"Next_1.jpg"});
}

TEST(Hostile, AwkwardNamesAreConvertedAndNamedByTheRules) {
    QTemporaryDir root;
    const QStringList folders = {"plain", "My \"quoted\" folder", "-lead", "50%20off", "#hash", "Папка", "資料", "🎉 party"};
    const QStringList names = {"Quarterly report", "He said \"hi\"", "-dash", "50%20off", "#1 notes", "Ann's",
                               "Отчёт", "報告書", "Party 🎉"};
    Batch batch{QString()};
    batch.choices.place = OutputPlace::DocumentFolder;  // beside each document, in the awkward folders
    int documents = 0;
    for (const QString& folderName : folders) {
        const QString folder = root.path() + "/" + folderName;
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString name = names[documents % names.size()];
        const QString path = CopyInto(TestDocument("one-page.docx"), folder, name + ".docx");
        EXPECT_TRUE(batch.Convert(path).empty()) << path.toStdString();
        EXPECT_TRUE(QFile::exists(folder + "/" + name + "_1.jpg")) << (folder + "/" + name).toStdString();
        ++documents;
    }
    for (const QString& name : names) {
        const QString path = CopyInto(TestDocument("one-page.rtf"), root.path() + "/plain", name + ".rtf");
        EXPECT_TRUE(batch.Convert(path).empty()) << path.toStdString();
        EXPECT_TRUE(QFile::exists(root.path() + "/plain/" + name + "_1.jpg")) << name.toStdString();
    }
}

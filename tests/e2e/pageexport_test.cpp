// The page export with the real engine and LibreOffice, on documents made for the tests.

#include "batchrun.h"
#include "engine.h"
#include "hostiledocuments.h"
#include "pageexport.h"
#include "testsupport.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillivar;
using namespace quillivar::test;

namespace {

class PageExport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(documents.isValid() && output.isValid());
        choices.outputFolder = output.path();
    }

    QString Document(const QString& testDocument, const QString& name = QString()) {
        return CopyInto(TestDocument(testDocument), documents.path(), name);
    }

    ExportResult Export(const QString& path) { return SaveDocAsJPG(path, choices, *engines, reporter); }

    QStringList Output() const { return FolderEntries(output.path()); }

    QTemporaryDir documents;
    QTemporaryDir output;
    RecordingObserver reporter;
    ExportChoices choices;
    std::unique_ptr<EngineSession> engines =
        std::make_unique<EngineSession>(EngineLauncher(DefaultEngineOptions()), NeverCancelled());
};

// A one-page document with a tracked insertion by `author`, in flat OpenDocument form.
QString TrackedChangeDocument(const QString& folder, const QString& author) {
    const QString path = folder + "/" + QString(author).replace(' ', '-') + ".fodt";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:dc="http://purl.org/dc/elements/1.1/"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text>
<text:tracked-changes><text:changed-region xml:id="c1" text:id="c1"><text:insertion><office:change-info>
<dc:creator>)" + author.toUtf8() + R"(</dc:creator><dc:date>2020-01-01T00:00:00</dc:date></office:change-info>
</text:insertion></text:changed-region></text:tracked-changes>
<text:p>Written first, <text:change-start text:change-id="c1"/>and this was added later by someone else,<text:change-end text:change-id="c1"/> then the end.</text:p>
</office:text></office:body></office:document>)");
    return path;
}

// Which rows of a page file, shrunk to `size`, hold ink: where its lines of text lie.
std::vector<bool> InkedRows(const QString& path, QSize size) {
    const DecodedImage page = DecodeImage(path);
    const QImage image(page.rgb.data(), page.width, page.height, page.width * 3, QImage::Format_RGB888);
    const QImage shrunk = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
    std::vector<bool> rows;
    for (int y = 0; y < shrunk.height(); ++y) {
        double ink = 0;
        for (int x = 0; x < shrunk.width(); ++x) ink += 255 - shrunk.constScanLine(y)[x];
        rows.push_back(ink / shrunk.width() > 3);
    }
    return rows;
}

// Whether each inked row of `a` has one of `b` within a row, and the other way round.
bool SameInkedRows(const std::vector<bool>& a, const std::vector<bool>& b) {
    const auto near = [](const std::vector<bool>& rows, std::size_t y) {
        return rows[y] || (y > 0 && rows[y - 1]) || (y + 1 < rows.size() && rows[y + 1]);
    };
    for (std::size_t y = 0; y < a.size() && y < b.size(); ++y) {
        if ((a[y] && !near(b, y)) || (b[y] && !near(a, y))) return false;
    }
    return a.size() == b.size();
}

class EveryFormat : public PageExport, public ::testing::WithParamInterface<const char*> {};

}  // namespace

TEST_P(EveryFormat, GivesOneImagePerPageShowingThatPage) {
    const QString name = QStringLiteral("three-pages.") + GetParam();
    const QString path = Document(name);
    const QByteArray digest = FileDigest(path);
    const QDateTime modified = QFileInfo(path).lastModified();

    const ExportResult result = Export(path);

    EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    ASSERT_EQ(Output(), (QStringList{"three-pages_1.jpg", "three-pages_2.jpg", "three-pages_3.jpg"}));
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.pageCount, 3);
    EXPECT_EQ(result.pagesWritten.size(), 3);
    EXPECT_TRUE(result.pagesFailed.isEmpty());
    for (int page = 1; page <= 3; ++page) {
        const DecodedImage image = DecodeJpeg(output.path() + QStringLiteral("/three-pages_%1.jpg").arg(page));
        EXPECT_EQ(image.width, 794);  // A4 at 96 dots per inch
        EXPECT_EQ(image.height, 1123);
        EXPECT_EQ(BoxColour(image), page) << "page " << page;
    }
    EXPECT_EQ(reporter.statusTexts, (QStringList{"Processing: " + name + " (Page 1 of 3)",
                                             "Processing: " + name + " (Page 2 of 3)",
                                             "Processing: " + name + " (Page 3 of 3)"}));
    EXPECT_EQ(FileDigest(path), digest);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    EXPECT_EQ(FolderEntries(documents.path()), QStringList{name});  // no lock or backup files
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat, ::testing::Values("rtf", "docx", "odt", "doc"));

TEST_F(PageExport, StatusTextCountsPagesDone) {
    Export(Document("seven-pages.docx", "Report.docx"));
    ASSERT_EQ(reporter.statusTexts.size(), 7);
    EXPECT_EQ(reporter.statusTexts[2], "Processing: Report.docx (Page 3 of 7)");
    EXPECT_EQ(Output().size(), 7);
    EXPECT_EQ(BoxColour(DecodeJpeg(output.path() + "/Report_7.jpg")), 7);
}

TEST_F(PageExport, OneWarmEngineServesTheRunAndEndsWithIt) {
    Export(Document("one-page.odt"));
    ASSERT_NE(engines->Current(), nullptr);
    const pid_t engine = engines->Current()->ProcessId();
    EXPECT_EQ(engines->Current()->Forked(), EnginesAreForked());
    Export(Document("one-page.doc"));
    EXPECT_EQ(engines->Current()->ProcessId(), engine);
    EXPECT_TRUE(ProcessGroupAlive(engine));
    engines->End();
    EXPECT_FALSE(ProcessGroupAlive(engine));
    EXPECT_EQ(Output(), (QStringList{"one-page_1.jpg"}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(PageExport, TheSameDocumentGivesTheSamePagesWhateverCameBefore) {
    // Tracked changes take their colours from the authors LibreOffice met before.
    const QString ann = TrackedChangeDocument(documents.path(), "Ann Author");
    const QString bob = TrackedChangeDocument(documents.path(), "Bob Builder");
    const auto pagesOf = [&](const QStringList& order) {
        engines = std::make_unique<EngineSession>(EngineLauncher(DefaultEngineOptions()), NeverCancelled());
        QStringList digests;
        for (const QString& path : order) {
            const ExportResult result = Export(path);
            EXPECT_EQ(result.pagesWritten.size(), 1);
            for (const QString& page : result.pagesWritten) digests << FileDigest(page).toHex();
        }
        return digests;
    };
    const QStringList alone = pagesOf({ann}) + pagesOf({bob});
    EXPECT_EQ(pagesOf({ann, bob}), alone);
    EXPECT_EQ(pagesOf({bob, ann}), QStringList({alone[1], alone[0]}));
    // Nothing of the parent engines are forked from reaches the pages either.
    EngineOptions cold = DefaultEngineOptions();
    cold.forkEngines = false;
    engines = std::make_unique<EngineSession>(EngineLauncher(cold), NeverCancelled());
    EXPECT_EQ(FileDigest(Export(bob).pagesWritten.value(0)).toHex(), alone[1]);
    EXPECT_FALSE(engines->Current()->Forked());
    // A single run (the command line's) starts its first engine cold, and forks the fresh one.
    EngineOptions single = DefaultEngineOptions();
    single.forkFirstEngines = false;
    engines = std::make_unique<EngineSession>(EngineLauncher(single), NeverCancelled());
    EXPECT_EQ(FileDigest(Export(ann).pagesWritten.value(0)).toHex(), alone[0]);
    EXPECT_FALSE(engines->Current()->Forked());
    EXPECT_EQ(FileDigest(Export(bob).pagesWritten.value(0)).toHex(), alone[1]);
    EXPECT_EQ(engines->Current()->Forked(), EnginesAreForked());
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(PageExport, NamesPagesAfterEverythingBeforeTheLastDot) {
    Export(Document("one-page.docx", "my.report.final.docx"));
    EXPECT_TRUE(Output().contains("my.report.final_1.jpg"));

    // A dot only in a folder name: the base name is what comes before it.
    ASSERT_TRUE(QDir(documents.path()).mkdir("a.b"));
    Export(CopyInto(TestDocument("one-page.odt"), documents.path() + "/a.b", "report"));
    EXPECT_TRUE(Output().contains("a_1.jpg"));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(PageExport, ThePageNameMayBeAsLongAsTheFileSystemAllows) {
    const QString name = QString(244, 'n');  // its page file, name_1.jpg, is 250 bytes
    Export(Document("one-page.odt", name + ".odt"));
    EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    EXPECT_EQ(Output(), QStringList{name + "_1.jpg"});
}

TEST_F(PageExport, APathWithoutAnyDotGivesPagesWithoutABaseName) {
    const QString folder = documents.path() + "/nodots";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = CopyInto(TestDocument("one-page.rtf"), folder, "report");
    ASSERT_FALSE(path.contains('.')) << path.toStdString();
    Export(path);
    EXPECT_EQ(Output(), QStringList{"_1.jpg"});
}

TEST_F(PageExport, AnOutputFolderEndingInASlashGetsNoDoubleSlash) {
    choices.outputFolder = output.path() + "/";
    Export(Document("one-page.docx", "Letter.docx"));
    EXPECT_EQ(Output(), QStringList{"Letter_1.jpg"});
}

TEST_F(PageExport, TheOtherOptionWritesBesideTheDocument) {
    choices.place = OutputPlace::DocumentFolder;
    choices.outputFolder = "/nowhere/at/all";
    const QString path = Document("three-pages.odt", "Notes.odt");
    Export(path);
    EXPECT_EQ(FolderEntries(documents.path()), (QStringList{"Notes.odt", "Notes_1.jpg", "Notes_2.jpg", "Notes_3.jpg"}));
    EXPECT_TRUE(Output().isEmpty());
}

TEST_F(PageExport, SavedPageBreaksChangeNothingButTheLayoutAndLeaveNothingBehind) {
    // Opened from a copy, a document would show the copy's path in a file-name field: one
    // that has such a field is opened where it is.
    const QByteArray text = "<text:p>Saved with the page breaks of its last layout.</text:p>";
    const QByteArray path = "<text:p>This is <text:file-name text:display=\"full\"/></text:p>";
    const QString document = documents.path() + "/saved.odt";
    for (const QByteArray& body : {text, path}) {
        MakeOdt(document, body);
        Export(document);
        const QByteArray fresh = FileDigest(output.path() + "/saved_1.jpg");
        MakeOdt(document, body, QByteArray(4096, '\x7f'));
        Export(document);
        EXPECT_TRUE(reporter.reports.empty());
        EXPECT_EQ(FileDigest(output.path() + "/saved_1.jpg"), fresh) << body.toStdString();
    }
    const QString engines = DefaultEngineOptions().stateFolder;
    for (const QString& slot : QDir(engines).entryList({"engine-*"}, QDir::Dirs)) {
        EXPECT_EQ(QDir(engines + "/" + slot + "/tmp").entryList({"document-*"}, QDir::AllEntries), QStringList());
    }
}

TEST_F(PageExport, AReadOnlyOldPageFileIsReplaced) {
    const QString old = output.path() + "/three-pages_2.jpg";
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    ASSERT_EQ(chmod(QFile::encodeName(old).constData(), 0444), 0);
    Export(Document("three-pages.rtf"));
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(BoxColour(DecodeJpeg(old)), 2);
}

TEST_F(PageExport, QualityAndResolutionReachThePageImages) {
    choices.quality = 10;
    Export(Document("one-page.odt", "low.odt"));
    choices.quality = 95;
    choices.dotsPerInch = 192;
    Export(Document("one-page.odt", "high.odt"));
    EXPECT_LT(QFileInfo(output.path() + "/low_1.jpg").size() * 2, QFileInfo(output.path() + "/high_1.jpg").size());
    const DecodedImage high = DecodeJpeg(output.path() + "/high_1.jpg");
    EXPECT_EQ(high.width, 1588);  // 11906 x 16838 twips at 192 dots per inch, as pdftoppm sizes it
    EXPECT_EQ(high.height, 2246);
}

TEST_F(PageExport, APageOfAHundredMegapixelsIsWrittenWholeWithoutBeingHeldWhole) {
    // What the engine holds for the same lines on an A4 page.
    Export(PosterDocument(documents.path(), "a4.rtf", 11906, 16838, 40));
    engines->End();
    const long a4PeakKib = engines->Stats().peakResidentKib;

    engines = std::make_unique<EngineSession>(EngineLauncher(DefaultEngineOptions()), NeverCancelled());
    const QString poster = PosterDocument(documents.path(), "a0.rtf", 47679, 67408, 200);
    choices.dotsPerInch = 254;  // 8410 x 11890 pixels
    for (const ImageFormat format : {ImageFormat::Png, ImageFormat::Jpeg}) {
        choices.format = format;
        Export(poster);
    }
    engines->End();
    const long a0PeakKib = engines->Stats().peakResidentKib;
    choices.dotsPerInch = 72;  // 8 megapixels: painted whole
    choices.outputFolder = documents.path();
    Export(poster);
    EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    EXPECT_LT(a0PeakKib, a4PeakKib + 32 * 1024) << "more than a band of 32 MiB beyond an A4 page's";

    // Shrunk to an A4 page at 96 dpi, its lines lie where they lie on the page painted whole.
    const std::vector<bool> whole = InkedRows(documents.path() + "/a0_1.jpg", {794, 1123});
    EXPECT_GT(std::count(whole.begin(), whole.end(), true), 400);
    for (const char* banded : {"/a0_1.png", "/a0_1.jpg"}) {
        const DecodedImage page = DecodeImage(output.path() + banded);
        EXPECT_EQ(page.width, 8410);
        EXPECT_EQ(page.height, 11890);
        EXPECT_TRUE(SameInkedRows(InkedRows(output.path() + banded, {794, 1123}), whole)) << banded;
    }
}

TEST_F(PageExport, APageWiderThanOnePaintIsPaintedInPartsThatMeet) {
    // 300 cm wide: 35,434 pixels at 300 dpi, more than LibreOffice paints at once. A zigzag
    // runs across the whole page, rising and falling half a row a column, so that parts that
    // do not meet show as a jump in it.
    QByteArray zigzag;
    for (int x = 0; x <= 290; x += 4) zigzag += QByteArray::number(x * 1000) + (x % 8 == 0 ? ",0 " : ",2000 ");
    const QString path = documents.path() + "/banner.fodt";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.text"><office:automatic-styles>
<style:page-layout style:name="banner"><style:page-layout-properties fo:page-width="300cm" fo:page-height="10cm"
 fo:margin-top="1cm" fo:margin-bottom="1cm" fo:margin-left="1cm" fo:margin-right="1cm"/></style:page-layout>
<style:style style:name="line" style:family="graphic"><style:graphic-properties svg:stroke-width="0.2cm"
 svg:stroke-color="#000000" draw:stroke="solid" style:wrap="run-through" style:run-through="foreground"/></style:style>
</office:automatic-styles><office:master-styles><style:master-page style:name="Standard" style:page-layout-name="banner"/>
</office:master-styles><office:body><office:text><draw:polyline draw:style-name="line" text:anchor-type="page"
 text:anchor-page-number="1" svg:x="5cm" svg:y="3cm" svg:width="290cm" svg:height="2cm" svg:viewBox="0 0 290000 2000"
 draw:points=")" + zigzag.trimmed() + R"("/><text:p/></office:text></office:body></office:document>)");
    file.close();
    choices.dotsPerInch = 300;
    Export(path);
    EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    const DecodedImage page = DecodeImage(output.path() + "/banner_1.jpg");
    ASSERT_EQ(page.width, 35434);
    // Down the page, the line's top edge moves by at most a row from one column to the next.
    int top = -1;
    for (int x = 1200; x < 34000; ++x) {  // away from its ends
        int row = 0;
        while (row < page.height && page.rgb[(static_cast<std::size_t>(row) * page.width + x) * 3] > 128) ++row;
        ASSERT_LT(row, page.height) << "no line in column " << x;
        if (top >= 0) {
            ASSERT_LE(std::abs(row - top), 1) << "column " << x;
        }
        top = row;
    }
}

TEST_F(PageExport, AnEmptyFileIsReportedAtEachStepAndTheNextDocumentConverts) {
    const QString empty = documents.path() + "/empty.docx";
    QFile(empty).open(QIODevice::WriteOnly);
    const ExportResult result = Export(empty);
    EXPECT_FALSE(result.opened);
    EXPECT_TRUE(result.pagesWritten.isEmpty());
    EXPECT_EQ(reporter.lines(), (std::vector<int>{128, 130, 132, 178, 182}));
    EXPECT_TRUE(reporter.reports[0].description.contains("empty (0 bytes)")) << reporter.reports[0].description.toStdString();
    EXPECT_EQ(reporter.reports[4].description, "Cannot save the image. GDI+ Error:9");
    for (const Report& report : reporter.reports) EXPECT_EQ(report.location, locations::kSaveDocAsJPG);
    EXPECT_TRUE(Output().isEmpty());
    EXPECT_EQ(reporter.statusTexts.last(), "Processing: empty.docx (Page 1 of 0)");

    reporter.reports.clear();
    Export(Document("one-page.docx"));
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(Output(), QStringList{"one-page_1.jpg"});
}

TEST_F(PageExport, BrokenAndMissingDocumentsSayWhatIsWrong) {
    Export(TruncatedCopy(TestDocument("three-pages.docx"), documents.path() + "/truncated.docx"));
    ASSERT_FALSE(reporter.reports.empty());
    EXPECT_EQ(reporter.reports[0].line, 128);
    EXPECT_TRUE(reporter.reports[0].description.startsWith("LibreOffice cannot open this file"))
        << reporter.reports[0].description.toStdString();

    reporter.reports.clear();
    Export(documents.path() + "/vanished.docx");
    ASSERT_FALSE(reporter.reports.empty());
    EXPECT_EQ(reporter.reports[0].line, 128);
    EXPECT_TRUE(reporter.reports[0].description.startsWith("The document does not exist"));

    reporter.reports.clear();
    Export(documents.path());
    ASSERT_FALSE(reporter.reports.empty());
    EXPECT_TRUE(reporter.reports[0].description.startsWith("This is a folder, not a document"));

    reporter.reports.clear();
    Export(Document("three-pages.doc"));
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(Output().size(), 3);
}

TEST_F(PageExport, AHungEngineIsStoppedAndTheNextDocumentGetsAFreshOne) {
    EngineOptions options = FakeEngineOptions("hang-on-open");
    options.limits.withoutProgress = std::chrono::seconds(3);
    engines = std::make_unique<EngineSession>(EngineLauncher(options), NeverCancelled());

    for (const char* name : {"hangs.docx", "next.docx"}) {  // each gets an engine of its own
        reporter.reports.clear();
        Export(Document("one-page.docx", name));
        ASSERT_FALSE(reporter.reports.empty());
        EXPECT_EQ(reporter.lines(), (std::vector<int>{128, 130, 132}));
        EXPECT_TRUE(reporter.reports[0].description.contains("made no progress for 3 seconds while opening the document"))
            << reporter.reports[0].description.toStdString();
        EXPECT_TRUE(ChildProcesses(getpid(), "fake-engine").empty());
    }
}

TEST_F(PageExport, AnEngineAtWorkIsNeverStoppedForTakingLong) {
    EngineOptions options = FakeEngineOptions("busy-on-open=4");
    options.limits.withoutProgress = std::chrono::seconds(1);
    engines = std::make_unique<EngineSession>(EngineLauncher(options), NeverCancelled());
    const ExportResult result = Export(Document("one-page.docx"));
    EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    EXPECT_TRUE(result.opened);
}

TEST_F(PageExport, AnEngineThatTalksNonsenseIsStoppedAndReported) {
    const struct {
        const char* behaviour;
        std::vector<int> lines;  // the first is where it was caught
    } cases[] = {
        {"answer-twice", {130, 132}},  // the second answer is taken for the next request's
        {"long-answer", {128, 130, 132}},
        {"bad-page-count", {132}},
    };
    for (const auto& fake : cases) {
        engines = std::make_unique<EngineSession>(EngineLauncher(FakeEngineOptions(fake.behaviour)), NeverCancelled());
        reporter.reports.clear();
        Export(Document("one-page.docx"));
        EXPECT_EQ(reporter.lines(), fake.lines) << fake.behaviour;
        ASSERT_FALSE(reporter.reports.empty());
        EXPECT_TRUE(reporter.reports[0].description.contains("broke off talking sense")) << fake.behaviour;
        EXPECT_TRUE(ChildProcesses(getpid(), "fake-engine").empty()) << fake.behaviour;
    }
}

// Painting ahead or not, a failure is reported for the page it belongs to, and the pages
// before it are written.
TEST_F(PageExport, AnEngineLostWhilePaintingAheadIsReportedForThePageItWasPainting) {
    const struct {
        const char* behaviour;
        std::vector<int> lines;  // the first is where it was caught
        const char* doing;
        qsizetype written;
    } cases[] = {
        {"crash-ahead", {178, 182}, "while drawing page 3", 2},
        {"crash-saving", {182}, "while saving page one-page_1.jpg", 0},
    };
    for (const bool paintAhead : {true, false}) {
        for (const auto& fake : cases) {
            EngineOptions options = FakeEngineOptions(fake.behaviour);
            options.drawAhead = paintAhead;
            engines = std::make_unique<EngineSession>(EngineLauncher(options), NeverCancelled());
            reporter.reports.clear();
            const ExportResult result = Export(Document("one-page.docx"));
            const std::string context = std::string(fake.behaviour) + (paintAhead ? ", painting ahead" : "");
            EXPECT_EQ(reporter.lines(), fake.lines) << context;
            ASSERT_FALSE(reporter.reports.empty()) << context;
            EXPECT_TRUE(reporter.reports[0].description.contains(fake.doing)) << reporter.reports[0].description.toStdString();
            EXPECT_EQ(result.pagesWritten.size(), fake.written) << context;
            EXPECT_EQ(result.pagesFailed.size(), 1) << context;
        }
    }
}

// Side by side, the longest documents go first, so that no engine is left with one at the end;
// a package is judged by its text, not its size on disk (the seven-page .docx is the smallest
// file here).
TEST_F(PageExport, SideBySideTheLongestDocumentGoesFirstHoweverSmallOnDisk) {
    class Starts : public QuietRunObserver {
    public:
        void DocumentStarted(int index, const QString&) override {
            const std::lock_guard lock(mutex);
            order.push_back(index);
        }
        std::mutex mutex;
        std::vector<int> order;
    };
    const QStringList all = {Document("one-page.odt", "a.odt"), Document("one-page.doc", "b.doc"),
                             Document("seven-pages.docx", "c.docx")};
    ASSERT_LT(QFileInfo(all[2]).size(), QFileInfo(all[1]).size());
    Starts observer;
    RunBatch(all, RunChoices{choices, 2}, EngineLauncher(FakeEngineOptions("")), observer, NeverCancelled());
    ASSERT_EQ(observer.order.size(), 3u);
    EXPECT_EQ(observer.order.back(), 0);  // the shortest, the .odt, whose styles make it largest
}

// A run leaves its last document for the engine's end to close; the others are closed, and a
// failure there is reported at its step.
TEST_F(PageExport, ARunClosesEveryDocumentButItsLast) {
    class Lines : public QuietRunObserver {
    public:
        void ShowErrorReport(int index, const QString&, const QString&, int line, const QString&) override {
            const std::lock_guard lock(mutex);
            byDocument[index].push_back(line);
        }
        std::mutex mutex;
        std::map<int, std::vector<int>> byDocument;
    };
    const QStringList all = {Document("one-page.docx", "a.docx"), Document("one-page.docx", "b.docx"),
                             Document("one-page.docx", "c.docx")};
    for (const int jobs : {1, 2}) {
        Lines observer;
        RunChoices run{choices, jobs};
        const RunResult result = RunBatch(all, run, EngineLauncher(FakeEngineOptions("crash-closing")), observer, NeverCancelled());
        EXPECT_EQ(result.pageFiles.size(), 9);  // three pages each
        EXPECT_EQ(observer.byDocument.size(), 2u) << jobs << " jobs";
        for (const auto& [index, lines] : observer.byDocument) EXPECT_EQ(lines, std::vector<int>{194}) << index;
    }
    EXPECT_TRUE(ChildProcesses(getpid(), "fake-engine").empty());
}

TEST_F(PageExport, AnEngineKilledMidDocumentIsReportedForThatDocumentOnly) {
    pid_t killed = 0;
    reporter.onStatus = [&](const QString& status) {
        if (status.endsWith("(Page 1 of 7)")) {
            killed = engines->Current()->ProcessId();
            kill(killed, SIGKILL);
        }
    };
    Export(Document("seven-pages.odt"));
    ASSERT_EQ(reporter.lines(), (std::vector<int>{178, 182}));
    EXPECT_TRUE(reporter.reports[0].description.contains("stopped unexpectedly (signal 9"))
        << reporter.reports[0].description.toStdString();
    EXPECT_TRUE(reporter.reports[0].description.contains("while drawing page 2"));
    EXPECT_EQ(Output(), QStringList{"seven-pages_1.jpg"});
    EXPECT_FALSE(ProcessGroupAlive(killed));

    reporter.onStatus = nullptr;
    reporter.reports.clear();
    Export(Document("one-page.rtf"));
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_TRUE(Output().contains("one-page_1.jpg"));
}

// The parent engines are forked from is no document's business: killed mid-document, it takes
// the engine with it, and the document goes on in an engine started cold, without a report.
TEST_F(PageExport, AParentKilledMidDocumentLeavesTheRunToColdEnginesWithoutAReport) {
    if (!EnginesAreForked()) GTEST_SKIP() << "engines start cold with LibreOffice " << LibreOfficeMajor();
    EngineLauncher launcher(DefaultEngineOptions());
    engines = std::make_unique<EngineSession>(launcher, NeverCancelled());
    pid_t parent = 0;
    reporter.onStatus = [&](const QString& status) {
        if (!status.endsWith("(Page 3 of 7)")) return;
        parent = ParentProcess(engines->Current()->ProcessId());
        kill(parent, SIGKILL);
    };
    Export(Document("seven-pages.odt"));
    EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    EXPECT_EQ(Output().size(), 7);
    ASSERT_GT(parent, 1);
    EXPECT_FALSE(ProcessGroupAlive(parent));
    EXPECT_FALSE(engines->Current()->Forked());
    EXPECT_TRUE(launcher.ColdStartReason().contains("signal 9")) << launcher.ColdStartReason().toStdString();

    reporter.onStatus = nullptr;
    Export(Document("one-page.rtf"));
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_TRUE(Output().contains("one-page_1.jpg"));
}

TEST_F(PageExport, AForkedEngineThatStopsIsReportedAtItsStep) {
    EngineOptions options = DefaultEngineOptions();
    options.limits.withoutProgress = std::chrono::seconds(2);
    engines = std::make_unique<EngineSession>(EngineLauncher(options), NeverCancelled());
    pid_t stopped = 0;
    reporter.onStatus = [&](const QString& status) {
        if (!status.endsWith("(Page 1 of 7)")) return;
        stopped = engines->Current()->ProcessId();
        kill(stopped, SIGSTOP);
    };
    Export(Document("seven-pages.odt"));
    ASSERT_EQ(reporter.lines(), (std::vector<int>{178, 182}));
    EXPECT_TRUE(reporter.reports[0].description.contains("made no progress for 2 seconds while drawing page 2"))
        << reporter.reports[0].description.toStdString();
    EXPECT_FALSE(ProcessGroupAlive(stopped));
}

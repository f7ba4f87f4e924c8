#pragma once
// Helpers shared by the tests: recorded reports and progress, decoded page images and checks
// on processes and files.

#include "batchrun.h"
#include "canceltoken.h"
#include "engine.h"
#include "errortrap.h"
#include "pageexport.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <sys/types.h>
#include <vector>

namespace quillivar::test {

// A run observer that takes no notice; tests override what they watch.
class QuietRunObserver : public RunObserver {
public:
    void DocumentStarted(int, const QString&) override {}
    void ShowStatus(int, const QString&) override {}
    void ShowErrorReport(int, const QString&, const QString&, int, const QString&) override {}
    void DocumentDone(int, const ExportResult&) override {}
};

// The documents made by tests/data/make-test-documents.sh: one-page, three-pages and
// seven-pages, each as .rtf, .docx, .odt and .doc. Page k carries a box of colour k.
QString TestDocument(const QString& name);

// ../shared/corpus beside the checkout, or $QUILLIVAR_CORPUS; real documents written
// elsewhere. Tests copy them before converting. A clone of the project alone has none: tests
// that need it skip themselves, saying so.
QString CorpusFolder();
#define QUILLIVAR_NEEDS_CORPUS()                                                                  \
    if (!QFileInfo::exists(::quillivar::test::CorpusFolder() + "/MANIFEST.tsv"))                 \
    GTEST_SKIP() << "no document corpus at " << ::quillivar::test::CorpusFolder().toStdString()

// Copies `source` into `folder`, under `name` when given; returns the copy's path.
QString CopyInto(const QString& source, const QString& folder, const QString& name = QString());

// For work that is never cancelled.
const CancelToken& NeverCancelled();

// The first number of the version of LibreOffice the engine runs: 7, 25, 26, ...
int LibreOfficeMajor();
// Whether engines are forked from a parent with this LibreOffice (25.2's and 26.8's start cold).
inline bool EnginesAreForked() { return LibreOfficeMajor() < 25; }

// A fake engine program (tests/support/fakeengine.cpp) that behaves as `behaviour` says: see
// there for what it can do.
EngineOptions FakeEngineOptions(const QString& behaviour);

struct Report {
    QString description;
    QString location;
    int line = 0;
    QString cause;
};


// Records what the export (or anything else that reports) showed: reports and status texts.
class RecordingObserver : public ExportObserver {
public:
    void ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) override;
    void ShowStatus(const QString& text) override;
    std::vector<int> lines() const;

    std::vector<Report> reports;
    QStringList statusTexts;
    std::function<void(const QString&)> onStatus;  // runs after each status text
};

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// Decodes a JPEG file; an empty image when the file is not a JPEG.
DecodedImage DecodeJpeg(const QString& path);
// Decodes a JPEG, PNG or WebP file, by its ending.
DecodedImage DecodeImage(const QString& path);
// The mean difference of two images of one size, in grey levels (0 to 255); -1 for sizes apart.
double GreyDifference(const DecodedImage& a, const DecodedImage& b);

// The number (1 to 7) of the test documents' box colour that covers most of the page, or 0.
int BoxColour(const DecodedImage& image);

// True while any process belongs to the process group.
bool ProcessGroupAlive(pid_t group);

pid_t ParentProcess(pid_t process);  // 0 when it is gone
// The running children of `parent` whose command name starts with `command`.
std::vector<pid_t> ChildProcesses(pid_t parent, const QByteArray& command);
// The engines serving `process`: those it started cold and those its engine parent forked.
std::vector<pid_t> EnginesOf(pid_t process);

QByteArray FileDigest(const QString& path);

// The names in a folder, hidden ones included, sorted.
QStringList FolderEntries(const QString& folder);

// Runs `work` in a child process, after `prepare`, and returns what it returned.
QString RunInChild(const std::function<QString()>& work, const std::function<bool()>& prepare = nullptr);

// Runs `work` as an ordinary user and returns what it returned: directly when the tests run
// as one, in a child process that gives up root otherwise (root may read everything).
QString RunAsOrdinaryUser(const std::function<QString()>& work);

// This build's program at `relativePath` ("bin/quillivar-cli", "lib/quillivar/quillivar-engine"),
// where an ordinary user may run it: a clone in a private home folder is out of that user's
// reach, so the programs are copied to a temporary folder, once.
QString ProgramForOrdinaryUser(const QString& relativePath);

// Writes the first half of `source` to `target`: a document cut off in the middle.
QString TruncatedCopy(const QString& source, const QString& target);

// An .rtf of `lines` lines of text in a frame on pages `twipsWide` x `twipsHigh` (A4: 11906 x
// 16838, room for 40 lines; A0: 47679 x 67408, room for 200).
QString PosterDocument(const QString& folder, const QString& name, int twipsWide, int twipsHigh, int lines);

// Makes an empty file, and the folders on its way.
void Touch(const QString& path);

}  // namespace quillivar::test

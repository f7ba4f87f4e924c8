#pragma once
// Helpers shared by the tests: recorded reports, a scripted export host, decoded page images
// and checks on processes and files.

#include "engine.h"
#include "errortrap.h"
#include "pageexport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <sys/types.h>
#include <vector>

namespace quillivar::test {

// The documents made by tests/data/make-test-documents.sh: one-page, three-pages and
// seven-pages, each as .rtf, .docx, .odt and .doc. Page k carries a box of colour k.
QString TestDocument(const QString& name);

// ../shared/corpus beside the checkout, or $QUILLIVAR_CORPUS; real documents written
// elsewhere. Tests copy them before converting.
QString CorpusFolder();

// Copies `source` into `folder`, under `name` when given; returns the copy's path.
QString CopyInto(const QString& source, const QString& folder, const QString& name = QString());

// The default engine options without a window: nothing to keep live while the engine works.
EngineOptions QuietEngineOptions();

struct Report {
    QString description;
    QString location;
    int line = 0;
};

class RecordingReporter : public ErrorReporter {
public:
    void ShowErrorReport(const QString& description, const QString& location, int line) override;
    std::vector<int> lines() const;
    std::vector<Report> reports;
};

// Stands for the window: fixed choices, and a record of what the export showed.
class ScriptedHost : public ExportHost {
public:
    bool Option1() const override { return option1; }
    bool Option2() const override { return option2; }
    QString Text1() const override { return text1; }
    int Slider1() const override { return quality; }
    int Resolution() const override { return dotsPerInch; }
    void SetBusyPointer() override { ++busyPointerCalls; }
    void SetStatusText(const QString& text) override;

    bool option1 = true;
    bool option2 = false;
    QString text1;
    int quality = 75;
    int dotsPerInch = 96;
    int busyPointerCalls = 0;
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

// The number (1 to 7) of the test documents' box colour that covers most of the page, or 0.
int BoxColour(const DecodedImage& image);

// True while any process belongs to the process group.
bool ProcessGroupAlive(pid_t group);

// The running children of `parent` whose command name starts with `command`.
std::vector<pid_t> ChildProcesses(pid_t parent, const QByteArray& command);

QByteArray FileDigest(const QString& path);

// The names in a folder, hidden ones included, sorted.
QStringList FolderEntries(const QString& folder);

// Runs `work` in a child process, after `prepare`, and returns what it returned.
QString RunInChild(const std::function<QString()>& work, const std::function<bool()>& prepare = nullptr);

// Runs `work` as an ordinary user and returns what it returned: directly when the tests run
// as one, in a child process that gives up root otherwise (root may read everything).
QString RunAsOrdinaryUser(const std::function<QString()>& work);

// Makes an empty file, and the folders on its way.
void Touch(const QString& path);

}  // namespace quillivar::test

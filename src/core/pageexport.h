#pragma once
// Page export: one document becomes one JPEG file per page.

#include "engine.h"
#include "errortrap.h"
#include "jpegwriter.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace quillivar {

// Where the page images go.
enum class OutputPlace {
    ChosenFolder,    // the folder of `outputFolder` ("Save results to this folder:")
    DocumentFolder,  // each document's own folder
    CurrentFolder,   // neither option: the process's current folder
};

// Which pages to write: "1", "2-5", "3-", "-2", or a list of those, "1,3,7-9". Empty: all.
class PageRange {
public:
    // The range a text names, or nothing for a text that names none.
    static std::optional<PageRange> Parse(const QString& text);
    bool Contains(int page) const;
    int Last() const;  // the last page it can take; INT_MAX when it runs to the end
    // The last page of the unbroken run of pages it takes from `page` on, within the document.
    int LastOfRun(int page, int pageCount) const;
    bool IsAll() const { return spans_.empty(); }

private:
    std::vector<std::pair<int, int>> spans_;  // first and last page, inclusive
};

// The run's choices, fixed when the run starts.
struct ExportChoices {
    OutputPlace place = OutputPlace::ChosenFolder;
    QString outputFolder;
    int quality = 75;       // JPEG quality, 1 to 100
    int dotsPerInch = 96;   // resolution of the page images
    // The command line's further choices; the window keeps to JPEG, every page, by resolution.
    ImageFormat format = ImageFormat::Jpeg;
    PageRange pageRange;
    int maxWidth = 0;   // draw each page as large as fits inside these pixels, when above 0,
    int maxHeight = 0;  // rather than at `dotsPerInch`
};

// What one document's export did.
struct ExportResult {
    bool opened = false;      // the engine opened the document
    int pageCount = 0;        // as laid out
    // False when the range ends early in the document and only its first pages were laid out
    // (the pages through the last asked for and one more): `pageCount` counts those.
    bool pageCountWhole = true;
    QStringList pagesWritten;  // page files, in page order
    QList<Engine::DrawnPage> pageSizes;  // of each page written, beside pagesWritten
    QStringList pagesFailed;   // page files that could not be written
    QStringList fontsMissing;  // fonts it asks for that were drawn with others instead
};

// How a document's export went, as the command line's JSON and the service tell it:
// "converted" (every page, nothing reported), "partial" (some pages) or "failed" (none).
QString OutcomeOf(const ExportResult& result, bool reported);

// Where the export reports: its progress after each page, and every failure.
class ExportObserver : public ErrorReporter {
public:
    // "Processing: Report.docx (Page 3 of 7)"
    virtual void ShowStatus(const QString& text) = 0;
};

// The stem SaveDocAsJPG names the document's pages after: everything before the last "." of
// the path, without its folder, in the folder the choices name.
QString PageFileStem(const QString& documentPath, const ExportChoices& choices);

// Writes stem_1.jpg, stem_2.jpg, ... for the document. Never throws: every failure is
// reported through `observer` at its step and the export goes on with the next step.
ExportResult SaveDocAsJPG(const QString& documentPath, const ExportChoices& choices, EngineSession& engines,
                          ExportObserver& observer);

}  // namespace quillivar

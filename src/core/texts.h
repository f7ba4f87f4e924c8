#pragma once
// Every text the core shows to the user, in one place.

#include <QString>

#include <optional>

namespace quillivar {

// The location literal of each procedure that runs under the error trap.
namespace locations {
inline const QString kFormLoad = QStringLiteral("in Quillivar2021/08/31.Form1.Form_Load ");
inline const QString kPushButton1Click = QStringLiteral("in Quillivar2021/08/31.Form1.PushButton1_Click ");
inline const QString kPushButton2Click = QStringLiteral("in Quillivar2021/08/31.Form1.PushButton2_Click ");
inline const QString kPushButton3Click = QStringLiteral("in Quillivar2021/08/31.Form1.PushButton3_Click ");
inline const QString kPushButton4Click = QStringLiteral("in Quillivar2021/08/31.Form1.PushButton4_Click ");
inline const QString kPushButton5Click = QStringLiteral("in Quillivar2021/08/31.Form1.PushButton5_Click ");
inline const QString kPushButton6Click = QStringLiteral("in Quillivar2021/08/31.Form1.PushButton6_Click ");
inline const QString kSaveDocAsJPG = QStringLiteral("in Quillivar2021/08/31.Word1.SaveDocAsJPG ");
inline const QString kGetSubDirectories2016 =
    QStringLiteral("in Kelvaro2021/08/31.AddFolder.GetSubDirectories2016 ");
}  // namespace locations

namespace texts {

namespace report {
inline const QString kTitle = QStringLiteral("Application Error");
inline const QString kAtLine = QStringLiteral("at line ");
inline const QString kPleaseEmail = QStringLiteral("Please email screenshot of this message to ");
inline const QString kUnknownFailure = QStringLiteral("An unknown failure occurred.");
// A description with the system's own words for the cause: "... GDI+ Error:6 (No space left on device)"
inline const QString kWithCause = QStringLiteral("%1 (%2)");
}  // namespace report

namespace settings {
inline const QString kTypeMismatch = QStringLiteral("Type mismatch");
inline const QString kOverflow = QStringLiteral("Overflow");
inline const QString kCannotSave = QStringLiteral("The settings could not be saved to %1.");
}  // namespace settings

namespace conversion {
inline const QString kProcessing = QStringLiteral("Processing: ");
inline const QString kFontsMissing =
    QStringLiteral("%1 asks for fonts this machine lacks, so others stand in for them: %2");
// "Processing: Report.docx (Page 3 of 7)"; "(Page 3)" when the page count is not known
QString PageStatus(const QString& fileName, int pagesDone, std::optional<int> pageCount);

// What the engine could not do, in plain words.
inline const QString kEngineMissing =
    QStringLiteral("The document engine (%1) could not be started: %2");
inline const QString kEngineStartFailed = QStringLiteral("LibreOffice could not be started: %1");
inline const QString kEngineNotRunning =
    QStringLiteral("LibreOffice is not running, so the document cannot be converted.");
inline const QString kEngineCrashed =
    QStringLiteral("LibreOffice stopped unexpectedly (%1) while %2.");
inline const QString kEngineStalled = QStringLiteral(
    "LibreOffice made no progress for %1 seconds while %2, so it was stopped.");
inline const QString kEngineTooBusy = QStringLiteral(
    "LibreOffice was still at work after %1 minutes while %2, so it was stopped.");
inline const QString kEngineTooLarge = QStringLiteral(
    "LibreOffice grew past the %1 MiB of memory it may use while %2, so it was stopped.");
inline const QString kDocumentMissing = QStringLiteral("The document does not exist: %1");
inline const QString kDocumentIsFolder = QStringLiteral("This is a folder, not a document: %1");
inline const QString kDocumentUnreadable =
    QStringLiteral("The document cannot be read (permission denied): %1");
inline const QString kDocumentEmpty = QStringLiteral("The document is empty (0 bytes): %1");
inline const QString kDocumentPassword =
    QStringLiteral("The document is password-protected, so it cannot be converted: %1");
inline const QString kDocumentUnknownFormat = QStringLiteral(
    "LibreOffice cannot open this file: it is damaged, or not a kind of document it knows: %1");
inline const QString kDocumentPlainText = QStringLiteral(
    "This file holds plain text, not the document its name says (.%1), so it is not converted: %2");
inline const QString kDocumentNotText =
    QStringLiteral("This file is a %1, not a word-processor document: %2");
inline const QString kNoDocumentOpen =
    QStringLiteral("No document is open, because it could not be opened.");
inline const QString kNoSuchPage = QStringLiteral("The document has no page %1.");
inline const QString kRenderFailed = QStringLiteral("LibreOffice could not draw page %1: %2");
inline const QString kPageTooLarge = QStringLiteral(
    "Page %1 is %2 x %3 pixels, and a %4 file takes at most %5 pixels a side: ask for a lower dpi, "
    "or for a width or height.");
inline const QString kEngineBroken = QStringLiteral(
    "The document engine broke off talking sense while %1 (%2), so it was stopped.");
inline const QString kLineTooLong = QStringLiteral("an answer longer than any answer can be");
inline const QString kCancelled = QStringLiteral("The conversion was cancelled.");
inline const QString kEngineMisunderstood =
    QStringLiteral("The document engine gave an answer that was not understood: %1");
inline const QString kKindSpreadsheet = QStringLiteral("spreadsheet");
inline const QString kKindPresentation = QStringLiteral("presentation");
inline const QString kKindDrawing = QStringLiteral("drawing");
inline const QString kKindPicture = QStringLiteral("picture");
inline const QString kKindPdf = QStringLiteral("PDF file");
inline const QString kKindOther = QStringLiteral("file of another kind");

// What the engine was doing, for the crash and time-limit texts above.
inline const QString kWhileStarting = QStringLiteral("starting");
inline const QString kWhileOpening = QStringLiteral("opening the document");
inline const QString kWhileLayingOut = QStringLiteral("laying out the document");
inline const QString kWhileCounting = QStringLiteral("counting the pages");
inline const QString kWhileDrawing = QStringLiteral("drawing page %1");
inline const QString kWhileSaving = QStringLiteral("saving page %1");
inline const QString kWhileClosing = QStringLiteral("closing the document");
inline const QString kWhileReporting = QStringLiteral("reporting what it did");
}  // namespace conversion

}  // namespace texts
}  // namespace quillivar

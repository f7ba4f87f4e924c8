#pragma once
// Every text the window shows, in one place.

#include <QString>

namespace quillivar::texts::window {

inline const QString kProductName = QStringLiteral("Quillivar");
inline const QString kDesignCaption = QStringLiteral("Form1");

inline const QString kColumnHeader = QStringLiteral(" Word File(s)");
inline const QString kListTooltip = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of window to "
    "reveal full names.");
inline const QString kFrame1 = QStringLiteral("JPG Image Quality");
inline const QString kPushButton1 = QStringLiteral("Add Word File(s)");
inline const QString kPushButton4 = QStringLiteral("Add All Word Files In Folder");
inline const QString kPushButton2 = QStringLiteral("Start Saving As JPG");
inline const QString kPushButton3 = QStringLiteral("Clear List");
inline const QString kPushButton5 = QStringLiteral("Load Sample/Example Files");
inline const QString kFrame4 = QStringLiteral("Save Option");
inline const QString kPushButton6 = QStringLiteral("...");
inline const QString kOption1 = QStringLiteral("Save results to this folder:");
inline const QString kOption2 = QStringLiteral("Save results in folder of original file");
inline const QString kProgressIdle = QStringLiteral("Progress Bar");
inline const QString kLabel1 = QStringLiteral("Resolution:");
inline const QString kDotsPerInch = QStringLiteral("%1 dpi");
inline const QString kBadResolution = QStringLiteral("The stored resolution %1 is not one this program offers.");

inline const QString kChooseFolderTitle = QStringLiteral("Please select folder:");
inline const QString kAddFilesTitle = QStringLiteral("Add File(s) - Hold Ctrl to select multiple files");
inline const QString kWordDocumentsFilter = QStringLiteral("Word Documents (*.do*)");
inline const QString kAllFilesFilter = QStringLiteral("All Files (*)");

inline const QString kExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)");
inline const QString kDefaultExtension = QStringLiteral("jpg");
inline const QString kOpenSamplesQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so that you can view "
    "them before working with them)?");

inline const QString kNoFilesAdded = QStringLiteral("No files added.");
inline const QString kFolderMissing = QStringLiteral("Folder does not exist. Please select another folder.");
inline const QString kDone = QStringLiteral("Done.");
inline const QString kNoDesktop = QStringLiteral("The desktop folder could not be found.");
inline const QString kSkinUnreadable = QStringLiteral("The style file %1 cannot be read.");

inline const QString kWordMissing = QStringLiteral(
    "Error 842001. A normal instance of Word could not be created.\r\n\r\n"
    "1. Please make sure Word is installed on this computer.\r\n\r\n"
    "2. Please open Word normally and make sure a blank document opens immediately without any interrupting "
    "window (such as an Word file recovery window).\r\n\r\n"
    "3. Please make sure that when you double-click on a DOC or DOCX file that Word opens normally without any "
    "interrupting messages.\r\n\r\n"
    "4. All versions of Word are supported by this software except for the rare Word Starter and Student "
    "editions.");
inline const QString kWordOpen = QStringLiteral(
    "Word may be open. It is recommended that you close Word first. Use Ctrl+Alt+Del > Task Manager > "
    "WINWORD.EXE if necessary.\r\n\r\nWould you like to proceed anyway?");

}  // namespace quillivar::texts::window

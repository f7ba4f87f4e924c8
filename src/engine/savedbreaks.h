#pragma once
// Page breaks saved in an OpenDocument file.
//
// LibreOffice saves the page breaks it last laid out in an .odt (its "layout-cache" stream).
// LibreOfficeKit starts its layout from them and can settle on other breaks than a fresh
// layout, which is what LibreOffice itself prints: a line moved to the next page, and every
// page after it shifted. Opening such a document from a copy without the saved breaks gives
// the printed pages.

#include <string>

namespace quillivar::engine {

// A copy of the document at `path` in `folder`, under the same file name, whose saved page
// breaks LibreOffice will not find; "" when the document has none, or when it shows its own
// path or name (a file-name field would show the copy's), or cannot be read as a package.
std::string CopyWithoutSavedBreaks(const std::string& path, const std::string& folder);

}  // namespace quillivar::engine

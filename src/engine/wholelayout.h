#pragma once
// Whether a document's pages show what only the whole layout knows.
//
// A page drawn before LibreOffice has laid out the rest of the document is the page of a whole
// layout, unless it shows something computed from the pages after it: the number of pages
// ("Page 1 of 57"), the page a later heading or bookmark falls on, a frame anchored to a
// later page. Such documents are laid out whole before any page is drawn.

#include <string>

namespace quillivar::engine {

// True when the document's bytes name a field of that kind, or cannot be read; false only when
// none is named. Reads packages' text members, and any other file as it is (8-bit and UTF-16).
bool PagesNeedWholeLayout(const std::string& path);

}  // namespace quillivar::engine

#pragma once
// The line protocol between the core and the engine process.
//
// Each message is one line of tab-separated fields; a field escapes "%", tab, CR and LF as
// %25, %09, %0D and %0A, so any path fits. Requests and their answers:
//
//   (engine starts)            ready <LibreOffice version>  |  fail start <detail>
//   open <path>                ok  |  fail <reason> <detail>
//   layout                     ok  |  fail <reason> <detail>
//   pages                      ok <count>
//   render <page> <dpi>        ok <width> <height>
//   save <quality> <path>      ok  |  fail jpeg <status>
//   close                      ok
//   stats                      ok <ms loading> <ms drawing> <ms saving> <peak resident KiB>
//
// Plain C++: the engine links it without Qt.

#include <string>
#include <string_view>
#include <vector>

namespace quillivar::protocol {

// Why the engine could not do what was asked; the core puts each into words.
namespace reason {
inline constexpr std::string_view kStart = "start";            // LibreOffice did not start
inline constexpr std::string_view kMissing = "missing";        // no such file
inline constexpr std::string_view kFolder = "folder";          // a folder, not a file
inline constexpr std::string_view kUnreadable = "unreadable";  // no permission to read
inline constexpr std::string_view kEmpty = "empty";            // zero bytes
inline constexpr std::string_view kPassword = "password";      // encrypted document
inline constexpr std::string_view kUnknownFormat = "format";   // damaged or not a document
inline constexpr std::string_view kPlainText = "plain-text";   // text under a document's name
inline constexpr std::string_view kNotText = "not-text";       // a spreadsheet, drawing, ...
inline constexpr std::string_view kNoDocument = "no-document"; // nothing is open
inline constexpr std::string_view kNoPage = "no-page";         // page number out of range
inline constexpr std::string_view kRender = "render";          // painting the page failed
inline constexpr std::string_view kJpeg = "jpeg";              // the JPEG writer's status
inline constexpr std::string_view kBadRequest = "bad-request"; // a message it did not understand
}  // namespace reason

std::string Escape(std::string_view field);
std::string Unescape(std::string_view field);

// A whole message without its line end, from unescaped fields, and back.
std::string JoinFields(const std::vector<std::string>& fields);
std::vector<std::string> SplitFields(std::string_view line);

// file:///... for an absolute path, with every byte outside the unreserved set percent-encoded.
std::string FileUrl(std::string_view absolutePath);

}  // namespace quillivar::protocol

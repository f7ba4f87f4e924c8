#pragma once
// The line protocol between the core and the engine process.
//
// Each message is one line of tab-separated fields; a field escapes "%", tab, CR and LF as
// %25, %09, %0D and %0A, so any path fits. Every request starts with its number, counting up
// from 1, and the answer repeats it, so an answer can never be taken for another's:
//
//   (engine starts)              0 ready <LibreOffice version>  |  0 fail start <detail>
//   N open <path> <last page>    N ok [<font missing> ...]  |  N fail <reason> <detail>
//                                (the fonts the document asks for that were replaced; last
//                                page 0: any page may be asked for, else none after it)
//   N layout                     N ok  |  N fail <reason> <detail>
//   N pages                      N ok <count> whole|part   ("part": the layout stopped after
//                                the page after the last one asked for; the count is so far)
//   N render <page> <dpi> <max width> <max height> <through page>
//                                N ok <width> <height> <page width> <page height>
//                                (the image's pixels, the page's twips as laid out; a max
//                                of 0: no bound; the pages up to <through page> come next,
//                                one after another)
//   N save <format> <quality> <path> <next page>
//                                N ok <painting ahead from>  |  N fail jpeg <status>[:<errno>]
//                                |  N fail too-large <page> <width> <height> <format> <most>
//                                (a page above 40 megapixels is painted and encoded here,
//                                band by band; errno where a system call failed; next page 0: none to
//                                paint ahead for; the answer names the
//                                first page of the paint made ahead, which the render of that
//                                page waits for, or 0 for none)
//   N close                      N ok
//   N stats                      N ok <ms loading> <ms drawing> <ms saving> <peak resident KiB>
//                                     <pages drawn>
//
// The engine parent (quillivar-engine --children DIR) prepares LibreOffice once and forks
// engines; it speaks the same way over a socket that keeps messages apart (SOCK_SEQPACKET):
//
//   (parent starts)              0 ready  |  0 fail start <detail>
//   N fork <draw ahead 0|1>      N ok <process id>  |  N fail start <detail>
//                                (sent with the new engine's socket attached, on which the
//                                engine then says "0 ready ..." as one started on its own,
//                                once LibreOffice's main loop runs, or "0 fail start ...")
//   N ended <process id>         N ok exit|signal <number>   (waits for it: the core has
//                                killed it, or seen it end; its folders are then removed)
//
// A line longer than kMaxLineBytes means the other end is broken. Plain C++: the engine links
// it without Qt.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillivar::protocol {

// Room for the longest path, escaped, and a detail in LibreOffice's words.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
// Details are cut to this many bytes, so that an answer always fits on a line.
inline constexpr std::size_t kMaxDetailBytes = 4096;

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
// The page is larger than its format takes; detail "<page> <width> <height> <format> <most a side>".
inline constexpr std::string_view kTooLarge = "too-large";
inline constexpr std::string_view kBadRequest = "bad-request"; // a message it did not understand
// The document would not come out as from a fresh engine (it has tracked changes, and this
// engine has met other authors before): open it again in a new engine. Detail "cold": in one
// started cold, as one forked would have met an author too.
inline constexpr std::string_view kNeedsFreshEngine = "needs-fresh-engine";
}  // namespace reason

std::string Escape(std::string_view field);
std::string Unescape(std::string_view field);

// A whole message without its line end, from unescaped fields, and back.
std::string JoinFields(const std::vector<std::string>& fields);
std::vector<std::string> SplitFields(std::string_view line);

// The whole text as a decimal number from `lowest` to `highest`, or nothing: no blanks, no
// sign other than a leading "-", no digits beyond the range.
std::optional<long long> ParseNumber(std::string_view text, long long lowest, long long highest);

// file:///... for an absolute path, with every byte outside the unreserved set percent-encoded.
std::string FileUrl(std::string_view absolutePath);

}  // namespace quillivar::protocol

#include "wholelayout.h"

#include "zipfile.h"

#include <algorithm>
#include <fcntl.h>
#include <iterator>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillivar::engine {

namespace {

// Word's fields for the number of pages and a page reference, as Word and RTF files write
// their codes, and OpenDocument's page count and references shown as page numbers.
constexpr std::string_view kNumberOfPages = "NUMPAGES";
constexpr std::string_view kPagesOfSection = "SECTIONPAGES";
constexpr std::string_view kPageReference = "PAGEREF";
constexpr std::string_view kOpenDocumentPageCount = "<text:page-count";
constexpr std::string_view kOpenDocumentPageReference = "reference-format=\"page\"";
// A frame anchored to a page by its number.
constexpr std::string_view kAnchoredToPageNumber = "anchor-page-number";
// Shapes (not pictures, which are frames): until the paragraph a shape is anchored to is laid
// out, LibreOffice draws it where its offset from that paragraph would put it from the top of
// the document, on the first page (seen with two ellipses of a manual). OpenDocument's shapes,
// OOXML's (DrawingML and VML), the drawing container of a Word 97-2003 file (its record
// header's bytes), RTF's shapes and Word 6 drawing objects.
constexpr std::string_view kShapes[] = {
    "<draw:rect", "<draw:line", "<draw:poly", "<draw:regular-polygon", "<draw:path", "<draw:circle",
    "<draw:ellipse", "<draw:connector", "<draw:caption", "<draw:measure", "<draw:custom-shape", "<draw:g",
    "<draw:control", "<wps:", "<wpg:", "<v:", std::string_view("\x0F\x00\x02\xF0", 4), "\\shpinst", "\\dobx"};

// The text members of a package where pages, headers and footers are written.
bool IsPageText(const std::string& name) {
    const bool wordXml = name.rfind("word/", 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".xml") == 0;
    return wordXml || name == "content.xml" || name == "styles.xml";
}

// Whether the file open at `fd` names any of them.
bool NamesWholeLayout(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return true;
    std::vector<std::string_view> texts{kNumberOfPages, kPagesOfSection, kPageReference, kOpenDocumentPageCount,
                                        kOpenDocumentPageReference, kAnchoredToPageNumber};
    texts.insert(texts.end(), std::begin(kShapes), std::end(kShapes));
    if (const auto directory = ReadZipDirectory(fd, info.st_size)) {
        return std::any_of(directory->members.begin(), directory->members.end(), [&](const ZipMember& member) {
            return IsPageText(member.name) && MemberHolds(fd, member, texts) != false;
        });
    }
    // A Word 97-2003 file keeps its field codes in 8-bit or UTF-16 text, RTF and flat XML as
    // they are.
    const std::string wide[] = {Utf16(kNumberOfPages), Utf16(kPagesOfSection), Utf16(kPageReference)};
    texts.insert(texts.end(), std::begin(wide), std::end(wide));
    TextFinder finder(std::move(texts));
    std::vector<char> piece(1 << 20);
    for (off_t at = 0; at < info.st_size;) {
        const ssize_t got = pread(fd, piece.data(), piece.size(), at);
        if (got <= 0) return true;
        if (finder.Look(std::string_view(piece.data(), static_cast<std::size_t>(got)))) return true;
        at += got;
    }
    return false;
}

}  // namespace

bool PagesNeedWholeLayout(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    const bool needed = NamesWholeLayout(fd);
    close(fd);
    return needed;
}

}  // namespace quillivar::engine

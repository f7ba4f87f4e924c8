#define LOK_USE_UNSTABLE_API
#include <LibreOfficeKit/LibreOfficeKit.hxx>
#include <LibreOfficeKit/LibreOfficeKitEnums.h>

#include "writer.h"

#include "encryption.h"
#include "engineprotocol.h"
#include "profile.h"
#include "savedbreaks.h"
#include "wholelayout.h"
#include "zipfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <new>
#include <numeric>
#include <ranges>
#include <sys/stat.h>
#include <unistd.h>

namespace quillivar::engine {

namespace reason = protocol::reason;

namespace {

// Pages as they print: no white-space hiding, no page shadow, no spelling marks.
constexpr const char* kRenderingOptions =
    "{\".uno:HideWhitespace\":{\"type\":\"boolean\",\"value\":\"false\"},"
    "\".uno:ShowBorderShadow\":{\"type\":\"boolean\",\"value\":\"false\"},"
    "\".uno:SpellOnline\":{\"type\":\"boolean\",\"value\":\"false\"}}";

// Paints up to this size (a Letter page at 600 dpi) are made ahead while the page before is
// encoded; larger ones when asked for, to keep memory down.
constexpr std::size_t kMaxBytesAhead = 160u << 20;

// Each paint walks the whole layout after the pages it draws, frame by frame (looking for page
// breaks to mark), and the pages before them: about 5 microseconds a page of the document, so
// 25 ms a paint in a document of 5,000 pages, where drawing an A4 page at 96 dpi takes 3 to
// 5 ms. In a long document consecutive pages of one size are therefore painted together, one
// below the other, and cut apart: a document of N pages in strips of N / kPagesPerSharedPaint
// pages (rounded up), which keeps that walk under about a millisecond a page. Shorter
// documents are painted page by page. A strip is bounded in memory and in height (cairo
// draws at most 32767 rows), and takes only pages that are asked for.
constexpr int kPagesPerSharedPaint = 160;
constexpr std::size_t kMaxStripBytes = 112u << 20;
constexpr long kMaxStripRows = 32767;

// A page above this many pixels (a 300 cm poster at 96 dpi, an A0 drawing at 300 dpi) is not
// held whole: it is painted a band at a time as it is saved, each band encoded before the next
// is painted, so that memory stays bounded whatever the page's size. A band is at most
// kMaxBandBytes, and at most kMaxStripRows wide and high in each paint.
constexpr double kMostPixelsHeldWhole = 40e6;
constexpr std::size_t kMaxBandBytes = 32u << 20;

// A page's size in pixels as it prints: LibreOffice's PDF export writes the page box in
// hundredths of a millimetre, and a PDF renderer rounds the page's pixels up, so that no part
// of the page is cut off (an A4 page is 1122.5 pixels high at 96 dpi: 1123 rows).
int PagePixels(long twips, int dotsPerInch) {
    const double hundredthsOfMillimetre = std::round(twips * 127.0 / 72.0);
    return static_cast<int>(std::ceil(hundredthsOfMillimetre * dotsPerInch / 2540.0 - 1e-6));
}

// LibreOffice's drawing into a tile sits about a pixel and a third right of and half a pixel
// below where a PDF renderer puts the same page: its text is placed on whole pixels, a PDF
// renderer's between them. Measured on the corpus and generated pages at 96, 150 and 300 dpi,
// the offset is in pixels whatever the resolution (1.2 to 1.5 to the right, depending on the
// text). Drawing the tile from this far into the page puts ours on the printed page's grid.
// Measured again under 25.2, whose text is placed between pixels too: a pixel to the right
// (corpus median 0.155 against 0.175 at 1.3, with the printed page's grid at 96, 150 and 300 dpi).
constexpr double kPixelsRight = 1.3;
constexpr double kPixelsRightLater = 1.0;
constexpr double kPixelsDown = 0.5;

// LibreOffice paints premultiplied BGRA on a transparent ground: this puts `count` pixels on
// white paper, opaque, from `from` into `into` (which may be the same). A colour never exceeds
// its alpha, so adding the uncovered part to all three at once cannot carry. Four pixels go
// at a time, in vector registers: this runs over every pixel of every page.
template <typename Pixels>
Pixels OnWhite(Pixels pixels) {
    const Pixels uncovered = 255 - (pixels >> 24);
    return (pixels + (uncovered | uncovered << 8 | uncovered << 16)) | 0xFF000000u;
}

void PutOnWhite(const std::uint8_t* from, std::uint8_t* into, std::size_t count) {
    using FourPixels = std::uint32_t __attribute__((vector_size(16)));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        FourPixels pixels;
        std::memcpy(&pixels, from + i * 4, sizeof pixels);
        pixels = OnWhite(pixels);
        std::memcpy(into + i * 4, &pixels, sizeof pixels);
    }
    for (; i < count; ++i) {
        std::uint32_t pixel;
        std::memcpy(&pixel, from + i * 4, 4);
        pixel = OnWhite(pixel);
        std::memcpy(into + i * 4, &pixel, 4);
    }
}

// LOK_CALLBACK_FONTS_MISSING, which 7.4's header lacks: {"fontsmissing": ["Name", ...]}.
constexpr int kFontsMissing = 57;

// The strings of a JSON array of strings, as UTF-8.
std::vector<std::string> JsonStrings(std::string_view json) {
    std::vector<std::string> strings;
    std::size_t at = json.find('[');
    while (at != std::string_view::npos && (at = json.find_first_of("\"]", at + 1)) != std::string_view::npos &&
           json[at] == '"') {
        std::string text;
        for (++at; at < json.size() && json[at] != '"'; ++at) {
            if (json[at] != '\\' || at + 1 >= json.size()) {
                text += json[at];
                continue;
            }
            const char escaped = json[++at];
            if (escaped == 'u' && at + 4 < json.size()) {
                // Names come as UTF-8 already; an escaped character of the basic plane is
                // written back as UTF-8 too.
                const unsigned code = static_cast<unsigned>(std::strtoul(std::string(json.substr(at + 1, 4)).c_str(), nullptr, 16));
                at += 4;
                if (code < 0x80) {
                    text += static_cast<char>(code);
                } else if (code < 0x800) {
                    text += static_cast<char>(0xC0 | code >> 6);
                    text += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    text += static_cast<char>(0xE0 | code >> 12);
                    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
                    text += static_cast<char>(0x80 | (code & 0x3F));
                }
            } else {
                text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
            }
        }
        strings.push_back(std::move(text));
    }
    return strings;
}

void Callback(int type, const char* payload, void* writer) {
    static_cast<Writer*>(writer)->OnCallback(type, payload);
}

// LibreOffice asks whether input is waiting before each step of its background work, and
// yields when it is. 25.2 asks with the callback's data alone, 26.8 with a priority too.
[[maybe_unused]] bool InputWaiting(void* writer) { return static_cast<Writer*>(writer)->HoldingBackLayout(); }
[[maybe_unused]] bool InputWaiting(void* writer, int /*mostUrgentPriority*/) { return InputWaiting(writer); }

// Registers it where the LibreOffice we are built against has the call (not 7.4).
template <typename Office>
bool RegisterInputWaiting(Office& office, Writer* writer) {
    if constexpr (requires { office.registerAnyInputCallback(InputWaiting, writer); }) {
        office.registerAnyInputCallback(InputWaiting, writer);
        return true;
    }
    return false;
}

// The area a load lays out before it stops, in twips from the document's top left corner: the
// first page (which starts 284 twips down), whatever its size. The rest follows as far as the
// pages asked for need.
constexpr const char* kFirstPageArea = "0;0;12240;16838";
constexpr const char* kEveryArea = "0;0;0;0";  // the area sticks to the process until reset
constexpr int kEverywhere = 2'000'000'000;      // twips: past the end of any document

// LibreOffice's own lock, which each LibreOfficeKit call takes and, between calls, LibreOffice's
// main thread takes for its background layout, for seconds at a time in a long document: the
// input-pending callback does not stop it. LibreOfficeKit has no call to hold it; the library
// exports LibreOffice's own, found by name. Where they are missing, nothing holds it.
OfficeLockCalls FindOfficeLock(const std::string& libreOfficeProgram) {
    for (const char* library : {"/libmergedlo.so", "/libvcllo.so"}) {
        void* handle = dlopen((libreOfficeProgram + library).c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle) continue;
        OfficeLockCalls calls{reinterpret_cast<void (*)(std::uint32_t)>(dlsym(handle, "_ZN11Application17AcquireSolarMutexEj")),
                              reinterpret_cast<std::uint32_t (*)()>(dlsym(handle, "_ZN11Application17ReleaseSolarMutexEv"))};
        dlclose(handle);
        if (calls.acquire && calls.release) return calls;
    }
    return {};
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The extension of a word processor's document, or "" for any other name.
std::string DocumentExtension(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    const std::string extension = Lowercase(name.substr(dot + 1));
    for (const char* known : {"doc", "docx", "docm", "dot", "dotx", "dotm", "odt", "ott", "rtf"}) {
        if (extension == known) return extension;
    }
    return {};
}

// Plain text under a document's name: LibreOffice would lay its characters out as a page of
// text (an RTF fragment as its source code), which is nobody's document. XML (Word 2003, flat
// ODF) and anything binary are left to LibreOffice's own detection.
bool IsPlainText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string head(4096, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(file.gcount()));
    if (head.empty() || head.find('\0') != std::string::npos) return false;
    std::size_t start = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start]))) ++start;
    return head.compare(start, 1, "<") != 0 && head.compare(start, 5, "{\\rtf") != 0;
}

bool Contains(const std::string& bytes, std::string_view text) { return bytes.find(text) != std::string::npos; }

int CountOf(const std::string& text, std::string_view part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// Files that are plainly something other than a word processor's document, whatever their
// name: LibreOffice without its other programs would show them as pages of stray characters.
// Returns the kind ("picture", "pdf", "spreadsheet", ...) or "" to let LibreOffice decide.
std::string ForeignKind(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes(1 << 20, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    const auto startsWith = [&](std::string_view magic) { return bytes.compare(0, magic.size(), magic) == 0; };
    if (startsWith("\xFF\xD8\xFF") || startsWith("\x89PNG") || startsWith("GIF8") || startsWith("BM") ||
        startsWith("II*\0") || startsWith("MM\0*") || (startsWith("RIFF") && bytes.compare(8, 4, "WEBP") == 0)) {
        return "picture";
    }
    if (startsWith("%PDF")) return "pdf";
    if (startsWith("PK\x03\x04")) {
        if (Contains(bytes, "opendocument.spreadsheet") || Contains(bytes, "xl/workbook")) return "spreadsheet";
        if (Contains(bytes, "opendocument.presentation") || Contains(bytes, "ppt/presentation")) return "presentation";
        if (Contains(bytes, "opendocument.graphics")) return "drawing";
    }
    if (startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        if (Contains(bytes, Utf16("Workbook")) && !Contains(bytes, Utf16("WordDocument"))) return "spreadsheet";
        if (Contains(bytes, Utf16("PowerPoint Document"))) return "presentation";
    }
    return {};
}

std::string KindOf(int documentType) {
    switch (documentType) {
        case LOK_DOCTYPE_SPREADSHEET: return "spreadsheet";
        case LOK_DOCTYPE_PRESENTATION: return "presentation";
        case LOK_DOCTYPE_DRAWING: return "drawing";
        default: return "other";
    }
}

}  // namespace

Outcome Outcome::Ok(std::vector<std::string> values) {
    Outcome outcome;
    outcome.values = std::move(values);
    return outcome;
}

Outcome Outcome::Fail(std::string_view reason, std::string detail) {
    Outcome outcome;
    outcome.ok = false;
    outcome.reason = reason;
    outcome.detail = std::move(detail);
    return outcome;
}

Writer::Writer() = default;
Writer::~Writer() = default;

Outcome Writer::Start(const std::string& libreOfficeProgram, const std::string& profileFolder, bool drawAhead,
                      bool forked) {
    drawAhead_ = drawAhead;
    office_.reset(lok::lok_cpp_init(libreOfficeProgram.c_str(), protocol::FileUrl(profileFolder).c_str()));
    if (!office_) return Outcome::Fail(reason::kStart, "LibreOfficeKit could not be loaded from " + libreOfficeProgram);
    office_->registerCallback(Callback, this);
    office_->setOptionalFeatures(LOK_FEATURE_DOCUMENT_PASSWORD | LOK_FEATURE_DOCUMENT_PASSWORD_TO_MODIFY |
                                 LOK_FEATURE_NO_TILED_ANNOTATIONS);
    languageTag_ = LayoutLanguageTag();
    // "7.4", "25.2", "26.8": what differs between them is told by the first number.
    const int major = std::atoi(Version().c_str());
    later_ = major > 7;
    // From 25.2 on, preparing LibreOffice meets an author (a forked engine gave a document's
    // first author the second colour), which a fork carries along.
    authorMetBefore_ = forked && major >= 25;
    stopsLayoutEarly_ = major >= 26 && RegisterInputWaiting(*office_, this);
    if (stopsLayoutEarly_) officeLock_ = FindOfficeLock(libreOfficeProgram);
    return Outcome::Ok();
}

void Writer::RunMainLoop(int (*poll)(void* data, int timeoutMicroseconds), void (*wake)(void* data), void* data) {
    office_->runLoop(poll, wake, data);
}

std::string Writer::Version() const {
    char* info = office_->getVersionInfo();
    std::string json = info ? info : "";
    std::free(info);
    const auto key = json.find("\"ProductVersion\"");
    const auto open = json.find('"', json.find(':', key) + 1);
    const auto close = json.find('"', open + 1);
    if (key == std::string::npos || open == std::string::npos || close == std::string::npos) return "unknown";
    return json.substr(open + 1, close - open - 1);
}

Outcome Writer::Open(const std::string& path, int lastPage) {
    Close();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == EACCES) return Outcome::Fail(reason::kUnreadable);
        return Outcome::Fail(reason::kMissing, std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) return Outcome::Fail(reason::kFolder);
    if (!S_ISREG(info.st_mode)) return Outcome::Fail(reason::kUnknownFormat, "not a regular file");
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Outcome::Fail(errno == EACCES ? reason::kUnreadable : reason::kMissing, std::strerror(errno));
    close(fd);
    // LibreOffice would invent a blank page of its own for an empty file.
    if (info.st_size == 0) return Outcome::Fail(reason::kEmpty);
    const std::string extension = DocumentExtension(path);
    if (!extension.empty() && IsPlainText(path)) return Outcome::Fail(reason::kPlainText, extension);
    if (const std::string kind = ForeignKind(path); !kind.empty()) return Outcome::Fail(reason::kNotText, kind);
    switch (ReadDocumentBytes(path)) {
        case DocumentBytes::kEncrypted: return Outcome::Fail(reason::kPassword);
        case DocumentBytes::kNoWordDocument: return Outcome::Fail(reason::kUnknownFormat);
        case DocumentBytes::kOther: break;
    }
    const auto started = std::chrono::steady_clock::now();

    const char* temporaryFolder = std::getenv("TMPDIR");
    copy_ = CopyWithoutSavedBreaks(path, temporaryFolder ? temporaryFolder : "/tmp");
    documentUrl_ = protocol::FileUrl(copy_.empty() ? path : copy_);
    passwordAsked_ = false;
    std::string options = "Language=" + languageTag_ + ",Batch=true,MacroSecurityLevel=3";
    const bool stopEarly = stopsLayoutEarly_ && lastPage > 0 && !PagesNeedWholeLayout(path);
    if (stopsLayoutEarly_) options += std::string(",ClientVisibleArea=") + (stopEarly ? kFirstPageArea : kEveryArea);
    HoldBackLayout(stopEarly);
    layoutWhole_ = !stopEarly;
    lastPageWanted_ = lastPage;
    document_.reset(office_->documentLoad(documentUrl_.c_str(), options.c_str()));
    loadingMs_ += MillisecondsSince(started);
    if (!document_) {
        HoldBackLayout(false);
        layoutWhole_ = true;
        if (passwordAsked_) return Outcome::Fail(reason::kPassword);
        char* error = office_->getError();
        std::string detail = error ? error : "";
        std::free(error);
        return Outcome::Fail(reason::kUnknownFormat, detail);
    }
    const int type = document_->getDocumentType();
    if (type != LOK_DOCTYPE_TEXT) {
        document_.reset();
        HoldBackLayout(false);
        return Outcome::Fail(reason::kNotText, KindOf(type));
    }
    document_->initializeForRendering(kRenderingOptions);
    std::vector<std::string> fontsMissing;
    if (later_) {
        // The fonts the load looked for and did not find come as soon as a callback is
        // registered; none is wanted after that.
        fontsMissing_.clear();
        document_->registerCallback(Callback, this);
        document_->registerCallback(nullptr, nullptr);
        fontsMissing = std::move(fontsMissing_);
        DropListsWithAnInstalledFont(fontsMissing);
    }
    // LibreOffice gives the authors of tracked changes their colours in the order it meets
    // them in this process, whatever document they came from: a document with tracked
    // changes looks as it does alone only in an engine that has met no author before it.
    const int authorsBefore = authorsMet_;
    authorsMet_ = CountOf(CommandValues(".uno:TrackedChangeAuthors"), "\"name\"");
    if ((authorsBefore > 0 || authorMetBefore_) && CountOf(CommandValues(".uno:AcceptTrackedChanges"), "\"author\"") > 0) {
        document_.reset();
        HoldBackLayout(false);
        return Outcome::Fail(reason::kNeedsFreshEngine, authorMetBefore_ ? "cold" : "");
    }
    return Outcome::Ok(std::move(fontsMissing));
}

void Writer::DropListsWithAnInstalledFont(std::vector<std::string>& fonts) const {
    std::string installed;  // LibreOffice's own font list, as JSON: {..."Liberation Sans":["6",...
    std::erase_if(fonts, [&](const std::string& font) {
        if (font.find(';') == std::string::npos) return false;
        if (installed.empty()) installed = Lowercase(CommandValues(".uno:CharFontName"));
        for (const auto part : std::views::split(font, ';')) {
            std::string_view name(part.begin(), part.end());
            while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
            while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
            if (!name.empty() && Contains(installed, "\"" + Lowercase(std::string(name)) + "\":")) return true;
        }
        return false;
    });
}

std::string Writer::CommandValues(const char* command) const {
    char* values = document_->getCommandValues(command);
    std::string text = values ? values : "";
    std::free(values);
    return text;
}

Outcome Writer::LayOut() {
    if (!document_) return Outcome::Fail(reason::kNoDocument);
    StopPaintingAhead();
    ReadPages();
    // The page after the last asked for tells whether that one is alone or one of a run.
    LayOutThrough(static_cast<std::size_t>(lastPageWanted_) + 1);
    laidOut_ = true;
    return Outcome::Ok();
}

void Writer::LayOutThrough(std::size_t count) {
    if (layoutWhole_) return;
    int unformatted = UnformattedPages(count - 1);
    if (pages_.size() >= count && unformatted == 0) return;
    StopPaintingAhead();
    while (!layoutWhole_ && (pages_.size() < count || unformatted > 0)) {
        // LibreOffice is shown the document down to where the pages still wanted would end
        // were they as tall as the last; a round that neither adds a page nor formats one
        // means the document ends here.
        const std::size_t before = pages_.size();
        const int unformattedBefore = unformatted;
        const Rectangle last = pages_.empty() ? Rectangle{} : pages_.back();
        const long missing = before < count ? static_cast<long>(count - before) : 0;
        ShowDownTo(last.y + last.height + std::max(last.height, 1440L) * (missing + 1), last.y + last.height);
        unformatted = UnformattedPages(count - 1);
        if (pages_.size() == before && unformatted >= unformattedBefore) FinishLayout();
    }
}

void Writer::FinishLayout() {
    HoldBackLayout(false);
    // Everything shown: once a round adds no page and every page is formatted, none is left.
    for (std::size_t before = SIZE_MAX; pages_.size() != before || UnformattedPages(pages_.size()) > 0;) {
        before = pages_.size();
        long width = 0;
        long height = 0;
        document_->getDocumentSize(&width, &height);
        ShowDownTo(kEverywhere, height);
    }
    layoutWhole_ = true;
}

int Writer::UnformattedPages(std::size_t through) const {
    if (through == 0) return 0;
    // One entry for every page LibreOffice has made, the blank ones left out of pages_ too.
    const std::size_t frames = static_cast<std::size_t>(pages_[std::min(through, pages_.size()) - 1].frame) + 1;
    const std::string layout = CommandValues(".uno:Layout");
    int unformatted = 0;
    std::size_t at = 0;
    for (std::size_t frame = 0; frame < frames && (at = layout.find("\"isInvalidContent\":", at)) != std::string::npos; ++frame) {
        at = layout.find_first_not_of(' ', at + 19);
        if (at == std::string::npos) break;
        if (layout.compare(at, 4, "true") == 0) ++unformatted;
    }
    return unformatted;
}

void Writer::ShowDownTo(long bottom, long foot) {
    const auto started = std::chrono::steady_clock::now();
    document_->setClientVisibleArea(0, 0, kEverywhere, static_cast<int>(std::min<long>(bottom, kEverywhere)));
    std::uint8_t pixel[4];
    document_->paintTile(pixel, 1, 1, 0, static_cast<int>(std::clamp<long>(foot - 15, 0, kEverywhere)), 15, 15);
    loadingMs_ += MillisecondsSince(started);
    ReadPages();
}

void Writer::ReadPages() {
    const auto started = std::chrono::steady_clock::now();
    char* rectangles = document_->getPartPageRectangles();
    loadingMs_ += MillisecondsSince(started);
    const std::string text = rectangles ? rectangles : "";
    std::free(rectangles);
    // "x, y, width, height; x, y, width, height; ..." in twips. Pages of no size are the blank
    // pages the screen layout inserts between sections; a printout leaves them out.
    pages_.clear();
    std::size_t start = 0;
    for (int frame = 0; start < text.size(); ++frame) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        Rectangle page{};
        page.frame = frame;
        if (std::sscanf(text.substr(start, end - start).c_str(), "%ld, %ld, %ld, %ld", &page.x, &page.y,
                        &page.width, &page.height) == 4 &&
            page.width > 0 && page.height > 0) {
            pages_.push_back(page);
        }
        start = end + 1;
    }
    // Which pages share a strip: each page's run of consecutive pages of one size, one above the
    // other at one spacing, by its first page.
    runStarts_.assign(pages_.size(), 1);
    for (std::size_t i = 1; i < pages_.size(); ++i) {
        const Rectangle& before = pages_[i - 1];
        const Rectangle& page = pages_[i];
        const long pitch = page.y - before.y;
        const bool sameShape = page.x == before.x && page.width == before.width && page.height == before.height;
        const bool beforeStartsRun = runStarts_[i - 1] == static_cast<int>(i);
        const bool sameSpacing = beforeStartsRun ? pitch >= page.height : pitch == before.y - pages_[i - 2].y;
        runStarts_[i] = sameShape && sameSpacing ? runStarts_[i - 1] : static_cast<int>(i) + 1;
    }
    strip_.first = 0;
}

Outcome Writer::PageCount() {
    if (!document_) return Outcome::Fail(reason::kNoDocument);
    if (!laidOut_) LayOut();
    return Outcome::Ok({std::to_string(pages_.size()), layoutWhole_ ? "whole" : "part"});
}

Outcome Writer::Render(int page, Size size, int through) {
    drawn_.page = 0;
    through_ = through;
    if (!document_) return Outcome::Fail(reason::kNoDocument);
    if (!laidOut_) LayOut();
    if (page >= 1) LayOutThrough(static_cast<std::size_t>(page) + 1);
    if (page < 1 || page > static_cast<int>(pages_.size())) return Outcome::Fail(reason::kNoPage, std::to_string(page));
    if (size.dotsPerInch < 1 || size.dotsPerInch > 2400 || size.maxWidth < 0 || size.maxHeight < 0) {
        return Outcome::Fail(reason::kBadRequest, "size");
    }
    if (!strip_.Holds(page, size) && !TakePaintedAhead(page, size)) {
        StopPaintingAhead();
        Strip plan = PlanStrip(page, size);
        if (static_cast<double>(plan.width) * plan.height > kMostPixelsHeldWhole) {
            strip_ = Strip{};  // nothing large held while the bands are painted
            stripAhead_ = Strip{};
            drawn_.bands = PlanStrip(page, size, true);
            drawn_.image = PageImage{plan.width, plan.height, {}};
            return Drawn(page, size);
        }
        plan.pixels = std::move(strip_.pixels);  // kept for the next paint
        strip_ = std::move(plan);
        if (!Paint(strip_) && (strip_.count == 1 || !Paint(strip_ = PlanStrip(page, size, true)))) {
            strip_ = Strip{};
            return Outcome::Fail(reason::kRender, "not enough memory for the page image");
        }
    }
    const auto started = std::chrono::steady_clock::now();
    PageImage& image = drawn_.image;
    image.width = strip_.width;
    image.height = strip_.height;
    const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (strip_.count == 1) {
        // A page painted alone is the page image: no copy of what may be a very large page.
        // The rows down to the next page's top, if painted, go.
        strip_.pixels.resize(pixels * 4);
        PutOnWhite(strip_.pixels.data(), strip_.pixels.data(), pixels);
        std::swap(image.pixels, strip_.pixels);
        strip_.first = 0;
    } else {
        const std::size_t top = static_cast<std::size_t>(image.width) * 4 * static_cast<std::size_t>(strip_.pitch) *
                                static_cast<std::size_t>(page - strip_.first);
        try {
            // Not cleared: every pixel is copied in.
            image.pixels.resize(pixels * 4);
        } catch (const std::bad_alloc&) {
            image.pixels = {};
            return Outcome::Fail(reason::kRender, "not enough memory for the page image");
        }
        PutOnWhite(strip_.pixels.data() + top, image.pixels.data(), pixels);
    }
    cuttingMs_ += MillisecondsSince(started);
    drawn_.bands = Strip{};
    return Drawn(page, size);
}

Outcome Writer::Drawn(int page, Size size) {
    drawn_.page = page;
    drawn_.size = size;
    ++pagesDrawn_;
    const PageImage& image = drawn_.image;
    const Rectangle& area = pages_[static_cast<std::size_t>(page - 1)];
    return Outcome::Ok({std::to_string(image.width), std::to_string(image.height), std::to_string(area.width),
                        std::to_string(area.height)});
}

Writer::Strip Writer::PlanStrip(int page, Size size, bool alone) const {
    Strip plan;
    plan.first = page;
    plan.count = 1;
    plan.size = size;
    const int pages = static_cast<int>(pages_.size());
    const int wanted = (pages + kPagesPerSharedPaint - 1) / kPagesPerSharedPaint;
    // A page of a run of pages of one size and spacing is painted at the run's scale down the
    // page, whole rows from one page's top to the next, whether alone or in a strip: page k of
    // a strip then starts exactly k pitches down, at the pixel grid's origin as when painted
    // alone, and comes out the same bytes however it was asked for (seen with 7.4, 25.2 and
    // 26.8). Which pages share a paint is then only a matter of speed: `most` of the run at a
    // time, from the page asked for to the last asked for next.
    const int run = runStarts_[static_cast<std::size_t>(page - 1)];
    int runEnd = page;
    while (runEnd < pages && runStarts_[static_cast<std::size_t>(runEnd)] == run) ++runEnd;
    const Rectangle& area = pages_[static_cast<std::size_t>(run - 1)];
    // Pixels per twip (1440 twips make an inch): the resolution's, or the scale at which the
    // page fits inside the size asked for, met on its tighter side. The pixel size is rounded
    // up as a printed page's is, so that no part of the page is cut off.
    plan.scale = size.dotsPerInch / 1440.0;
    plan.width = PagePixels(area.width, size.dotsPerInch);
    plan.height = PagePixels(area.height, size.dotsPerInch);
    if (size.maxWidth > 0 || size.maxHeight > 0) {
        const double byWidth = size.maxWidth > 0 ? static_cast<double>(size.maxWidth) / area.width : 1e9;
        const double byHeight = size.maxHeight > 0 ? static_cast<double>(size.maxHeight) / area.height : 1e9;
        plan.scale = std::min(byWidth, byHeight);
        plan.width = std::max(1, static_cast<int>(std::lround(area.width * plan.scale)));
        plan.height = std::max(1, static_cast<int>(std::lround(area.height * plan.scale)));
    }
    if (runEnd == run) return plan;  // a page of a size or spacing of its own
    plan.pitchTwips = pages_[static_cast<std::size_t>(run)].y - area.y;  // from one page's top to the next's
    plan.pitch = static_cast<int>(std::lround(static_cast<double>(plan.pitchTwips) * plan.scale));
    if (plan.pitch < plan.height) {
        plan.pitch = 0;
        plan.pitchTwips = 0;
        return plan;
    }
    if (alone || wanted <= 1) return plan;
    const std::size_t pitchBytes = static_cast<std::size_t>(plan.width) * 4 * static_cast<std::size_t>(plan.pitch);
    const int most = static_cast<int>(std::min({static_cast<long>(wanted), static_cast<long>(kMaxStripBytes / pitchBytes),
                                                kMaxStripRows / plan.pitch}));
    plan.count = std::max(1, std::min({most, runEnd - page + 1, std::max(page, through_) - page + 1}));
    return plan;
}

bool Writer::Paint(Strip& strip) {
    const auto started = std::chrono::steady_clock::now();
    const std::size_t rows = strip.Rows();
    try {
        // Cleared first: LibreOffice leaves what lies past a page's edge untouched (the part of
        // its last row and column that the page only half covers), which must come out as
        // paper, not as whatever the buffer held before.
        strip.pixels.resize(static_cast<std::size_t>(strip.width) * 4 * rows);
        std::memset(strip.pixels.data(), 0, strip.pixels.size());
    } catch (const std::bad_alloc&) {
        strip.pixels = {};
        return false;
    }
    // LibreOffice's drawing sits a little right of and below the printed page's pixel grid:
    // the tile starts that far into the page.
    const Rectangle& area = pages_[static_cast<std::size_t>(strip.first - 1)];
    const double twipsPerPixel = 1.0 / strip.scale;
    const long tileHeight = strip.pitch == 0 ? std::lround(strip.height * twipsPerPixel) : strip.pitchTwips * strip.count;
    document_->paintTile(strip.pixels.data(), strip.width, static_cast<int>(rows),
                         static_cast<int>(area.x + std::lround((later_ ? kPixelsRightLater : kPixelsRight) * twipsPerPixel)),
                         static_cast<int>(area.y + std::lround(kPixelsDown * twipsPerPixel)),
                         static_cast<int>(std::lround(strip.width * twipsPerPixel)), static_cast<int>(tileHeight));
    paintingMs_ += MillisecondsSince(started);
    return true;
}

namespace {

// At a resolution, the fewest pixels that make whole twips (1 at 96 dpi, 5 at 300, 127 at
// 254). Bands and parts of bands that start at a multiple of it are painted from exactly where
// their first pixel lies on the page, not from a point rounded to a twip.
int GridPixels(const Writer::Size& size) {
    if (size.maxWidth > 0 || size.maxHeight > 0) return 1;
    return size.dotsPerInch / std::gcd(size.dotsPerInch, 1440);
}

int WholeGrids(int pixels, int grid) { return pixels >= grid ? pixels - pixels % grid : pixels; }

}  // namespace

int Writer::BandRows(const Strip& page) {
    const std::size_t rowBytes = static_cast<std::size_t>(page.width) * 4;
    const int rows = static_cast<int>(std::clamp<std::size_t>(kMaxBandBytes / rowBytes, 1, kMaxStripRows));
    return std::min(WholeGrids(rows, GridPixels(page.size)), page.height);
}

bool Writer::PaintBand(const Strip& page, int top, int rows, std::uint8_t* into) {
    const auto started = std::chrono::steady_clock::now();
    const Rectangle& area = pages_[static_cast<std::size_t>(page.first - 1)];
    const double twipsPerPixel = 1.0 / page.scale;
    const auto twips = [twipsPerPixel](long pixels) { return std::lround(pixels * twipsPerPixel); };
    const long tileX = area.x + std::lround((later_ ? kPixelsRightLater : kPixelsRight) * twipsPerPixel);
    const long tileY = area.y + std::lround(kPixelsDown * twipsPerPixel) + twips(top);
    const int partWidth = std::min(page.width, WholeGrids(static_cast<int>(kMaxStripRows), GridPixels(page.size)));
    const std::size_t partBytes = static_cast<std::size_t>(partWidth) * 4 * static_cast<std::size_t>(rows);
    try {
        if (partWidth < page.width && bandPart_.size() < partBytes) bandPart_.resize(partBytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int left = 0; left < page.width; left += partWidth) {
        const int columns = std::min(partWidth, page.width - left);
        std::uint8_t* part = partWidth == page.width ? into : bandPart_.data();
        std::memset(part, 0, static_cast<std::size_t>(columns) * 4 * static_cast<std::size_t>(rows));
        document_->paintTile(part, columns, rows, static_cast<int>(tileX + twips(left)), static_cast<int>(tileY),
                             static_cast<int>(twips(left + columns) - twips(left)), static_cast<int>(twips(top + rows) - twips(top)));
        for (int row = 0; row < rows; ++row) {
            const std::size_t from = static_cast<std::size_t>(row) * columns;
            const std::size_t to = static_cast<std::size_t>(row) * page.width + left;
            PutOnWhite(part + from * 4, into + to * 4, static_cast<std::size_t>(columns));
        }
    }
    paintingMs_ += MillisecondsSince(started);
    return true;
}

void Writer::StartPaintingAhead(int page) {
    if (!drawAhead_ || paintingAhead_.valid() || page < 1 || page > static_cast<int>(pages_.size())) return;
    // The painter's calls would wait for the lock this thread holds.
    if (holdBackLayout_ && officeLock_.acquire) return;
    int from = page;
    const int through = page <= through_ ? through_ : page;
    if (strip_.Holds(page, drawn_.size)) {
        from = strip_.first + strip_.count;  // that page is cut from the strip held: the next one
        if (from > through) return;
    }
    if (stripAhead_.Holds(from, drawn_.size)) return;
    Strip plan = PlanStrip(from, drawn_.size);
    if (static_cast<double>(plan.width) * 4 * static_cast<double>(plan.Rows()) > kMaxBytesAhead) return;
    plan.pixels = std::move(stripAhead_.pixels);
    stripAhead_ = std::move(plan);
    paintingAhead_ = std::async(std::launch::async, [this] { return Paint(stripAhead_); });
}

bool Writer::TakePaintedAhead(int page, Size size) {
    if (paintingAhead_.valid() && !paintingAhead_.get()) stripAhead_.first = 0;
    if (!stripAhead_.Holds(page, size)) return false;
    std::swap(strip_, stripAhead_);
    stripAhead_.first = 0;
    return true;
}

void Writer::StopPaintingAhead() {
    if (paintingAhead_.valid()) paintingAhead_.get();
    stripAhead_.first = 0;
}

Outcome Writer::Save(ImageFormat format, int quality, const std::string& path, int nextPage) {
    if (drawn_.page == 0) return Outcome::Fail(reason::kJpeg, std::to_string(static_cast<int>(JpegStatus::NoPageImage)));
    const int page = drawn_.page;
    drawn_.page = 0;  // each drawing is saved once
    const PageImage& image = drawn_.image;
    if (const int most = MostPixelsASide(format); image.width > most || image.height > most) {
        return Outcome::Fail(reason::kTooLarge, std::to_string(page) + ' ' + std::to_string(image.width) + ' ' +
                                                    std::to_string(image.height) + ' ' + FormatName(format) + ' ' + std::to_string(most));
    }
    const Strip& bands = drawn_.bands;
    // A failure of the paint ahead is a later page's: the render that waits for it reports
    // it. Should it end the engine before, the core asks again in a new engine that paints
    // nothing ahead, where the failure comes back at its own page. A page in bands is painted
    // while it is saved, which leaves LibreOffice to nothing else.
    if (bands.first == 0) StartPaintingAhead(nextPage);
    const auto started = std::chrono::steady_clock::now();
    const double paintedBefore = paintingMs_;  // bands are painted as they are saved: counted as drawing
    int systemError = 0;
    const JpegStatus status =
        bands.first == 0 ? WritePageFile(image, path, format, quality, &systemError)
                         : WritePageFileInBands(image.width, image.height, BandRows(bands),
                                                [&](int top, int rows, std::uint8_t* into) { return PaintBand(bands, top, rows, into); },
                                                path, format, quality, &systemError);
    savingMs_ += MillisecondsSince(started) - (paintingMs_ - paintedBefore);
    if (status != JpegStatus::Ok) {
        std::string detail = std::to_string(static_cast<int>(status));
        if (systemError != 0) detail += ':' + std::to_string(systemError);
        return Outcome::Fail(reason::kJpeg, detail);
    }
    return Outcome::Ok({std::to_string(stripAhead_.first)});
}

Outcome Writer::Close() {
    StopPaintingAhead();
    const auto started = std::chrono::steady_clock::now();
    document_.reset();
    HoldBackLayout(false);
    layoutWhole_ = true;
    loadingMs_ += MillisecondsSince(started);
    if (!copy_.empty()) {
        unlink(copy_.c_str());
        rmdir(copy_.substr(0, copy_.rfind('/')).c_str());
        copy_.clear();
    }
    laidOut_ = false;
    pages_.clear();
    drawn_ = Drawing{};  // a large page's buffers go with its document
    strip_ = Strip{};
    stripAhead_ = Strip{};
    return Outcome::Ok();
}

void Writer::HoldBackLayout(bool hold) {
    if (hold == holdBackLayout_) return;
    if (officeLock_.acquire && hold) officeLock_.acquire(1);
    if (officeLock_.acquire && !hold) officeLock_.release();
    holdBackLayout_ = hold;
}

Outcome Writer::Stats() {
    StopPaintingAhead();
    long peakKib = 0;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) peakKib = std::strtol(line.c_str() + 6, nullptr, 10);
    }
    const auto whole = [](double ms) { return std::to_string(std::llround(ms)); };
    return Outcome::Ok({whole(loadingMs_), whole(paintingMs_ + cuttingMs_), whole(savingMs_), std::to_string(peakKib),
                        std::to_string(pagesDrawn_)});
}

void Writer::OnCallback(int type, const char* payload) {
    if (type == kFontsMissing && payload) {
        for (std::string& font : JsonStrings(payload)) fontsMissing_.push_back(std::move(font));
        return;
    }
    // Every question must be answered, or loading waits forever: no password is known, so
    // the load is cancelled; a document protected only against changes opens read-only.
    if (type == LOK_CALLBACK_DOCUMENT_PASSWORD) {
        passwordAsked_ = true;
        office_->setDocumentPassword(documentUrl_.c_str(), nullptr);
    } else if (type == LOK_CALLBACK_DOCUMENT_PASSWORD_TO_MODIFY) {
        office_->setDocumentPassword(documentUrl_.c_str(), nullptr);
    }
}

}  // namespace quillivar::engine

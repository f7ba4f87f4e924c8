#define LOK_USE_UNSTABLE_API
#include <LibreOfficeKit/LibreOfficeKit.hxx>
#include <LibreOfficeKit/LibreOfficeKitEnums.h>

#include "writer.h"

#include "engineprotocol.h"
#include "profile.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <new>
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

void Callback(int type, const char* payload, void* writer) {
    static_cast<Writer*>(writer)->OnCallback(type, payload);
}

// An OOXML document with a password arrives as an encrypted OLE container; LibreOffice only
// says it could not load it.
bool LooksEncrypted(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string head(8, '\0');
    if (!file.read(head.data(), 8) || head != std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return false;
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    static const std::string kMarker("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
    return content.find(kMarker) != std::string::npos;
}

std::string KindOf(int documentType) {
    switch (documentType) {
        case LOK_DOCTYPE_SPREADSHEET: return "spreadsheet";
        case LOK_DOCTYPE_PRESENTATION: return "presentation";
        case LOK_DOCTYPE_DRAWING: return "drawing";
        default: return "other";
    }
}

// A test switch: opening a document whose path holds this text never finishes.
void StallIfAsked(const std::string& path) {
    const char* pattern = std::getenv("QUILLIVAR_ENGINE_TEST_STALL");
    if (pattern && *pattern && path.find(pattern) != std::string::npos) {
        for (;;) pause();
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

Outcome Writer::Start(const std::string& libreOfficeProgram, const std::string& profileFolder) {
    office_.reset(lok::lok_cpp_init(libreOfficeProgram.c_str(), protocol::FileUrl(profileFolder).c_str()));
    if (!office_) return Outcome::Fail(reason::kStart, "LibreOfficeKit could not be loaded from " + libreOfficeProgram);
    office_->registerCallback(Callback, this);
    office_->setOptionalFeatures(LOK_FEATURE_DOCUMENT_PASSWORD | LOK_FEATURE_DOCUMENT_PASSWORD_TO_MODIFY |
                                 LOK_FEATURE_NO_TILED_ANNOTATIONS);
    languageTag_ = LayoutLanguageTag();
    return Outcome::Ok();
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

Outcome Writer::Open(const std::string& path) {
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
    StallIfAsked(path);

    documentUrl_ = protocol::FileUrl(path);
    passwordAsked_ = false;
    const std::string options = "Language=" + languageTag_ + ",Batch=true,MacroSecurityLevel=3";
    document_.reset(office_->documentLoad(documentUrl_.c_str(), options.c_str()));
    if (!document_) {
        if (passwordAsked_ || LooksEncrypted(path)) return Outcome::Fail(reason::kPassword);
        char* error = office_->getError();
        std::string detail = error ? error : "";
        std::free(error);
        return Outcome::Fail(reason::kUnknownFormat, detail);
    }
    const int type = document_->getDocumentType();
    if (type != LOK_DOCTYPE_TEXT) {
        document_.reset();
        return Outcome::Fail(reason::kNotText, KindOf(type));
    }
    document_->initializeForRendering(kRenderingOptions);
    return Outcome::Ok();
}

Outcome Writer::LayOut() {
    if (!document_) return Outcome::Fail(reason::kNoDocument);
    char* rectangles = document_->getPartPageRectangles();
    const std::string text = rectangles ? rectangles : "";
    std::free(rectangles);
    // "x, y, width, height; x, y, width, height; ..." in twips. Pages of no size are the blank
    // pages the screen layout inserts between sections; a printout leaves them out.
    pages_.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        Rectangle page{};
        if (std::sscanf(text.substr(start, end - start).c_str(), "%ld, %ld, %ld, %ld", &page.x, &page.y,
                        &page.width, &page.height) == 4 &&
            page.width > 0 && page.height > 0) {
            pages_.push_back(page);
        }
        start = end + 1;
    }
    laidOut_ = true;
    return Outcome::Ok();
}

Outcome Writer::PageCount() {
    if (!document_) return Outcome::Fail(reason::kNoDocument);
    if (!laidOut_) LayOut();
    return Outcome::Ok({std::to_string(pages_.size())});
}

Outcome Writer::Render(int page, int dotsPerInch) {
    drawn_ = PageImage{};
    if (!document_) return Outcome::Fail(reason::kNoDocument);
    if (!laidOut_) LayOut();
    if (page < 1 || page > static_cast<int>(pages_.size())) return Outcome::Fail(reason::kNoPage, std::to_string(page));
    if (dotsPerInch < 1 || dotsPerInch > 2400) return Outcome::Fail(reason::kBadRequest, "resolution");
    const Rectangle& area = pages_[static_cast<std::size_t>(page - 1)];
    PageImage image;
    image.width = static_cast<int>(std::lround(area.width * dotsPerInch / 1440.0));
    image.height = static_cast<int>(std::lround(area.height * dotsPerInch / 1440.0));
    try {
        image.pixels.assign(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4, 0);
    } catch (const std::bad_alloc&) {
        return Outcome::Fail(reason::kRender, "not enough memory for the page image");
    }
    document_->paintTile(image.pixels.data(), image.width, image.height, static_cast<int>(area.x),
                         static_cast<int>(area.y), static_cast<int>(area.width),
                         static_cast<int>(area.height));
    // The tile is premultiplied BGRA on a transparent ground: put it on white paper.
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        const std::uint8_t uncovered = 255 - image.pixels[i + 3];
        image.pixels[i] += uncovered;
        image.pixels[i + 1] += uncovered;
        image.pixels[i + 2] += uncovered;
    }
    drawn_ = std::move(image);
    return Outcome::Ok({std::to_string(drawn_.width), std::to_string(drawn_.height)});
}

Outcome Writer::Save(int quality, const std::string& path) {
    const JpegStatus status =
        drawn_.IsValid() ? WriteJpegFile(drawn_, path, quality) : JpegStatus::NoPageImage;
    drawn_ = PageImage{};
    if (status != JpegStatus::Ok) return Outcome::Fail(reason::kJpeg, std::to_string(static_cast<int>(status)));
    return Outcome::Ok();
}

Outcome Writer::Close() {
    document_.reset();
    laidOut_ = false;
    pages_.clear();
    drawn_ = PageImage{};
    return Outcome::Ok();
}

void Writer::OnCallback(int type, const char* /*payload*/) {
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

#pragma once
// LibreOffice Writer through LibreOfficeKit: one document at a time, pages drawn straight into
// a page image that the JPEG writer then encodes.

#include "jpegwriter.h"

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace lok {
class Office;
class Document;
}  // namespace lok

namespace quillivar::engine {

// What a request gives back: "ok" and values, or a failure reason from the protocol and a
// detail in LibreOffice's own words.
struct Outcome {
    bool ok = true;
    std::string reason;
    std::string detail;
    std::vector<std::string> values;

    static Outcome Ok(std::vector<std::string> values = {});
    static Outcome Fail(std::string_view reason, std::string detail = {});
};

class Writer {
public:
    Writer();
    ~Writer();

    // Loads LibreOffice from its program folder with the given profile.
    // With `drawAhead`, the next page is drawn while the last one is encoded: worth it only
    // when a processor is free for the encoder.
    Outcome Start(const std::string& libreOfficeProgram, const std::string& profileFolder, bool drawAhead);
    std::string Version() const;

    Outcome Open(const std::string& path);
    Outcome LayOut();
    Outcome PageCount();
    // The page at `dotsPerInch`, or, with a width or height above 0, at the largest size that
    // fits inside them, keeping its shape.
    struct Size {
        int dotsPerInch = 96;
        int maxWidth = 0;
        int maxHeight = 0;
        bool operator==(const Size&) const = default;
    };
    // Pages up to `through` will be asked for next, one after another: they may be painted
    // together.
    Outcome Render(int page, Size size, int through);
    // Writes the page drawn last; with `nextPage`, draws that one meanwhile.
    Outcome Save(ImageFormat format, int quality, const std::string& path, int nextPage);
    Outcome Close();
    Outcome Stats() const;
    // Waits for the page drawn ahead by Save, if any: before anything else uses LibreOffice.
    void FinishDrawingAhead();

    // Called by LibreOfficeKit; public for the C callback.
    void OnCallback(int type, const char* payload);

private:
    struct Rectangle {
        long x, y, width, height;
    };
    // A page drawn at a resolution; page 0 is none.
    struct Drawing {
        int page = 0;
        Size size;
        PageImage image;
    };

    // Consecutive pages of one size painted at once, one below the other, `pitch` rows apart.
    struct Strip {
        int first = 0;  // its first page; 0 = none
        int count = 0;
        Size size;
        int width = 0;
        int height = 0;  // of each page
        long pitchTwips = 0;
        int pitch = 0;
        std::vector<std::uint8_t> pixels;
    };

    Outcome Draw(int page, int through, Size size, Drawing& into);
    // Paints `page`, `width` x `height` pixels at `scale` pixels a twip, into `into`: alone, or
    // cut from a strip of the pages up to `through`.
    void PaintPage(int page, int through, Size size, int width, int height, double scale, std::uint8_t* into);
    // The strip that one paint starting at `page` should cover, without pixels; a count of 1
    // paints the page alone.
    Strip PlanStrip(int page, int through, int width, int height, double scale) const;
    std::string CommandValues(const char* command) const;  // of the open document, as JSON

    std::unique_ptr<lok::Office> office_;
    std::unique_ptr<lok::Document> document_;
    std::string documentUrl_;
    std::string copy_;  // the copy opened instead of the document, if any
    std::string languageTag_;
    bool passwordAsked_ = false;
    int authorsMet_ = 0;  // authors of tracked changes LibreOffice has met in this process
    bool laidOut_ = false;
    bool drawAhead_ = false;
    std::vector<Rectangle> pages_;
    Drawing drawn_;  // the page asked for, until it is saved
    Drawing ahead_;  // the page after it, drawn while that one was being encoded
    std::future<void> drawingAhead_;
    Strip strip_;
    int through_ = 0;  // the last page of the run of pages being asked for
    // Time spent inside LibreOffice and the encoder, for the statistics.
    double loadingMs_ = 0;
    double drawingMs_ = 0;
    double savingMs_ = 0;
    int pagesDrawn_ = 0;
};

}  // namespace quillivar::engine

#pragma once
// LibreOffice Writer through LibreOfficeKit: one document at a time, pages drawn straight into
// a page image that the JPEG writer then encodes.

#include "jpegwriter.h"

#include <atomic>
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

// Taking and letting go LibreOffice's own lock, where its library lets it be reached.
struct OfficeLockCalls {
    void (*acquire)(std::uint32_t count) = nullptr;
    std::uint32_t (*release)() = nullptr;
};

class Writer {
public:
    Writer();
    ~Writer();

    // Loads LibreOffice from its program folder with the given profile.
    // With `drawAhead`, the next pages are painted while the last one is encoded: worth it only
    // when a processor is free for the encoder. `forked`: this process was forked from the
    // engine parent, which prepared LibreOffice.
    Outcome Start(const std::string& libreOfficeProgram, const std::string& profileFolder, bool drawAhead,
                  bool forked);
    std::string Version() const;
    // Runs LibreOffice's main loop on this thread, which calls `poll` whenever it waits, until
    // `poll` answers less than 0. Only where LibreOffice was started with SAL_LOK_OPTIONS=unipoll.
    void RunMainLoop(int (*poll)(void* data, int timeoutMicroseconds), void (*wake)(void* data), void* data);

    // Opens the document; its answer names the fonts it asks for that this machine lacks, which
    // LibreOffice replaced (LibreOffice 7.4 does not tell). With `lastPage` above 0, no page
    // after it will be asked for: where LibreOffice can, the layout stops soon after it.
    Outcome Open(const std::string& path, int lastPage);
    Outcome LayOut();
    // The pages laid out, and "whole" when that is all of them, or "part" when the layout
    // stopped after the last page asked for and the one after it.
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
    // ahead.
    Outcome Render(int page, Size size, int through);
    // Writes the page drawn last. With `nextPage`, LibreOffice meanwhile paints what that page
    // or the pages after this strip need next, on a thread of its own.
    Outcome Save(ImageFormat format, int quality, const std::string& path, int nextPage);
    Outcome Close();
    Outcome Stats();

    // Called by LibreOfficeKit; public for the C callbacks.
    void OnCallback(int type, const char* payload);
    bool HoldingBackLayout() const { return holdBackLayout_; }

private:
    struct Rectangle {
        long x, y, width, height;
        int frame;  // LibreOffice's page, counting the blank ones
    };

    // One paint of LibreOffice's: a page alone, or consecutive pages of one size one below the
    // other, `pitch` rows apart, to be cut apart.
    struct Strip {
        int first = 0;  // its first page; 0 = none
        int count = 0;
        Size size;
        int width = 0;
        int height = 0;  // of each page
        double scale = 0;  // pixels a twip
        long pitchTwips = 0;
        int pitch = 0;
        std::vector<std::uint8_t> pixels;

        bool Holds(int page, Size at) const { return first > 0 && page >= first && page < first + count && size == at; }
        std::size_t Rows() const {
            return pitch == 0 ? static_cast<std::size_t>(height) : static_cast<std::size_t>(pitch) * static_cast<std::size_t>(count);
        }
    };

    // A page drawn at a resolution; page 0 is none.
    struct Drawing {
        int page = 0;
        Size size;
        PageImage image;  // no pixels for a page drawn in bands
        Strip bands;  // a page too large to hold whole: painted band by band as it is saved
    };

    // Reads where the pages laid out so far lie.
    void ReadPages();
    // Lays the document out until it has `count` pages, or all it has.
    void LayOutThrough(std::size_t count);
    void FinishLayout();
    // Of the pages up to `through`, those LibreOffice has made but not yet filled: an
    // interrupted layout leaves them empty or cut short (LibreOffice 26's ".uno:Layout"; 0
    // where it lacks it).
    int UnformattedPages(std::size_t through) const;
    // Shows LibreOffice the document down to `bottom` (twips) and has it draw a pixel at `foot`,
    // the foot of what it has laid out: it lays out what it shows. Then reads the pages.
    void ShowDownTo(long bottom, long foot);
    // The paint that holds `page`, without pixels: the strip of pages it belongs to, or the
    // page `alone`.
    Strip PlanStrip(int page, Size size, bool alone = false) const;
    // Takes the page drawn as the one to save next, and answers the render with its size.
    Outcome Drawn(int page, Size size);
    // Paints the strip planned; false when its pixels do not fit in memory.
    bool Paint(Strip& strip);
    // Rows `top` to `top + rows` of the page planned, on white, into `into` (the page image's
    // layout), in parts no wider than LibreOffice paints at once.
    bool PaintBand(const Strip& page, int top, int rows, std::uint8_t* into);
    // The band of rows to paint at once for the page planned.
    static int BandRows(const Strip& page);
    // Paints ahead, on a thread of its own, what drawing `page` will need once the pages held
    // now are used up; meanwhile nothing else may use LibreOffice.
    void StartPaintingAhead(int page);
    // Waits for the paint ahead; true when it holds `page` at `size`, which it then hands on.
    bool TakePaintedAhead(int page, Size size);
    void StopPaintingAhead();
    std::string CommandValues(const char* command) const;  // of the open document, as JSON
    // A .doc names a font with its stand-ins ("Liberation Sans;Arial"), and LibreOffice draws
    // with the first of them it has, yet names the whole list as missing, as no font is called
    // that. Such a list is missing only when this machine has none of its fonts.
    void DropListsWithAnInstalledFont(std::vector<std::string>& fonts) const;
    // From the load of a document whose layout stops early until the whole is laid out or the
    // document closes, LibreOffice's background layout is held back: the input-pending callback
    // says so, and this thread holds LibreOffice's lock where it can be reached, so that only
    // the pages asked for are laid out and drawn, the same as after a whole layout. Nothing is
    // painted ahead while the lock is held.
    void HoldBackLayout(bool hold);

    std::unique_ptr<lok::Office> office_;
    std::unique_ptr<lok::Document> document_;
    std::string documentUrl_;
    std::string copy_;  // the copy opened instead of the document, if any
    std::string languageTag_;
    bool later_ = false;  // a LibreOffice after 7.x, which names missing fonts and places text a little differently
    std::vector<std::string> fontsMissing_;  // as the document's callback names them
    bool passwordAsked_ = false;
    int authorsMet_ = 0;  // authors of tracked changes LibreOffice has met in this process
    bool authorMetBefore_ = false;  // while preparing, before any document
    bool laidOut_ = false;
    // LibreOffice 26 and later can stop a load's layout below a given area and go on when
    // asked; meanwhile its own background layout is held back, which would otherwise keep
    // LibreOffice busy until the whole document is laid out.
    bool stopsLayoutEarly_ = false;
    bool layoutWhole_ = true;  // every page of the open document is laid out
    int lastPageWanted_ = 0;   // 0 = any
    std::atomic<bool> holdBackLayout_ = false;
    OfficeLockCalls officeLock_;
    bool drawAhead_ = false;
    std::vector<Rectangle> pages_;
    std::vector<int> runStarts_;  // for each page, the first page of its strips' run
    Drawing drawn_;  // the page asked for, until it is saved
    Strip strip_;  // the last paint, which pages are cut from
    Strip stripAhead_;  // the paint after it, made while the pages of the last one are encoded
    std::vector<std::uint8_t> bandPart_;  // a part of a band, for pages wider than a paint
    std::future<bool> paintingAhead_;  // whether it was painted
    int through_ = 0;  // the last page of the run of pages being asked for
    // Time spent inside LibreOffice and the encoder, for the statistics.
    double loadingMs_ = 0;
    double paintingMs_ = 0;  // by whichever thread paints, one at a time
    double cuttingMs_ = 0;
    double savingMs_ = 0;
    int pagesDrawn_ = 0;
};

}  // namespace quillivar::engine

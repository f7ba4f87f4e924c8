#pragma once
// The document engine: LibreOffice in a child process of its own (quillivar-engine), spoken to
// over a socket with the line protocol of engineprotocol.h.
//
// One engine converts one document at a time. An EngineSession keeps one warm for a whole run
// and ends it with the run. Engines are forked from an engine parent (engineparent.h) that
// the launcher keeps, or started cold when there is none. An engine that crashes or passes
// its time limit is killed with its whole process group; the request fails with a plain
// description and the next document gets a fresh engine. One lost while it may have been painting later pages ahead is first asked
// again in a fresh engine, so that every failure is reported for the page it belongs to.

#include "canceltoken.h"
#include "engineprocess.h"
#include "jpegwriter.h"
#include "linereader.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillivar {

struct EngineLimits {
    // An engine is hung when it has used less than a twentieth of a processor for this long
    // while a request waits: a document LibreOffice is working on is never stopped for being
    // long, one that waits on something, or was stopped, is.
    std::chrono::milliseconds withoutProgress{60'000};
    // However busy it is, no request may take longer: a layout that never ends.
    std::chrono::milliseconds absolute{std::chrono::hours(1)};
    // An engine that grows past this is stopped at once, before it takes the machine with it.
    long memoryLimitKib = DefaultMemoryLimitKib();
    // A fresh engine after this many documents, or when the last one left it this large,
    // because LibreOffice does not give memory back. An engine's size is what it holds
    // resident, without what it still shares with the parent it was forked from.
    int recycleAfterDocuments = 200;
    long recycleAboveKib = DefaultMemoryLimitKib() / 2;

    // Half the machine's memory, at most 4 GiB.
    static long DefaultMemoryLimitKib();
};

// What engines did: time spent inside LibreOffice and the encoder, and their largest size.
struct EngineStats {
    int engines = 0;
    double loadingMs = 0;  // opening and laying out
    double drawingMs = 0;
    double savingMs = 0;   // encoding and writing
    long peakResidentKib = 0;
    long long pagesDrawn = 0;

    void Add(const EngineStats& other);
};

struct EngineOptions {
    QString program;             // the engine executable
    QString libreOfficeProgram;  // LibreOffice's program folder
    QString stateFolder;         // engine profiles, temporary folders and logs
    QStringList environment;     // extra NAME=value entries for the engine process
    EngineLimits limits;
    // Paint the next pages while the last one is encoded: for an engine that has a processor
    // to spare, not for engines that already keep every processor busy.
    bool drawAhead = false;
    // Fork engines from a parent that prepared LibreOffice once, rather than start each cold.
    bool forkEngines = true;
    // The first engine of each session forked too, not only the fresh ones that replace an
    // engine: worth it where the parent outlives a run (the window, the service). Preparing
    // LibreOffice takes longer than starting one engine cold, so a single run starts its
    // first engines cold unless the parent is up already, and starts the parent when the
    // first engine has to be replaced.
    bool forkFirstEngines = true;
};

class EngineParent;

// The engine of this program's installation, LibreOffice where it was found at build time,
// state under the user's cache folder.
EngineOptions DefaultEngineOptions();

class Engine {
public:
    // Starts an engine, forked from `parent` where it can, and waits until LibreOffice is
    // ready; throws Failure when it cannot. Once `cancel` is set, every wait ends at once with
    // the engine stopped.
    // `replacing`: it takes over from an engine of the same session that ended.
    static std::unique_ptr<Engine> Start(const EngineOptions& options, const CancelToken& cancel,
                                         std::shared_ptr<EngineParent> parent = nullptr, bool replacing = false);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Returns the fonts the document asks for that this machine lacks, where LibreOffice tells.
    // With `lastPage` above 0, no page after it will be asked for, and the engine may lay out
    // no further than the page after it.
    QStringList Open(const QString& documentPath, int lastPage);
    void LayOut();
    struct PageCount {
        int pages = 0;
        bool whole = true;  // false: the pages laid out so far, more than the last page asked for
    };
    PageCount CountPages();
    struct PageSize {
        int dotsPerInch = 96;
        int maxWidth = 0;   // with either above 0: as large as fits inside them
        int maxHeight = 0;
    };
    // A page drawn: its image's pixels, and the page's own size in points as laid out.
    struct DrawnPage {
        int widthPixels = 0;
        int heightPixels = 0;
        double widthPoints = 0;
        double heightPoints = 0;
    };
    // Held inside the engine for SavePage. The pages after it up to `through` are the ones
    // asked for next, one after another.
    DrawnPage RenderPage(int page, PageSize size, int through);
    // With `nextPage`, the engine paints what that page needs while this one is written.
    void SavePage(const QString& path, ImageFormat format, int quality, int nextPage);
    void Close();  // without saving, as every close is
    EngineStats Stats();  // of this engine and those it replaced

    bool IsRunning() const { return running_; }
    // As LibreOffice names itself: "7.4", "25.2", ...
    const QString& LibreOfficeVersion() const { return libreOfficeVersion_; }
    // The engine stopped, or was stopped, while it had a document open.
    bool LostDocument() const { return lostDocument_; }
    pid_t ProcessId() const { return pid_; }
    bool Forked() const { return forked_; }  // from the parent, not started cold
    long ResidentKib() const;
    int DocumentsOpened() const { return documentsOpened_; }
    void Stop();  // ends the whole process group at once

private:
    Engine(const EngineOptions& options, const CancelToken& cancel, std::shared_ptr<EngineParent> parent);
    void Launch(bool cold = false);
    void LaunchOnce(bool cold);
    [[noreturn]] void StartColdFromNowOn(const QString& why);
    // Sends a request and returns the answer's fields after its number and "ok". An engine
    // that went down with its parent is replaced by one started cold and brought to where it
    // was, and the request asked again: nothing the document did is to blame.
    std::vector<std::string> Request(const std::vector<std::string>& fields, const QString& doing);
    std::vector<std::string> Exchange(const std::vector<std::string>& fields, const QString& doing);
    enum class Loss { Crashed, Stalled, TooBusy, TooLarge, Broken, Cancelled };
    // The answer to request `id`: its fields after the number. Watches the engine meanwhile.
    std::vector<std::string> Answer(long long id, const QString& doing);
    long long ProcessorTicks() const;  // processor time the engine has used so far
    [[noreturn]] void Lose(Loss how, const QString& doing, const QString& detail = {});
    // Whether the engine, lost during a request for `page`, may have been ended by what it was
    // painting ahead for later pages, which cannot be told apart from the request's own doing.
    bool MayHaveLostPaintingAhead(int page) const;
    DrawnPage RenderAgain();  // the last page asked for, as it was asked
    // Opens the document again, laid out, in a new engine that paints nothing ahead: asked
    // again there, a request's own failure comes back, and a later page's waits for that page.
    void ReopenWithoutPaintingAhead();
    // Waits for the engine to end, and tells how; false when it went with its parent.
    bool Reap(QString* how);
    void CleanUp();

    EngineOptions options_;
    const CancelToken& cancel_;
    std::shared_ptr<EngineParent> parent_;
    EngineSlot slot_;  // taken for the first engine started cold
    int socket_ = -1;
    pid_t pid_ = -1;
    bool forked_ = false;
    bool forkNext_ = false;  // the next start is forked, where the parent serves
    bool running_ = false;
    bool ready_ = false;  // LibreOffice started; later losses take a document with them
    bool lostDocument_ = false;
    int documentsOpened_ = 0;
    std::string pendingTemporary_;  // the JPEG writer's hidden file while a save runs
    Loss lastLoss_ = Loss::Crashed;  // how the engine was last lost
    bool paintAhead_ = false;  // this engine paints ahead when asked
    int paintingAheadFrom_ = 0;  // the first page being painted ahead, not yet drawn; 0: none
    QString documentPath_;  // the document open
    int lastPage_ = 0;       // and the last of its pages that will be asked for
    bool documentOpen_ = false;
    bool needsColdEngine_ = false;  // the document open needs an engine started cold
    bool coldForTrackedChanges_ = false;  // as forked engines have met an author already
    bool laidOut_ = false;
    std::vector<std::string> OpenRequest() const;  // for the document open
    QString libreOfficeVersion_;
    struct {
        int page = 0;
        PageSize size;
        int through = 0;
    } lastRender_;
    std::unique_ptr<protocol::LineReader> answers_;
    EngineStats retired_;  // engines replaced for a document that needed a fresh one
    struct NeedsFreshEngine {
        bool cold;  // one forked would have met the same author already
    };
    struct LostWithParent {};
    long long lastRequest_ = 0;
};

// Starts engines with fixed options; the window and the command line are handed one. Its
// copies share one engine parent, started with the first engine and ended with the last copy.
class EngineLauncher {
public:
    explicit EngineLauncher(EngineOptions options = DefaultEngineOptions());
    std::unique_ptr<Engine> Launch(const CancelToken& cancel, bool replacing = false) const {
        return Engine::Start(options_, cancel, parent_, replacing);
    }
    const EngineOptions& options() const { return options_; }
    // Why engines were started cold rather than forked, if they were: empty otherwise.
    QString ColdStartReason() const;

private:
    EngineOptions options_;
    std::shared_ptr<EngineParent> parent_;
};

// The engine of one run: taken for each document, handed back after it, ended with the run.
class EngineSession {
public:
    EngineSession(EngineLauncher launcher, const CancelToken& cancel);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    Engine& Take();  // the warm engine, or a new one; throws Failure when none starts
    void HandBack(Engine& engine);  // drops an engine that stopped or grew past its limits
    void End();
    // The session ends after the next document, which is then left open for End(): the
    // engine's end closes it sooner than LibreOffice would (a long one takes tenths of a second).
    void EndAfterNextDocument() { endsAfterThisDocument_ = true; }
    bool EndsAfterThisDocument() const { return endsAfterThisDocument_; }
    Engine* Current() const { return engine_.get(); }
    // All engines of the session so far; a lost engine could not tell its part.
    const EngineStats& Stats() const { return stats_; }

private:
    void Retire();

    EngineLauncher launcher_;
    const CancelToken& cancel_;
    std::unique_ptr<Engine> engine_;
    bool launched_ = false;  // an engine was started in this session
    bool endsAfterThisDocument_ = false;
    EngineStats stats_;
};

}  // namespace quillivar

#include "engine.h"

#include "config.h"
#include "engineprotocol.h"
#include "engineparent.h"
#include "engineregistry.h"
#include "errortrap.h"
#include "jpegwriter.h"
#include "paths.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <climits>
#include <deque>
#include <optional>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillivar {

namespace {

namespace conv = texts::conversion;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWatch = 20ms;  // how often a wait looks at the engine, and for a cancel
// Less processor time than this share of the time waited, and the engine is making no progress.
constexpr double kLeastBusyShare = 0.05;

QString FolderOfThisProgram() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

QString Errno() { return QString::fromLocal8Bit(std::strerror(errno)); }

// The texts for a request the engine answered with "fail <reason> <detail>".
Failure DescribeFailure(const std::string& reason, const QString& detail, const QString& subject) {
    namespace r = protocol::reason;
    if (reason == r::kMissing) return Failure(conv::kDocumentMissing.arg(subject));
    if (reason == r::kFolder) return Failure(conv::kDocumentIsFolder.arg(subject));
    if (reason == r::kUnreadable) return Failure(conv::kDocumentUnreadable.arg(subject));
    if (reason == r::kEmpty) return Failure(conv::kDocumentEmpty.arg(subject));
    if (reason == r::kPassword) return Failure(conv::kDocumentPassword.arg(subject));
    if (reason == r::kUnknownFormat) return Failure(conv::kDocumentUnknownFormat.arg(subject));
    if (reason == r::kPlainText) return Failure(conv::kDocumentPlainText.arg(detail, subject));
    if (reason == r::kNotText) {
        const QString kind = detail == QLatin1String("spreadsheet")    ? conv::kKindSpreadsheet
                             : detail == QLatin1String("presentation") ? conv::kKindPresentation
                             : detail == QLatin1String("drawing")      ? conv::kKindDrawing
                             : detail == QLatin1String("picture")      ? conv::kKindPicture
                             : detail == QLatin1String("pdf")          ? conv::kKindPdf
                                                                       : conv::kKindOther;
        return Failure(conv::kDocumentNotText.arg(kind, subject));
    }
    if (reason == r::kNoDocument) return Failure(conv::kNoDocumentOpen);
    if (reason == r::kNoPage) return Failure(conv::kNoSuchPage.arg(subject));
    if (reason == r::kRender) return Failure(conv::kRenderFailed.arg(subject, detail));
    if (reason == r::kTooLarge) {
        const QStringList page = detail.split(QLatin1Char(' '));
        if (page.size() == 5) return Failure(conv::kPageTooLarge.arg(page[0], page[1], page[2], page[3].toUpper(), page[4]));
    }
    if (reason == r::kStart) return Failure(conv::kEngineStartFailed.arg(detail));
    return Failure(conv::kEngineMisunderstood.arg(QString::fromStdString(reason) + QLatin1Char(' ') + detail));
}

}  // namespace

long EngineLimits::DefaultMemoryLimitKib() {
    const long machineKib = sysconf(_SC_PHYS_PAGES) * (sysconf(_SC_PAGESIZE) / 1024);
    return std::min(machineKib / 2, 4L * 1024 * 1024);
}

EngineOptions DefaultEngineOptions() {
    EngineOptions options;
    options.program = FolderOfThisProgram() + QStringLiteral("/../") + QString::fromUtf8(config::kHelperFolder) +
                      QStringLiteral("/quillivar-engine");
    const QString libreOfficeOverride = qEnvironmentVariable("QUILLIVAR_LIBREOFFICE_PROGRAM");
    options.libreOfficeProgram = libreOfficeOverride.isEmpty()
                                     ? QString::fromUtf8(config::kLibreOfficeProgram)
                                     : libreOfficeOverride;
    options.stateFolder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/quillivar");
    options.drawAhead = QThread::idealThreadCount() > 1;  // one engine, and a processor to spare
    // For measuring against, and a way out should forking ever misbehave.
    options.forkEngines = qEnvironmentVariable("QUILLIVAR_COLD_ENGINES") != QLatin1String("1");
    return options;
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<Engine> Engine::Start(const EngineOptions& options, const CancelToken& cancel,
                                      std::shared_ptr<EngineParent> parent, bool replacing) {
    if (cancel.IsCancelled()) throw Failure(conv::kCancelled);
    if (access(QFile::encodeName(options.program).constData(), X_OK) != 0) {
        throw Failure(conv::kEngineMissing.arg(options.program, Errno()));
    }
    std::unique_ptr<Engine> engine(new Engine(options, cancel, std::move(parent)));
    engine->forkNext_ = engine->parent_ && (replacing || options.forkFirstEngines || engine->parent_->Serving());
    engine->Launch();
    return engine;
}

Engine::Engine(const EngineOptions& options, const CancelToken& cancel, std::shared_ptr<EngineParent> parent)
    : options_(options), cancel_(cancel), parent_(std::move(parent)), paintAhead_(options.drawAhead) {}

Engine::~Engine() {
    Stop();
    slot_.Release();
}

void Engine::Launch(bool cold) {
    try {
        LaunchOnce(cold);
    } catch (const LostWithParent&) {
        LaunchOnce(true);  // now that the parent is gone
    }
}

void Engine::LaunchOnce(bool cold) {
    if (cancel_.IsCancelled()) throw Failure(conv::kCancelled);
    ready_ = false;
    lastRequest_ = 0;
    const std::optional<EngineProcess> forked = forkNext_ && !cold ? parent_->Fork(paintAhead_, cancel_) : std::nullopt;
    forkNext_ = parent_ != nullptr;  // every fresh engine after the first
    forked_ = forked.has_value();
    EngineProcess process;
    if (forked) {
        process = *forked;
    } else {
        if (slot_.folder.isEmpty()) slot_ = EngineSlot::Take(options_.stateFolder);
        const QString temporaryFolder = slot_.folder + QStringLiteral("/tmp");
        QDir().mkpath(slot_.folder + QStringLiteral("/profile"));
        QDir().mkpath(temporaryFolder);
        RemoveFolderContents(temporaryFolder);
        QStringList arguments{QStringLiteral("--libreoffice"), options_.libreOfficeProgram, QStringLiteral("--profile"),
                              slot_.folder + QStringLiteral("/profile")};
        if (paintAhead_) arguments << QStringLiteral("--draw-ahead");
        process = SpawnEngineProcess(options_, arguments, temporaryFolder, slot_.folder + QStringLiteral("/engine.log"),
                                     SOCK_STREAM, true);
        RegisterEngineProcess(process.pid);
    }
    pid_ = process.pid;
    socket_ = process.socket;
    running_ = true;

    answers_ = std::make_unique<protocol::LineReader>(socket_, protocol::kMaxLineBytes);

    std::vector<std::string> fields;
    try {
        fields = Answer(0, conv::kWhileStarting);
    } catch (const Failure& failure) {
        if (!forked_ || cancel_.IsCancelled()) throw;
        StartColdFromNowOn(failure.description());
    }
    if (fields.size() == 2 && fields[0] == "ready") {
        ready_ = true;
        libreOfficeVersion_ = QString::fromStdString(fields[1]);
        return;
    }
    Stop();
    const QString detail = fields.size() >= 3 && fields[0] == "fail" ? QString::fromStdString(fields[2]) : QString();
    if (forked_) StartColdFromNowOn(detail.isEmpty() ? QString::fromStdString(protocol::JoinFields(fields)) : detail);
    if (!detail.isNull()) throw DescribeFailure(fields[1], detail, QString());
    throw Failure(conv::kEngineMisunderstood.arg(QString::fromStdString(protocol::JoinFields(fields))));
}

void Engine::StartColdFromNowOn(const QString& why) {
    // A LibreOffice whose forked engines cannot start is no document's fault: this engine and
    // all after it start cold.
    parent_->GiveUp(QStringLiteral("an engine forked from the parent did not start: %1").arg(why));
    throw LostWithParent();
}

QStringList Engine::Open(const QString& documentPath, int lastPage) {
    ++documentsOpened_;
    documentPath_ = documentPath;
    lastPage_ = lastPage;
    documentOpen_ = false;
    needsColdEngine_ = false;
    paintingAheadFrom_ = 0;
    const std::vector<std::string> open = OpenRequest();
    std::vector<std::string> fontsMissing;
    // Same document, same pages: one with tracked changes only comes out right in a new
    // engine, and one started cold where a forked one has met an author while the parent
    // prepared LibreOffice.
    for (int fresh = 0;; ++fresh) {
        try {
            fontsMissing = Request(open, conv::kWhileOpening);
            break;
        } catch (const NeedsFreshEngine& needs) {
            if (fresh == 2) throw Failure(conv::kEngineMisunderstood.arg(QString::fromUtf8(protocol::reason::kNeedsFreshEngine)));
            retired_ = Stats();
            Stop();
            coldForTrackedChanges_ = coldForTrackedChanges_ || needs.cold;
            needsColdEngine_ = coldForTrackedChanges_;
            Launch(needsColdEngine_);
        }
    }
    documentOpen_ = true;
    laidOut_ = false;
    QStringList fonts;
    for (const std::string& font : fontsMissing) fonts << QString::fromStdString(font);
    return fonts;
}

std::vector<std::string> Engine::OpenRequest() const {
    return {"open", QFile::encodeName(documentPath_).toStdString(), std::to_string(lastPage_)};
}

void Engine::LayOut() {
    Request({"layout"}, conv::kWhileLayingOut);
    laidOut_ = true;
}

Engine::PageCount Engine::CountPages() {
    const auto fields = Request({"pages"}, conv::kWhileCounting);
    const auto count = fields.size() == 2 ? protocol::ParseNumber(fields[0], 0, 1'000'000) : std::nullopt;
    if (!count || (fields[1] != "whole" && fields[1] != "part")) {
        Lose(Loss::Broken, conv::kWhileCounting, QString::fromStdString(protocol::JoinFields(fields)));
    }
    return {static_cast<int>(*count), fields[1] == "whole"};
}

Engine::DrawnPage Engine::RenderPage(int page, PageSize size, int through) {
    if (!running_) throw Failure(conv::kEngineNotRunning);  // a loss already reported
    lastRender_ = {page, size, through};
    DrawnPage drawn;
    try {
        drawn = RenderAgain();
    } catch (...) {
        if (!MayHaveLostPaintingAhead(page)) throw;
        ReopenWithoutPaintingAhead();
        drawn = RenderAgain();
    }
    if (page >= paintingAheadFrom_) paintingAheadFrom_ = 0;  // taken, or dropped
    return drawn;
}

void Engine::SavePage(const QString& path, ImageFormat format, int quality, int nextPage) {
    if (!running_) throw Failure(conv::kEngineNotRunning);  // a loss already reported
    const std::string target = QFile::encodeName(path).toStdString();
    const QString doing = conv::kWhileSaving.arg(GetFileName(path));
    const auto save = [&](int next) {
        pendingTemporary_ = JpegTemporaryPath(target, pid_);
        const auto fields = Request({"save", FormatName(format), std::to_string(quality), target, std::to_string(next)}, doing);
        pendingTemporary_.clear();
        const auto from = fields.size() == 1 ? protocol::ParseNumber(fields[0], 0, 1'000'000) : std::nullopt;
        if (!from) Lose(Loss::Broken, doing, QString::fromStdString(protocol::JoinFields(fields)));
        paintingAheadFrom_ = static_cast<int>(*from);
    };
    const int drawnPage = lastRender_.page;
    if (paintAhead_ && nextPage > 0) paintingAheadFrom_ = std::max(paintingAheadFrom_, nextPage);  // at least
    try {
        save(nextPage);
    } catch (...) {
        pendingTemporary_.clear();  // the engine removed its own file; a lost engine's was removed above
        if (!MayHaveLostPaintingAhead(drawnPage)) throw;
        // The file appears whole or not at all, and the page's old one was deleted before it
        // was drawn: if it is there, the page was written.
        const bool written = QFileInfo::exists(path);
        if (written && nextPage == 0) return;  // and nothing is left to draw
        ReopenWithoutPaintingAhead();
        if (written) return;
        RenderAgain();
        save(0);
    }
}

Engine::DrawnPage Engine::RenderAgain() {
    const auto& [page, size, through] = lastRender_;
    const QString doing = conv::kWhileDrawing.arg(page);
    const auto fields = Request({"render", std::to_string(page), std::to_string(size.dotsPerInch), std::to_string(size.maxWidth),
                                 std::to_string(size.maxHeight), std::to_string(through)},
                                doing);
    std::optional<long long> values[4];
    for (std::size_t i = 0; i < 4 && fields.size() == 4; ++i) values[i] = protocol::ParseNumber(fields[i], 1, 1'000'000'000);
    if (!values[0] || !values[1] || !values[2] || !values[3]) {
        Lose(Loss::Broken, doing, QString::fromStdString(protocol::JoinFields(fields)));
    }
    constexpr double kTwipsPerPoint = 20;
    return {static_cast<int>(*values[0]), static_cast<int>(*values[1]), static_cast<double>(*values[2]) / kTwipsPerPoint,
            static_cast<double>(*values[3]) / kTwipsPerPoint};
}

bool Engine::MayHaveLostPaintingAhead(int page) const {
    return lostDocument_ && paintingAheadFrom_ > page &&
           (lastLoss_ == Loss::Crashed || lastLoss_ == Loss::TooLarge);
}

void Engine::ReopenWithoutPaintingAhead() {
    ++retired_.engines;  // the lost one, which could not tell its part
    paintAhead_ = false;  // for the rest of this engine's documents
    paintingAheadFrom_ = 0;
    try {
        Launch(needsColdEngine_);
        Request(OpenRequest(), conv::kWhileOpening);
        Request({"layout"}, conv::kWhileLayingOut);
    } catch (...) {
        lostDocument_ = true;  // however the new engine failed, the document is gone
        throw;
    }
    lostDocument_ = false;
}

void Engine::Close() {
    if (!running_) return;  // a lost engine took its document with it
    Request({"close"}, conv::kWhileClosing);
    documentOpen_ = false;
}

EngineStats Engine::Stats() {
    std::vector<std::string> fields;
    try {
        fields = Exchange({"stats"}, conv::kWhileReporting);
    } catch (const LostWithParent&) {
        EngineStats stats = retired_;
        ++stats.engines;  // which could not tell its part
        return stats;
    }
    std::optional<long long> values[5];
    for (std::size_t i = 0; i < 5 && i < fields.size(); ++i) values[i] = protocol::ParseNumber(fields[i], 0, LLONG_MAX);
    if (fields.size() != 5 || !std::all_of(std::begin(values), std::end(values), [](const auto& value) { return value.has_value(); })) {
        Lose(Loss::Broken, conv::kWhileReporting, QString::fromStdString(protocol::JoinFields(fields)));
    }
    EngineStats stats = retired_;
    stats.engines += 1;
    stats.loadingMs += static_cast<double>(*values[0]);
    stats.drawingMs += static_cast<double>(*values[1]);
    stats.savingMs += static_cast<double>(*values[2]);
    stats.peakResidentKib = std::max(stats.peakResidentKib, static_cast<long>(*values[3]));
    stats.pagesDrawn += *values[4];
    return stats;
}

void EngineStats::Add(const EngineStats& other) {
    engines += other.engines;
    loadingMs += other.loadingMs;
    drawingMs += other.drawingMs;
    savingMs += other.savingMs;
    peakResidentKib = std::max(peakResidentKib, other.peakResidentKib);
    pagesDrawn += other.pagesDrawn;
}

long Engine::ResidentKib() const {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid_));
    if (!running_ || !statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    const long resident = fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
    // A forked engine shares most of its pages with the parent, which cost nothing more per
    // engine: only what it holds of its own counts. Finding that out walks its whole memory
    // map, which is not done every few milliseconds while the plain count, which is never
    // less, stays below every limit it is compared with.
    const EngineLimits& limits = options_.limits;
    if (!forked_ || resident <= std::min(limits.recycleAboveKib, limits.memoryLimitKib)) return resident;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid_));
    if (!rollup.open(QIODevice::ReadOnly)) return resident;
    long own = 0;
    for (const QByteArray& line : rollup.readAll().split('\n')) {
        if (line.startsWith("Private_Clean:") || line.startsWith("Private_Dirty:")) {
            own += line.mid(14).trimmed().split(' ').value(0).toLong();
        }
    }
    return own;
}

void Engine::Stop() {
    if (pid_ > 0 && running_) {
        kill(-pid_, SIGKILL);
        Reap(nullptr);
    }
    CleanUp();
}

// ---------------------------------------------------------------------------------------------

std::vector<std::string> Engine::Request(const std::vector<std::string>& fields, const QString& doing) {
    try {
        return Exchange(fields, doing);
    } catch (const LostWithParent&) {
    }
    if (fields[0] == "close") return {};  // nothing is open any more
    ++retired_.engines;  // the lost one, which could not tell its part
    Launch();
    if (documentOpen_ && fields[0] != "open") {
        Exchange(OpenRequest(), conv::kWhileOpening);
        if (laidOut_) Exchange({"layout"}, conv::kWhileLayingOut);
        if (fields[0] == "save") {
            const auto& [page, size, through] = lastRender_;
            Exchange({"render", std::to_string(page), std::to_string(size.dotsPerInch), std::to_string(size.maxWidth),
                      std::to_string(size.maxHeight), std::to_string(through)},
                     conv::kWhileDrawing.arg(page));
        }
    }
    return Exchange(fields, doing);
}

std::vector<std::string> Engine::Exchange(const std::vector<std::string>& fields, const QString& doing) {
    if (!running_) throw Failure(conv::kEngineNotRunning);
    const long long id = ++lastRequest_;
    std::vector<std::string> numbered{std::to_string(id)};
    numbered.insert(numbered.end(), fields.begin(), fields.end());
    const std::string message = protocol::JoinFields(numbered) + '\n';
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = send(socket_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Lose(Loss::Crashed, doing);
        sent += static_cast<std::size_t>(n);
    }
    std::vector<std::string> reply = Answer(id, doing);
    if (!reply.empty() && reply[0] == "ok") return {reply.begin() + 1, reply.end()};
    if (reply.size() == 3 && reply[0] == "fail") {
        const QString detail = QString::fromStdString(reply[2]);
        if (reply[1] == protocol::reason::kJpeg) {
            const auto colon = reply[2].find(':');
            const auto status = protocol::ParseNumber(reply[2].substr(0, colon), 1, 99);
            std::optional<long long> systemError = 0;
            if (colon != std::string::npos) systemError = protocol::ParseNumber(reply[2].substr(colon + 1), 1, 9999);
            if (!status || !systemError) Lose(Loss::Broken, doing, QString::fromStdString(protocol::JoinFields(reply)));
            throw JpegError(static_cast<JpegStatus>(*status), static_cast<int>(*systemError));
        }
        if (reply[1] == protocol::reason::kNeedsFreshEngine) throw NeedsFreshEngine{reply[2] == "cold"};
        QString subject = detail;
        if (fields[0] == "open") subject = QFile::decodeName(QByteArray::fromStdString(fields[1]));
        if (fields[0] == "render") subject = QString::fromStdString(fields[1]);
        throw DescribeFailure(reply[1], detail, subject);
    }
    Lose(Loss::Broken, doing, QString::fromStdString(protocol::JoinFields(reply)));
}

std::vector<std::string> Engine::Answer(long long id, const QString& doing) {
    using Result = protocol::LineReader::Result;
    const EngineLimits& limits = options_.limits;
    const auto started = Clock::now();
    // Processor time, sampled as we wait, to tell an engine at work from one that is not.
    struct Sample {
        Clock::time_point at;
        long long ticks;
    };
    std::deque<Sample> samples{{started, ProcessorTicks()}};
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::string line;
    while (true) {
        if (cancel_.IsCancelled()) Lose(Loss::Cancelled, doing);
        const Result result = answers_->Read(line, static_cast<int>(kWatch.count()));
        if (result == Result::Closed) Lose(Loss::Crashed, doing);
        if (result == Result::TooLong) Lose(Loss::Broken, doing, conv::kLineTooLong);
        if (result == Result::Line) {
            std::vector<std::string> fields = protocol::SplitFields(line);
            if (fields.size() < 2 || protocol::ParseNumber(fields[0], id, id) != id) {
                Lose(Loss::Broken, doing, QString::fromStdString(line.substr(0, protocol::kMaxDetailBytes)));
            }
            fields.erase(fields.begin());
            return fields;
        }
        const auto now = Clock::now();
        if (ResidentKib() > limits.memoryLimitKib) Lose(Loss::TooLarge, doing);
        if (now - started > limits.absolute) Lose(Loss::TooBusy, doing);
        samples.push_back({now, ProcessorTicks()});
        while (samples.size() > 2 && now - samples[1].at >= limits.withoutProgress) samples.pop_front();
        const Sample& oldest = samples.front();
        if (now - oldest.at >= limits.withoutProgress) {
            const double busySeconds = static_cast<double>(samples.back().ticks - oldest.ticks) / ticksPerSecond;
            const double waitedSeconds = std::chrono::duration<double>(now - oldest.at).count();
            if (busySeconds < kLeastBusyShare * waitedSeconds) Lose(Loss::Stalled, doing);
        }
    }
}

long long Engine::ProcessorTicks() const {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid_));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    // After the command name in parentheses: state, then 10 more fields, then user and system time.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : 0;
}

void Engine::Lose(Loss how, const QString& doing, const QString& detail) {
    lostDocument_ = ready_;
    lastLoss_ = how;
    kill(-pid_, SIGKILL);
    QString ending;
    const bool parentGone = !Reap(&ending);
    CleanUp();
    if (how == Loss::Crashed && parentGone && !cancel_.IsCancelled()) {
        lostDocument_ = false;
        throw LostWithParent();
    }
    const EngineLimits& limits = options_.limits;
    switch (how) {
        case Loss::Stalled:
            throw Failure(conv::kEngineStalled.arg(std::chrono::duration_cast<std::chrono::seconds>(limits.withoutProgress).count()).arg(doing));
        case Loss::TooBusy:
            throw Failure(conv::kEngineTooBusy.arg(std::chrono::duration_cast<std::chrono::minutes>(limits.absolute).count()).arg(doing));
        case Loss::TooLarge:
            throw Failure(conv::kEngineTooLarge.arg(limits.memoryLimitKib / 1024).arg(doing));
        case Loss::Broken: throw Failure(conv::kEngineBroken.arg(doing, detail));
        case Loss::Cancelled: throw Failure(conv::kCancelled);
        case Loss::Crashed: break;
    }
    throw Failure(conv::kEngineCrashed.arg(ending, doing));
}

bool Engine::Reap(QString* how) {
    running_ = false;
    if (forked_) {
        const std::optional<QString> ending = parent_->Ended(pid_);
        if (how && ending) *how = *ending;
        return ending.has_value();
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    UnregisterEngineProcess(pid_);
    if (how) *how = DescribeEnding(WIFSIGNALED(status), WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    return true;
}

void Engine::CleanUp() {
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
    answers_.reset();
    if (!pendingTemporary_.empty()) unlink(pendingTemporary_.c_str());
    pendingTemporary_.clear();
    if (!forked_ && !slot_.folder.isEmpty()) RemoveFolderContents(slot_.folder + QStringLiteral("/tmp"));
}

// ---------------------------------------------------------------------------------------------

EngineLauncher::EngineLauncher(EngineOptions options)
    : options_(std::move(options)), parent_(options_.forkEngines ? std::make_shared<EngineParent>(options_) : nullptr) {}

QString EngineLauncher::ColdStartReason() const { return parent_ ? parent_->ColdStartReason() : QString(); }

EngineSession::EngineSession(EngineLauncher launcher, const CancelToken& cancel)
    : launcher_(std::move(launcher)), cancel_(cancel) {}

EngineSession::~EngineSession() { End(); }

Engine& EngineSession::Take() {
    if (engine_ && !engine_->IsRunning()) engine_.reset();
    if (!engine_) {
        engine_ = launcher_.Launch(cancel_, launched_);
        launched_ = true;
    }
    return *engine_;
}

void EngineSession::HandBack(Engine& engine) {
    if (&engine != engine_.get()) return;
    const EngineLimits& limits = launcher_.options().limits;
    if (!engine.IsRunning() || engine.DocumentsOpened() >= limits.recycleAfterDocuments ||
        engine.ResidentKib() > limits.recycleAboveKib) {
        Retire();
    }
}

void EngineSession::End() { Retire(); }

void EngineSession::Retire() {
    if (!engine_) return;
    if (engine_->IsRunning()) {
        try {
            stats_.Add(engine_->Stats());
        } catch (const std::exception&) {
            // An engine that cannot tell is ended all the same.
        }
    } else {
        ++stats_.engines;
    }
    engine_.reset();
}

}  // namespace quillivar

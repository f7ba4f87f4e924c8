#include "conversion.h"

#include "paths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace quillivar::server {

Conversion::Conversion(QStringList documents, ExportChoices choices, Metrics& metrics)
    : documents_(std::move(documents)), choices_(std::move(choices)), metrics_(metrics) {}

void Conversion::Run(EngineSession& engines, const CancelToken& cancel) {
    engines_ = &engines;
    cancel_ = &cancel;
    try {
        RunBatch(documents_, choices_, engines, *this, cancel);
    } catch (...) {
        // RunBatch reports every failure itself; the answer ends whatever happens.
    }
    engines_ = nullptr;
    {
        const std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

bool Conversion::WaitForSomethingConverted() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return somethingConverted_ || ended_; });
    return somethingConverted_;
}

std::optional<ConversionEvent> Conversion::Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !events_.empty() || ended_; });
    if (events_.empty()) return std::nullopt;
    ConversionEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

std::deque<ConversionEvent> Conversion::TakeAll() {
    const std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

void Conversion::DocumentStarted(int /*index*/, const QString& documentPath) {
    stemName_ = GetFileName(PageFileStem(documentPath, choices_));
    passedOn_.clear();
    reports_.clear();
}

void Conversion::ShowStatus(int index, const QString& /*text*/) {
    // Said after each page: whatever the page left is complete, as page files appear whole.
    const QString extension = QString::fromStdString(FormatName(choices_.format));
    QDir folder(choices_.outputFolder);
    QStringList found;
    for (const QString& name : folder.entryList({QStringLiteral("*.") + extension}, QDir::Files)) {
        found << folder.filePath(name);
    }
    PassOnNewPages(index, found);
}

void Conversion::ShowErrorReport(int /*index*/, const QString& description, const QString& location, int line, const QString& cause) {
    // The client knows its documents and pages by name: the request's private folder stays ours.
    const QString folder = QFileInfo(choices_.outputFolder).absolutePath();
    const auto byName = [&](QString text) {
        return text.replace(folder + QStringLiteral("/in/"), QString()).replace(folder + QStringLiteral("/out/"), QString());
    };
    reports_.append({line, byName(location.trimmed()), byName(description), cause});
    if (cancel_->IsCancelled()) return;  // stopped on purpose: the answer's end, no fault
    metrics_.CountReport(line);
    // An engine that is no longer running when a step fails was lost on it.
    const Engine* engine = engines_ ? engines_->Current() : nullptr;
    if (engine && !engine->IsRunning() && engine->ProcessId() != lostEngine_) {
        lostEngine_ = engine->ProcessId();
        metrics_.CountEngineLost();
    }
}

void Conversion::DocumentDone(int index, const ExportResult& result) {
    PassOnNewPages(index, result.pagesWritten);
    const QString outcome = OutcomeOf(result, !reports_.isEmpty());
    metrics_.CountDocument(outcome);
    Post(DocumentFinished{index, result, reports_, outcome});
}

void Conversion::PassOnNewPages(int index, const QStringList& known) {
    const QString prefix = stemName_ + QLatin1Char('_');
    std::vector<PageWritten> pages;
    for (const QString& path : known) {
        if (passedOn_.contains(path)) continue;
        const QString name = QFileInfo(path).completeBaseName();
        bool isNumber = false;
        const int page = name.startsWith(prefix) ? name.mid(prefix.size()).toInt(&isNumber) : 0;
        if (!isNumber || page < 1) continue;  // another document's page whose name begins alike
        passedOn_.insert(path);
        pages.push_back({index, page, path});
    }
    std::sort(pages.begin(), pages.end(), [](const auto& a, const auto& b) { return a.page < b.page; });
    for (PageWritten& page : pages) {
        metrics_.CountPage();
        Post(std::move(page));
    }
}

void Conversion::Post(ConversionEvent event) {
    {
        const std::lock_guard lock(mutex_);
        const auto* finished = std::get_if<DocumentFinished>(&event);
        if (!finished || finished->outcome != QStringLiteral("failed")) somethingConverted_ = true;
        events_.push_back(std::move(event));
    }
    changed_.notify_all();
}

}  // namespace quillivar::server

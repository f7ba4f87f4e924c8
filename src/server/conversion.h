#pragma once
// One request's documents converted on one engine, told to the answer as it goes: each page
// file as soon as it is written, each document's outcome as it finishes.

#include "batchrun.h"
#include "metrics.h"

#include <QSet>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <variant>

namespace quillivar::server {

struct PageWritten {
    int document = 0;
    int page = 0;
    QString path;
};

struct Report {
    int step = 0;
    QString location;
    QString text;
    QString cause;  // the system's own words, where it gave any
};

struct DocumentFinished {
    int document = 0;
    ExportResult result;
    QList<Report> reports;
    QString outcome;  // "converted", "partial" or "failed", as quillivar-cli's --json says
};

using ConversionEvent = std::variant<PageWritten, DocumentFinished>;

class Conversion : public RunObserver {
public:
    Conversion(QStringList documents, ExportChoices choices, Metrics& metrics);

    // On an engine's thread: converts the documents in order.
    void Run(EngineSession& engines, const CancelToken& cancel);

    // Waits until a page is written or a document converted (true), or until the run ended
    // with nothing converted (false).
    bool WaitForSomethingConverted();
    // The next event, waiting for it; nothing once the run has ended and every event is taken.
    std::optional<ConversionEvent> Next();
    // The events not taken yet, without waiting: for an answer that is not streamed.
    std::deque<ConversionEvent> TakeAll();

    void DocumentStarted(int index, const QString& documentPath) override;
    void ShowStatus(int index, const QString& text) override;
    void ShowErrorReport(int index, const QString& description, const QString& location, int line, const QString& cause) override;
    void DocumentDone(int index, const ExportResult& result) override;

private:
    // The page files of document `index` that have appeared since last looked, in page order.
    void PassOnNewPages(int index, const QStringList& known);
    void Post(ConversionEvent event);

    const QStringList documents_;
    const ExportChoices choices_;
    Metrics& metrics_;
    EngineSession* engines_ = nullptr;  // while it runs
    const CancelToken* cancel_ = nullptr;
    // Of the document under way, touched on the engine's thread only.
    QString stemName_;
    QSet<QString> passedOn_;
    QList<Report> reports_;
    pid_t lostEngine_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ConversionEvent> events_;
    bool somethingConverted_ = false;
    bool ended_ = false;
};

}  // namespace quillivar::server

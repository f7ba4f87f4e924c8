#pragma once
// A batch on the command line: documents shared among engines running side by side, with
// progress and reports on standard error.

#include "engine.h"
#include "errortrap.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <vector>

namespace quillivar::cli {

struct BatchChoices {
    QString outputFolder;  // "" with `beside`
    bool beside = false;
    int quality = 75;
    int dotsPerInch = 96;
    int jobs = 1;
};

// Reports kept until their document is done, so that they appear together; their text is
// the window's, with every carriage return written as a line break.
class DocumentReporter : public ErrorReporter {
public:
    void ShowErrorReport(const QString& description, const QString& location, int line) override;
    QStringList texts;
    int pagesNotSaved = 0;
};

// Standard error, shared by the workers: a status line (a bar redrawn in place on a
// terminal), and the reports of each document together.
class Console {
public:
    explicit Console(int documents);
    void Status(const QString& text);
    void DocumentDone(const QStringList& reports);
    void Reports(const QStringList& reports);
    void Clear();

private:
    void PrintReports(const QStringList& reports);  // with the mutex held

    std::mutex mutex_;
    const int documents_;
    int done_ = 0;
    const bool terminal_;
    bool drawn_ = false;
};

struct BatchResult {
    int documents = 0;  // converted, or tried
    int pages = 0;      // page images written
    int reports = 0;
    EngineStats engines;
};

// Converts `documents` with `choices.jobs` engines side by side. Documents whose pages share
// a name are converted one after another, in the given order, so that the result is the
// same as with one engine. Stops taking documents once `stop` is set.
BatchResult RunBatch(const QStringList& documents, const BatchChoices& choices, const EngineOptions& engineOptions,
                     Console& console, const std::atomic<int>& stop);

}  // namespace quillivar::cli

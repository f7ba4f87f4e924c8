#pragma once
// Standard error while a batch runs: a status line (a bar redrawn in place on a terminal), and
// each document's reports together once it is done, written as the window words them. With
// JSON, standard output also gets one line per document as it finishes, and nothing else.

#include "batchrun.h"

#include <QHash>
#include <QJsonObject>
#include <QStringList>

#include <mutex>

namespace quillivar::cli {

// Reports kept to be printed later, as the console words them.
class KeptReports : public ErrorReporter {
public:
    void ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) override;
    QStringList texts;
};

class Console : public RunObserver {
public:
    // Once `interrupted` is set, nothing more is said of the documents.
    Console(const QStringList& documents, bool json, const CancelToken& interrupted);

    void DocumentStarted(int index, const QString& documentPath) override;
    void ShowStatus(int index, const QString& text) override;
    void ShowErrorReport(int index, const QString& description, const QString& location, int line, const QString& cause) override;
    void DocumentDone(int index, const ExportResult& result) override;

    // Reports that belong to no document (the folder scan's); printed at once.
    void PrintReports(const QStringList& reports);
    // What the command line says itself, of a document or folder it passes over (given by
    // its path's bytes), or of several documents (no path).
    void PrintNotice(const QString& text, const QByteArray& passedOver = {});
    void ClearStatus();

    // A report's text with plain line breaks.
    static QString ReportText(const QString& description, const QString& location, int line, const QString& cause);

private:
    struct Report {
        QString description;
        QString location;
        int line;
        QString cause;
    };
    void Status(const QString& statusText);  // with the mutex held
    void Print(const QStringList& reports);  // with the mutex held
    void PrintJson(const QJsonObject& line); // with the mutex held

    std::mutex mutex_;
    const QStringList documents_;
    const bool json_;
    int done_ = 0;
    const bool terminal_;
    bool drawn_ = false;
    const CancelToken& interrupted_;
    QHash<int, QList<Report>> pending_;  // reports of documents under way
};

// A path for JSON: as text when it is valid UTF-8, otherwise its bytes in base64.
void PutPath(QJsonObject& line, const QByteArray& path);

}  // namespace quillivar::cli

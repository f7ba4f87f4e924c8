#pragma once
// The batch run: a list of documents, each turned into page images by the page export, with
// one engine or several side by side. The window and the command line both run it.

#include "canceltoken.h"
#include "engine.h"
#include "pageexport.h"

#include <QString>
#include <QStringList>

namespace quillivar {

struct RunChoices {
    ExportChoices pages;
    int jobs = 1;  // engines converting side by side
};

// Where the run reports, document by document. With more than one job the calls come from
// several threads at once; `index` is the document's place in the list.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void DocumentStarted(int index, const QString& documentPath) = 0;
    virtual void ShowStatus(int index, const QString& text) = 0;
    virtual void ShowErrorReport(int index, const QString& description, const QString& location, int line, const QString& cause) = 0;
    virtual void DocumentDone(int index, const ExportResult& result) = 0;
};

struct RunResult {
    int documentsDone = 0;  // converted, or tried
    int reports = 0;
    QStringList pageFiles;  // the page files the run leaves, each once, in the order written
    EngineStats engines;
};

// Documents whose page files would share names, in groups of two or more, each in list order:
// they are converted one after another, the later replacing the earlier's pages.
QList<QStringList> DocumentsSharingPageNames(const QStringList& documents, const ExportChoices& choices);

// Converts `documents` in order with one engine, or with `choices.jobs` engines side by side.
// Documents whose pages share names stay on one engine, in list order, so that the page files
// are those one engine leaves. Takes no new document once `cancel` is set.
RunResult RunBatch(const QStringList& documents, const RunChoices& choices, const EngineLauncher& launcher,
                   RunObserver& observer, const CancelToken& cancel);

// Converts `documents` in order on an engine session the caller keeps and ends, as a service
// keeps its engines warm from one request to the next. `result.engines` is left to the session.
RunResult RunBatch(const QStringList& documents, const ExportChoices& choices, EngineSession& engines,
                   RunObserver& observer, const CancelToken& cancel);

}  // namespace quillivar

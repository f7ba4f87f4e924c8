#include "batchrun.h"

#include "zipfile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quillivar {

namespace {

// Indexes into the document list: the documents of one group go to one engine, in order.
using Group = std::vector<int>;

std::vector<Group> GroupsByPageNames(const QStringList& documents, const ExportChoices& choices) {
    std::vector<Group> groups;
    QHash<QString, std::size_t> byStem;
    for (int i = 0; i < documents.size(); ++i) {
        const QString stem = PageFileStem(documents[i], choices);
        const auto found = byStem.constFind(stem);
        if (found == byStem.constEnd()) {
            byStem.insert(stem, groups.size());
            groups.push_back({i});
        } else {
            groups[*found].push_back(i);
        }
    }
    return groups;
}

// How much text a document holds, roughly, to hand out the longest first: a package's text
// part unpacked (a 30-page .docx can be smaller on disk than a 1-page .odt with its styles),
// any other file's size.
qint64 TextBytes(const QString& document) {
    const qint64 onDisk = QFileInfo(document).size();
    const int fd = open(QFile::encodeName(document).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return onDisk;
    const std::optional<engine::ZipDirectory> package = engine::ReadZipDirectory(fd, onDisk);
    close(fd);
    if (!package) return onDisk;
    for (const char* text : {"word/document.xml", "content.xml"}) {
        if (const engine::ZipMember* member = package->Find(text)) return static_cast<qint64>(member->size);
    }
    return onDisk;
}

// One document's reports and status, passed on with its index.
class DocumentObserver : public ExportObserver {
public:
    DocumentObserver(RunObserver& run, int index) : run_(run), index_(index) {}
    void ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) override {
        ++reports;
        run_.ShowErrorReport(index_, description, location, line, cause);
    }
    void ShowStatus(const QString& text) override { run_.ShowStatus(index_, text); }
    int reports = 0;

private:
    RunObserver& run_;
    int index_;
};

// The page files left so far: a later document's page replaces an earlier one of the same
// name, and a page that failed leaves no file (its older namesake was deleted first).
class PageFiles {
public:
    void Add(const ExportResult& result) {
        const std::lock_guard lock(mutex_);
        for (const QString& file : result.pagesFailed) {
            if (present_.remove(file)) order_.removeOne(file);
        }
        for (const QString& file : result.pagesWritten) {
            if (!present_.contains(file)) {
                present_.insert(file);
                order_ << file;
            }
        }
    }
    QStringList Files() const { return order_; }

private:
    std::mutex mutex_;
    QSet<QString> present_;
    QStringList order_;
};

void ConvertInOrder(const QStringList& documents, const Group& group, bool lastGroup, const ExportChoices& choices,
                    EngineSession& engines, RunObserver& observer, const CancelToken& cancel, PageFiles& pageFiles,
                    int& done, int& reports) {
    for (const int index : group) {
        if (cancel.IsCancelled()) break;
        if (lastGroup && index == group.back()) engines.EndAfterNextDocument();
        observer.DocumentStarted(index, documents[index]);
        DocumentObserver reporter(observer, index);
        const ExportResult exported = SaveDocAsJPG(documents[index], choices, engines, reporter);
        pageFiles.Add(exported);
        ++done;
        reports += reporter.reports;
        observer.DocumentDone(index, exported);
    }
}

}  // namespace

QList<QStringList> DocumentsSharingPageNames(const QStringList& documents, const ExportChoices& choices) {
    QList<QStringList> shared;
    for (const Group& group : GroupsByPageNames(documents, choices)) {
        if (group.size() < 2) continue;
        QStringList names;
        for (const int index : group) names << documents[index];
        shared << names;
    }
    return shared;
}

RunResult RunBatch(const QStringList& documents, const RunChoices& choices, const EngineLauncher& launcher,
                   RunObserver& observer, const CancelToken& cancel) {
    std::vector<Group> groups = GroupsByPageNames(documents, choices.pages);
    const int jobs = std::max(1, std::min<int>(choices.jobs, static_cast<int>(groups.size())));
    if (jobs > 1) {
        // Longest first, so that no engine is left with a long document at the end.
        std::vector<std::pair<qint64, Group>> byLength;
        for (Group& group : groups) {
            qint64 total = 0;
            for (const int index : group) total += TextBytes(documents[index]);
            byLength.emplace_back(total, std::move(group));
        }
        std::stable_sort(byLength.begin(), byLength.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (std::size_t i = 0; i < groups.size(); ++i) groups[i] = std::move(byLength[i].second);
    } else {
        groups = {Group(static_cast<std::size_t>(documents.size()))};
        std::iota(groups[0].begin(), groups[0].end(), 0);
    }

    std::atomic<std::size_t> nextGroup{0};
    std::mutex resultMutex;
    RunResult result;
    PageFiles pageFiles;
    const auto work = [&] {
        EngineSession engines(launcher, cancel);
        int done = 0;
        int reports = 0;
        for (std::size_t group = nextGroup++; group < groups.size() && !cancel.IsCancelled(); group = nextGroup++) {
            const bool lastGroup = nextGroup >= groups.size();  // none is left for any worker
            ConvertInOrder(documents, groups[group], lastGroup, choices.pages, engines, observer, cancel, pageFiles,
                           done, reports);
        }
        engines.End();
        const std::lock_guard lock(resultMutex);
        result.documentsDone += done;
        result.reports += reports;
        result.engines.Add(engines.Stats());
    };

    if (jobs == 1) {
        work();
    } else {
        // An engine dies with the thread that started it, so each worker lives until its
        // engine is ended.
        std::vector<std::thread> workers;
        for (int i = 0; i < jobs; ++i) workers.emplace_back(work);
        for (std::thread& worker : workers) worker.join();
    }
    result.pageFiles = pageFiles.Files();
    return result;
}

RunResult RunBatch(const QStringList& documents, const ExportChoices& choices, EngineSession& engines,
                   RunObserver& observer, const CancelToken& cancel) {
    Group all(static_cast<std::size_t>(documents.size()));
    std::iota(all.begin(), all.end(), 0);
    RunResult result;
    PageFiles pageFiles;
    ConvertInOrder(documents, all, false, choices, engines, observer, cancel, pageFiles, result.documentsDone,
                   result.reports);
    result.pageFiles = pageFiles.Files();
    return result;
}

}  // namespace quillivar

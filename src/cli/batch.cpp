#include "batch.h"

#include "errortrap.h"
#include "pageexport.h"
#include "paths.h"
#include "texts.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace quillivar::cli {

namespace {

class BatchHost : public ExportHost {
public:
    BatchHost(const BatchChoices& choices, Console& console) : choices_(choices), console_(console) {}
    bool Option1() const override { return !choices_.beside; }
    bool Option2() const override { return choices_.beside; }
    QString Text1() const override { return choices_.outputFolder; }
    int Slider1() const override { return choices_.quality; }
    int Resolution() const override { return choices_.dotsPerInch; }
    void SetBusyPointer() override {}
    void SetStatusText(const QString& text) override {
        ++pages;
        console_.Status(text);
    }
    int pages = 0;

private:
    const BatchChoices& choices_;
    Console& console_;
};

// Documents whose pages share a name stay in one group, in their order; the largest groups
// go first, so that no engine is left with a long document at the end.
std::vector<QStringList> Groups(const QStringList& documents, const BatchHost& host) {
    std::vector<QStringList> groups;
    QHash<QString, std::size_t> byStem;
    for (const QString& document : documents) {
        const QString stem = PageFileStem(document, host);
        const auto found = byStem.constFind(stem);
        if (found == byStem.constEnd()) {
            byStem.insert(stem, groups.size());
            groups.push_back({document});
        } else {
            groups[*found] << document;
        }
    }
    const auto size = [](const QStringList& group) {
        qint64 bytes = 0;
        for (const QString& document : group) bytes += QFileInfo(document).size();
        return bytes;
    };
    std::stable_sort(groups.begin(), groups.end(), [&](const QStringList& a, const QStringList& b) { return size(a) > size(b); });
    return groups;
}

}  // namespace

void DocumentReporter::ShowErrorReport(const QString& description, const QString& location, int line) {
    if (line == 182) ++pagesNotSaved;
    QString text = ComposeErrorReport(description, location, line);
    texts << text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

Console::Console(int documents) : documents_(documents), terminal_(isatty(STDERR_FILENO)) {}

void Console::Status(const QString& text) {
    const std::lock_guard lock(mutex_);
    if (!terminal_) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    constexpr int kWidth = 20;
    const int filled = documents_ > 0 ? kWidth * done_ / documents_ : 0;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
    const QString line = QStringLiteral("[%1] %2/%3 %4").arg(bar).arg(done_).arg(documents_).arg(text);
    std::fprintf(stderr, "\r\033[K%s", qPrintable(line.left(120)));
    drawn_ = true;
}

void Console::DocumentDone(const QStringList& reports) {
    const std::lock_guard lock(mutex_);
    ++done_;
    PrintReports(reports);
}

void Console::Reports(const QStringList& reports) {
    const std::lock_guard lock(mutex_);
    PrintReports(reports);
}

void Console::PrintReports(const QStringList& reports) {
    if (reports.isEmpty()) return;
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
    for (const QString& report : reports) {
        std::fprintf(stderr, "%s:\n%s\n\n", qPrintable(texts::report::kTitle), qPrintable(report));
    }
}

void Console::Clear() {
    const std::lock_guard lock(mutex_);
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

BatchResult RunBatch(const QStringList& documents, const BatchChoices& choices, const EngineOptions& engineOptions,
                     Console& console, const std::atomic<int>& stop) {
    const std::vector<QStringList> groups = Groups(documents, BatchHost(choices, console));
    std::atomic<std::size_t> next{0};
    std::mutex resultMutex;
    BatchResult result;

    const auto work = [&] {
        EngineSession engines{EngineLauncher(engineOptions)};
        BatchHost host(choices, console);
        int converted = 0;
        int reports = 0;
        int pagesNotSaved = 0;
        for (std::size_t group = next++; group < groups.size() && !stop; group = next++) {
            for (const QString& document : groups[group]) {
                if (stop) break;
                DocumentReporter reporter;
                console.Status(texts::conversion::kProcessing + GetFileName(document));
                SaveDocAsJPG(document, host, engines, reporter);
                ++converted;
                reports += static_cast<int>(reporter.texts.size());
                pagesNotSaved += reporter.pagesNotSaved;
                console.DocumentDone(stop ? QStringList() : reporter.texts);
            }
        }
        engines.End();
        const std::lock_guard lock(resultMutex);
        result.documents += converted;
        result.pages += host.pages - pagesNotSaved;
        result.reports += reports;
        result.engines.Add(engines.Stats());
    };

    // Each engine dies with the thread that started it, so every worker lives until its
    // engine is ended.
    std::vector<std::thread> workers;
    const int jobs = std::max(1, std::min<int>(choices.jobs, static_cast<int>(groups.size())));
    for (int i = 0; i < jobs; ++i) workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
    console.Clear();
    return result;
}

}  // namespace quillivar::cli

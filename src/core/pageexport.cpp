#include "pageexport.h"

#include "engine.h"
#include "paths.h"
#include "texts.h"

#include <algorithm>
#include <climits>
#include <optional>

namespace quillivar {

namespace {

QString BaseNameOf(const QString& documentPath) {
    const qsizetype dot = documentPath.lastIndexOf(QLatin1Char('.'));
    return GetFileName(dot < 0 ? QString() : documentPath.left(dot));
}

}  // namespace

std::optional<PageRange> PageRange::Parse(const QString& text) {
    PageRange range;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const qsizetype dash = part.indexOf(QLatin1Char('-'));
        const QString first = dash < 0 ? part : part.left(dash);
        const QString last = dash < 0 ? part : part.mid(dash + 1);
        if (first.isEmpty() && last.isEmpty()) return std::nullopt;
        bool firstOk = true;
        bool lastOk = true;
        const int from = first.isEmpty() ? 1 : first.toInt(&firstOk);
        const int to = last.isEmpty() ? INT_MAX : last.toInt(&lastOk);
        const bool digitsOnly = !part.contains(QLatin1Char('+')) && !part.contains(QLatin1Char(' '));
        if (!firstOk || !lastOk || !digitsOnly || from < 1 || to < from) return std::nullopt;
        range.spans_.emplace_back(from, to);
    }
    return range;
}

bool PageRange::Contains(int page) const {
    if (spans_.empty()) return true;
    return std::any_of(spans_.begin(), spans_.end(), [page](const auto& span) { return page >= span.first && page <= span.second; });
}

int PageRange::LastOfRun(int page, int pageCount) const {
    int last = page;
    if (spans_.empty()) return std::max(page, pageCount);
    for (bool grew = true; grew;) {  // spans may overlap or meet
        grew = false;
        for (const auto& [first, end] : spans_) {
            if (first <= last + 1 && end > last && last < pageCount) {
                last = std::min(end, pageCount);
                grew = true;
            }
        }
    }
    return last;
}

int PageRange::Last() const {
    int last = spans_.empty() ? INT_MAX : 0;
    for (const auto& span : spans_) last = std::max(last, span.second);
    return last;
}

QString OutcomeOf(const ExportResult& result, bool reported) {
    if (result.opened && result.pagesFailed.isEmpty() && !reported) return QStringLiteral("converted");
    return result.pagesWritten.isEmpty() ? QStringLiteral("failed") : QStringLiteral("partial");
}

QString PageFileStem(const QString& documentPath, const ExportChoices& choices) {
    const QString baseName = BaseNameOf(documentPath);
    switch (choices.place) {
        case OutputPlace::ChosenFolder: return CollapseBackslashes(choices.outputFolder + kNativeSeparator + baseName);
        case OutputPlace::DocumentFolder:
            return CollapseBackslashes(GetFolderPart(documentPath) + kNativeSeparator + baseName);
        case OutputPlace::CurrentFolder: break;
    }
    return baseName;
}

ExportResult SaveDocAsJPG(const QString& documentPath, const ExportChoices& choices, EngineSession& engines,
                          ExportObserver& observer) {
    ErrorTrap trap(observer, locations::kSaveDocAsJPG);
    ExportResult result;
    QString baseName;
    QString outputStem;
    Engine* engine = nullptr;
    int pageNumber = 0;
    bool done = false;
    const auto theEngine = [&]() -> Engine& {
        if (!engine) throw Failure(texts::conversion::kEngineNotRunning);
        return *engine;
    };
    const QString extension = QLatin1Char('.') + QString::fromStdString(FormatName(choices.format));
    const auto pageFile = [&] { return outputStem + QStringLiteral("_%1").arg(pageNumber) + extension; };
    // The page after this one that the range takes, if the document has it: drawn meanwhile.
    const auto nextPage = [&] {
        for (int page = pageNumber + 1; page <= std::min(result.pageCount, choices.pageRange.Last()); ++page) {
            if (choices.pageRange.Contains(page)) return page;
        }
        return 0;
    };

    // Output name
    trap.step(114, [&] { baseName = BaseNameOf(documentPath); });
    if (trap.test(116, [&] { return choices.place == OutputPlace::ChosenFolder; })) {
        trap.step(118, [&] { outputStem = CollapseBackslashes(choices.outputFolder + kNativeSeparator + baseName); });
    } else if (trap.test(120, [&] { return choices.place == OutputPlace::DocumentFolder; })) {
        trap.step(122, [&] { outputStem = CollapseBackslashes(GetFolderPart(documentPath) + kNativeSeparator + baseName); });
    } else {
        outputStem = baseName;
    }

    // Opening
    trap.step(126, [&] { engine = &engines.Take(); });
    trap.step(128, [&] {
        const int lastPage = choices.pageRange.Last();
        result.fontsMissing = theEngine().Open(documentPath, lastPage == INT_MAX ? 0 : lastPage);
        result.opened = true;
    });
    trap.step(130, [&] { theEngine().LayOut(); });
    trap.step(132, [&] {
        const Engine::PageCount count = theEngine().CountPages();
        result.pageCount = count.pages;
        result.pageCountWhole = count.whole;
    });

    // Cycles: each writes one page, drawn from the document as laid out. An engine lost
    // mid-document took the document with it.
    while (!trap.test(140, [&] { return done || (engine && engine->LostDocument()); })) {
        trap.step(144, [&] { ++pageNumber; });
        if (trap.test(156, [&] { return pageNumber >= result.pageCount || pageNumber >= choices.pageRange.Last(); })) {
            trap.step(158, [&] { done = true; });
        }
        if (!choices.pageRange.Contains(pageNumber)) continue;  // not asked for: not even drawn
        trap.step(176, [&] { DeleteFileQuietly(pageFile()); });
        bool saved = false;
        Engine::DrawnPage drawn;
        trap.step(178, [&] {
            drawn = theEngine().RenderPage(pageNumber, {choices.dotsPerInch, choices.maxWidth, choices.maxHeight},
                                   choices.pageRange.LastOfRun(pageNumber, result.pageCount));
        });
        trap.step(182, [&] {
            theEngine().SavePage(pageFile(), choices.format, choices.quality, done ? 0 : nextPage());
            saved = true;
        });
        if (saved) {
            result.pagesWritten << pageFile();
            result.pageSizes << drawn;
        } else {
            result.pagesFailed << pageFile();
        }
        trap.step(188, [&] {
            observer.ShowStatus(texts::conversion::PageStatus(GetFileName(documentPath), pageNumber,
                                                                 result.pageCountWhole ? std::optional(result.pageCount) : std::nullopt));
        });
    }

    // Closing, without saving, as every close is; or by the engine's end, when it ends next.
    trap.step(194, [&] {
        if (!engines.EndsAfterThisDocument()) theEngine().Close();
    });
    trap.step(196, [&] { engines.HandBack(theEngine()); });
    return result;
}

}  // namespace quillivar

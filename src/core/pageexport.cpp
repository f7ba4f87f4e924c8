#include "pageexport.h"

#include "engine.h"
#include "paths.h"
#include "texts.h"

namespace quillivar {

namespace {

QString BaseNameOf(const QString& documentPath) {
    const qsizetype dot = documentPath.lastIndexOf(QLatin1Char('.'));
    return GetFileName(dot < 0 ? QString() : documentPath.left(dot));
}

}  // namespace

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
    constexpr int kPageStep = 1;  // pages taken per cycle
    Engine* engine = nullptr;
    int pagesDone = 0;
    int pageNumber = 0;
    bool done = false;
    const auto theEngine = [&]() -> Engine& {
        if (!engine) throw Failure(texts::conversion::kEngineNotRunning);
        return *engine;
    };
    const auto pageFile = [&] { return outputStem + QStringLiteral("_%1.jpg").arg(pageNumber); };

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
        theEngine().Open(documentPath);
        result.opened = true;
    });
    trap.step(130, [&] { theEngine().LayOut(); });
    trap.step(132, [&] { result.pageCount = theEngine().PageCount(); });

    // Cycles: each writes one page, drawn from the document as laid out. An engine lost
    // mid-document took the document with it.
    while (!trap.test(140, [&] { return done || (engine && engine->LostDocument()); })) {
        trap.step(144, [&] { ++pageNumber; });
        if (trap.test(156, [&] { return kPageStep >= result.pageCount - pagesDone; })) {
            trap.step(158, [&] { done = true; });
        }
        trap.step(176, [&] { DeleteFileQuietly(pageFile()); });
        bool saved = false;
        trap.step(178, [&] { theEngine().RenderPage(pageNumber, choices.dotsPerInch); });
        trap.step(182, [&] {
            theEngine().SavePage(pageFile(), choices.quality);
            saved = true;
        });
        (saved ? result.pagesWritten : result.pagesFailed) << pageFile();
        trap.step(184, [&] { pagesDone += kPageStep; });
        trap.step(188, [&] {
            observer.ShowStatus(texts::conversion::PageStatus(GetFileName(documentPath), pagesDone, result.pageCount));
        });
    }

    // Closing, without saving, as every close is.
    trap.step(194, [&] { theEngine().Close(); });
    trap.step(196, [&] { engines.HandBack(theEngine()); });
    return result;
}

}  // namespace quillivar

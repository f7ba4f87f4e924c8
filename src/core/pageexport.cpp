#include "pageexport.h"

#include "engine.h"
#include "errortrap.h"
#include "eventpump.h"
#include "paths.h"
#include "texts.h"

#include <QStringList>

namespace quillivar {

QString PageFileStem(const QString& documentPath, const ExportHost& host) {
    const qsizetype dot = documentPath.lastIndexOf(QLatin1Char('.'));
    const QString baseName = GetFileName(dot < 0 ? QString() : documentPath.left(dot));
    if (host.Option1()) return CollapseBackslashes(host.Text1() + kNativeSeparator + baseName);
    if (host.Option2()) return CollapseBackslashes(GetFolderPart(documentPath) + kNativeSeparator + baseName);
    return baseName;
}

void SaveDocAsJPG(const QString& documentPath, ExportHost& host, EngineSession& engines,
                  ErrorReporter& reporter) {
    ErrorTrap trap(reporter, locations::kSaveDocAsJPG);
    QStringList pieces;
    QString baseName;
    QString outputStem;
    int pageStep = 1;
    Engine* engine = nullptr;
    int pageCount = 0;
    int pagesDone = 0;
    int pageNumber = 0;
    int pageToTake = 0;
    bool done = false;
    const auto theEngine = [&]() -> Engine& {
        if (!engine) throw Failure(texts::conversion::kEngineNotRunning);
        return *engine;
    };
    const auto pageFile = [&] { return outputStem + QStringLiteral("_%1.jpg").arg(pageNumber); };

    // Output name
    trap.step(100, [&] { pieces = documentPath.split(QLatin1Char('.')); });
    trap.step(102, [&] { baseName.clear(); });
    trap.step(104, [&] { for (qsizetype i = 0; i + 1 < pieces.size(); ++i) baseName += pieces[i] + QLatin1Char('.'); });
    if (trap.test(110, [&] { return !baseName.isEmpty(); })) trap.step(112, [&] { baseName.chop(1); });
    trap.step(114, [&] { baseName = GetFileName(baseName); });
    if (trap.test(116, [&] { return host.Option1(); })) {
        trap.step(118, [&] { outputStem = CollapseBackslashes(host.Text1() + kNativeSeparator + baseName); });
    } else if (trap.test(120, [&] { return host.Option2(); })) {
        trap.step(122, [&] { outputStem = CollapseBackslashes(GetFolderPart(documentPath) + kNativeSeparator + baseName); });
    }

    // Opening
    trap.step(124, [&] { pageStep = 1; });
    trap.step(126, [&] { engine = &engines.Take(); });
    trap.step(128, [&] { theEngine().Open(documentPath); });
    trap.step(130, [&] { theEngine().LayOut(); });
    trap.step(132, [&] { pageCount = theEngine().PageCount(); });
    trap.step(134, [&] { done = false; });
    trap.step(136, [] {});  // no page-fit zoom to save without a window
    trap.step(138, [] {});  // nor to set

    // Cycles: each writes one page. An engine lost mid-document took the document with it.
    while (!trap.test(140, [&] { return done || (engine && engine->LostDocument()); })) {
        trap.step(142, [&] { host.SetBusyPointer(); });
        trap.step(144, [&] { ++pageNumber; });
        // 146 to 154: indents stay as the document has them; pages are drawn as laid out.
        if (trap.test(156, [&] { return pageStep >= pageCount - pagesDone; })) {
            trap.step(158, [&] { done = true; });
            trap.step(160, [&] { pageToTake = pageNumber; });
        } else {
            trap.step(162, [&] { pageToTake = pageNumber; });
            for (int move = 0; move < 100; ++move) {  // 164 to 170
                trap.step(166, [] { YieldToWindowSystem(); });
                trap.step(168, [] {});
            }
        }
        // 172 to 174: nothing is cut; the page stays in the document and is drawn from there.
        trap.step(176, [&] { DeleteFileQuietly(pageFile()); });
        trap.step(178, [&] { theEngine().RenderPage(pageToTake, host.Resolution()); });
        // 180: the engine holds the drawn page; there is no picture box to fill.
        trap.step(182, [&] { theEngine().SavePage(pageFile(), host.Slider1()); });
        trap.step(184, [&] { pagesDone += pageStep; });
        trap.step(186, [] { YieldToWindowSystem(); });
        trap.step(188, [&] { host.SetStatusText(texts::conversion::PageStatus(GetFileName(documentPath), pagesDone, pageCount)); });
        trap.step(190, [] { YieldToWindowSystem(); });
    }

    // Closing
    trap.step(192, [] {});  // no page-fit zoom to restore
    trap.step(194, [&] { theEngine().Close(); });
    trap.step(196, [&] { engines.HandBack(theEngine()); });
}

}  // namespace quillivar

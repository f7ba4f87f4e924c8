// Engines forked from the parent against engines started cold, with this build's engine:
//   engine-bench DOCUMENT [ROUNDS] [ENGINES]
// ROUNDS times, the two kinds in turn: a fresh engine until it is ready, and until the first
// page of DOCUMENT is written. Then ENGINES engines of each kind alive at once, each with that
// page drawn, and their proportional memory (Pss of /proc/PID/smaps_rollup): in all, the
// parent's included, and an engine's own.

#include "engine.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace quillivar;

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long PssKib(pid_t process) {
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(process));
    if (!rollup.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : rollup.readAll().split('\n')) {
        if (line.startsWith("Pss:")) return line.mid(4).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

pid_t ParentOf(pid_t process) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toInt();
}

void DrawFirstPage(Engine& engine, const QString& document, const QString& page) {
    engine.Open(document, 1);
    engine.RenderPage(1, {}, 1);
    engine.SavePage(page, ImageFormat::Jpeg, 75, 0);
}

struct Timings {
    std::vector<double> ready, firstPage;
    static double Median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
    void Print(const char* kind) const {
        std::printf("%-8s ready %7.0f ms (%4.0f to %4.0f)   first page %7.0f ms (%4.0f to %4.0f)\n", kind, Median(ready),
                    *std::min_element(ready.begin(), ready.end()), *std::max_element(ready.begin(), ready.end()),
                    Median(firstPage), *std::min_element(firstPage.begin(), firstPage.end()),
                    *std::max_element(firstPage.begin(), firstPage.end()));
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: engine-bench DOCUMENT [ROUNDS] [ENGINES]\n");
        return 2;
    }
    const QString document = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();  // engines take whole paths
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
    const int count = argc > 3 ? std::atoi(argv[3]) : 4;
    QTemporaryDir output;
    const QString page = output.path() + QStringLiteral("/page.jpg");
    const CancelToken never;

    EngineOptions coldOptions = DefaultEngineOptions();
    coldOptions.forkEngines = false;
    const EngineLauncher forked(DefaultEngineOptions()), cold(coldOptions);
    const auto started = Clock::now();
    forked.Launch(never);
    std::printf("parent started and first engine forked in %.0f ms\n", MillisecondsSince(started));

    Timings timings[2];
    for (int round = 0; round < rounds; ++round) {
        for (int kind = 0; kind < 2; ++kind) {
            const auto start = Clock::now();
            const std::unique_ptr<Engine> engine = (kind == 0 ? forked : cold).Launch(never);
            timings[kind].ready.push_back(MillisecondsSince(start));
            DrawFirstPage(*engine, document, page);
            timings[kind].firstPage.push_back(MillisecondsSince(start));
        }
    }
    timings[0].Print("forked");
    timings[1].Print("cold");

    for (int kind = 0; kind < 2; ++kind) {
        std::vector<std::unique_ptr<Engine>> engines;
        long pss = 0;
        for (int i = 0; i < count; ++i) {
            engines.push_back((kind == 0 ? forked : cold).Launch(never));
            DrawFirstPage(*engines.back(), document, page);
        }
        // Read once all are alive: a page shared by more processes counts less in each.
        for (const auto& engine : engines) pss += PssKib(engine->ProcessId());
        const long parent = kind == 0 ? PssKib(ParentOf(engines.front()->ProcessId())) : 0;
        std::printf("%-8s %d engines: %ld MiB proportional memory in all, %ld MiB an engine", kind == 0 ? "forked" : "cold",
                    count, (pss + parent) / 1024, pss / 1024 / count);
        if (kind == 0) std::printf(" and %ld MiB the parent", parent / 1024);
        std::printf("\n");
    }
    return 0;
}

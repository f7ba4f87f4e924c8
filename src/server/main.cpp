// quillivar-server: the page export as an HTTP service.

#include "commandline.h"
#include "engine.h"
#include "service.h"
#include "servertexts.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace quillivar;
using namespace quillivar::server;

int signalPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

struct Options {
    ServiceOptions service;
    EngineOptions engines;
};

Options ParseArguments(const QStringList& arguments) {
    CommandLine line(QStringLiteral("quillivar-server"), texts::kDescription, QString(), texts::kAfterOptions);
    const QCommandLineParser& parser = line.parser;
    const QCommandLineOption listen(QStringLiteral("listen"), texts::kListenHelp, QStringLiteral("ADDR:PORT"));
    const QCommandLineOption queue(QStringLiteral("queue"), texts::kQueueHelp, QStringLiteral("N"));
    const QCommandLineOption maxUpload(QStringLiteral("max-upload"), texts::kMaxUploadHelp, QStringLiteral("MB"));
    const QCommandLineOption tokenFile(QStringLiteral("token-file"), texts::kTokenFileHelp, QStringLiteral("F"));
    const QCommandLineOption grace(QStringLiteral("grace"), texts::kGraceHelp, QStringLiteral("S"));
    line.parser.addOptions({listen, line.jobs, queue, maxUpload, tokenFile, grace, line.timeLimit, line.memoryLimit,
                            line.recycleAfter, line.help, line.version});
    line.Parse(arguments);
    if (!parser.positionalArguments().isEmpty()) {
        line.UsageError(texts::kUnexpectedArgument.arg(parser.positionalArguments().constFirst()));
    }

    Options options;
    ServiceOptions& service = options.service;
    if (parser.isSet(listen)) {
        const QString text = parser.value(listen);
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        bool portOk = false;
        const int port = colon < 0 ? -1 : text.mid(colon + 1).toInt(&portOk);
        QString host = colon < 0 ? QString() : text.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
        if (!portOk || port < 0 || port > 65535 || host.isEmpty()) line.UsageError(texts::kBadListen.arg(text));
        service.host = host;
        service.port = port;
    }
    options.engines = line.Engines(service.engines);
    service.queue = line.Number(queue, 8, 0, 10000);
    service.maxUploadBytes = static_cast<qint64>(line.Number(maxUpload, 100, 1, 1048576)) * 1024 * 1024;
    service.grace = std::chrono::seconds(line.Number(grace, 30, 0, 86400));
    if (parser.isSet(tokenFile)) {
        QFile file(parser.value(tokenFile));
        service.token = file.open(QIODevice::ReadOnly) ? file.readLine().trimmed() : QByteArray();
        if (service.token.isEmpty()) line.UsageError(texts::kBadTokenFile.arg(parser.value(tokenFile)));
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const Options options = ParseArguments(QCoreApplication::arguments());

    // From here on a stop signal is kept in the pipe, also one that comes while the engines
    // start: the stopper below acts on it once the service is up.
    if (pipe2(signalPipe, O_CLOEXEC) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    Service service(options.service, EngineLauncher(options.engines));
    const int port = service.Bind();
    if (port < 0) {
        std::fprintf(stderr, "quillivar-server: %s\n",
                     qPrintable(texts::kCannotListen.arg(options.service.host).arg(options.service.port)));
        return 1;
    }
    std::fprintf(stderr, "quillivar-server: %s\n",
                 qPrintable(texts::kListening.arg(options.service.host).arg(port).arg(options.service.engines)));

    // The handler only wakes this thread, which stops the service as gently as it may.
    std::thread stopper([&service] {
        char signal = 0;
        while (read(signalPipe[0], &signal, 1) < 0 && errno == EINTR) {
        }
        if (signal != 0) service.Drain();
    });
    service.Serve();
    const char nothing = 0;  // wakes the stopper when the service ended without a signal
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &nothing, 1);
    stopper.join();
    std::fprintf(stderr, "quillivar-server: %s\n", qPrintable(texts::kStopped));
    return 0;
}

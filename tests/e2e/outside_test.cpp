// Documents that reach outside: pictures linked from a web server and from elsewhere on the
// disk, and a macro on the open event. Nothing may run and nothing may be fetched.

#include "engine.h"
#include "hostiledocuments.h"
#include "pageexport.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillivar;
using namespace quillivar::test;

namespace {

// The share of a page image's pixels that are the linked picture's red.
double RedShare(const DecodedImage& image) {
    long red = 0;
    for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        if (image.rgb[i] > 180 && image.rgb[i + 1] < 80 && image.rgb[i + 2] < 80) ++red;
    }
    return image.rgb.empty() ? 0 : static_cast<double>(red) / (image.rgb.size() / 3);
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// The body of what a plain HTTP client gets for `path` from the loopback server.
QByteArray HttpGet(int port, const QByteArray& path) {
    const int connection = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray answer;
    const QByteArray request = "GET " + path + " HTTP/1.0\r\n\r\n";
    if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        write(connection, request.constData(), static_cast<size_t>(request.size())) == request.size()) {
        char buffer[4096];
        for (ssize_t got; (got = read(connection, buffer, sizeof buffer)) > 0;) answer.append(buffer, got);
    }
    close(connection);
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

}  // namespace

TEST(Outside, NothingRunsAndNothingIsFetched) {
    QTemporaryDir folder, elsewhere, output;
    const QString picture = elsewhere.path() + "/red.png";
    MakeRedPicture(picture);
    const QByteArray pictureBytes = Contents(picture);
    LoopbackServer server(pictureBytes);
    const QString web = QString("http://127.0.0.1:%1/red.png").arg(server.port());
    const QString local = "file://" + picture;
    MakeLinkedPictureOdt(folder.path() + "/WebLink.odt", web);
    MakeLinkedPictureDocx(folder.path() + "/WebLinked.docx", web);
    MakeLinkedPictureOdt(folder.path() + "/FileLink.odt", local);
    MakeLinkedPictureDocx(folder.path() + "/FileLinked.docx", local);
    const QString marker = elsewhere.path() + "/macro-ran";
    MakeMacroOdt(folder.path() + "/Macro.odt", marker);
    MakeEpsPictureOdt(folder.path() + "/Eps.odt");
    // Programs LibreOffice would start from the path: for an EPS picture, and to check
    // signatures. Each notes that it ran.
    const QString programs = elsewhere.path() + "/bin";
    const QString programsRan = elsewhere.path() + "/programs-ran";
    QDir().mkpath(programs);
    for (const char* name : {"gs", "convert", "pstoedit", "gpgconf", "gpg", "gpgsm"}) {
        QFile program(programs + "/" + name);
        program.open(QIODevice::WriteOnly);
        program.write("#!/bin/sh\necho \"$0\" >>'" + programsRan.toUtf8() + "'\nexit 1\n");
        program.setPermissions(program.permissions() | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", programs.toUtf8() + ":" + path);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });

    // The fixture is sound: each document names its picture, and who follows the web link gets
    // the red picture.
    for (const char* name : {"WebLink.odt", "WebLinked.docx"}) EXPECT_TRUE(Contents(folder.path() + "/" + name).contains(web.toUtf8())) << name;
    for (const char* name : {"FileLink.odt", "FileLinked.docx"}) EXPECT_TRUE(Contents(folder.path() + "/" + name).contains(local.toUtf8())) << name;
    EXPECT_EQ(HttpGet(server.port(), "/red.png"), pictureBytes);
    // And soffice with its own defaults starts programs from the path; up to 25.2 it also
    // follows the links (26.8's follows none).
    QTemporaryDir control;
    QProcess soffice;
    soffice.start("soffice", {"--headless", "--norestore", "-env:UserInstallation=file://" + control.path() + "/profile",
                              "--convert-to", "pdf", "--outdir", control.path(), folder.path() + "/WebLink.odt",
                              folder.path() + "/FileLink.odt", folder.path() + "/Eps.odt"});
    ASSERT_TRUE(soffice.waitForFinished(180000));
    EXPECT_TRUE(QFile::exists(programsRan));
    QFile::remove(programsRan);
    EngineSession engines(EngineLauncher(DefaultEngineOptions()), NeverCancelled());
    if (engines.Take().LibreOfficeVersion().section('.', 0, 0).toInt() < 26) {
        EXPECT_GT(server.connections(), 1);
        QProcess::execute("pdftoppm", {"-r", "48", "-png", "-singlefile", control.path() + "/FileLink.pdf", control.path() + "/file-link"});
        EXPECT_GT(RedShare(DecodeImage(control.path() + "/file-link.png")), 0.02);
    }

    const int before = server.connections();
    ExportChoices choices;
    choices.outputFolder = output.path();
    for (const char* name : {"WebLink.odt", "WebLinked.docx", "FileLink.odt", "FileLinked.docx", "Macro.odt", "Eps.odt"}) {
        RecordingObserver observer;
        SaveDocAsJPG(folder.path() + "/" + name, choices, engines, observer);
        EXPECT_TRUE(observer.reports.empty()) << name;
    }
    QThread::msleep(200);
    EXPECT_EQ(server.connections(), before);
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_FALSE(QFile::exists(programsRan)) << Contents(programsRan).toStdString();
    for (const char* page : {"WebLink_1.jpg", "WebLinked_1.jpg", "FileLink_1.jpg", "FileLinked_1.jpg"}) {
        const DecodedImage image = DecodeJpeg(output.path() + "/" + page);
        ASSERT_GT(image.width, 0) << page;
        EXPECT_LT(RedShare(image), 0.001) << page;
    }
    EXPECT_TRUE(QFile::exists(output.path() + "/Macro_1.jpg"));
}


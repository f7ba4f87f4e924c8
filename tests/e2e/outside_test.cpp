// Documents that reach outside: pictures linked from a web server and from elsewhere on the
// disk, and a macro on the open event. Nothing may run and nothing may be fetched.

#include "engine.h"
#include "hostiledocuments.h"
#include "pageexport.h"
#include "testsupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

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

}  // namespace

TEST(Outside, NothingRunsAndNothingIsFetched) {
    QTemporaryDir folder, elsewhere, output, control;
    const QString picture = elsewhere.path() + "/red.png";
    MakeRedPicture(picture);
    QFile pictureFile(picture);
    pictureFile.open(QIODevice::ReadOnly);
    LoopbackServer server(pictureFile.readAll());
    const QString web = QString("http://127.0.0.1:%1/red.png").arg(server.port());
    const QString local = "file://" + picture;
    MakeLinkedPictureOdt(folder.path() + "/WebLink.odt", web);
    MakeLinkedPictureDocx(folder.path() + "/WebLinked.docx", web);
    MakeLinkedPictureOdt(folder.path() + "/FileLink.odt", local);
    MakeLinkedPictureDocx(folder.path() + "/FileLinked.docx", local);
    const QString marker = elsewhere.path() + "/macro-ran";
    MakeMacroOdt(folder.path() + "/Macro.odt", marker);

    // With LibreOffice's own defaults the links are followed: the fixture is sound.
    QProcess soffice;
    soffice.start("soffice", {"--headless", "--norestore", "-env:UserInstallation=file://" + control.path() + "/profile",
                              "--convert-to", "pdf", "--outdir", control.path(), folder.path() + "/WebLink.odt",
                              folder.path() + "/FileLink.odt"});
    ASSERT_TRUE(soffice.waitForFinished(180000));
    EXPECT_GT(server.connections(), 0);
    QProcess::execute("pdftoppm", {"-r", "48", "-png", "-singlefile", control.path() + "/FileLink.pdf", control.path() + "/file-link"});
    const QImage shown(control.path() + "/file-link.png");
    ASSERT_FALSE(shown.isNull());
    QImage rgb = shown.convertToFormat(QImage::Format_RGB888);
    DecodedImage controlPage{rgb.width(), rgb.height(), {}};
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* row = rgb.constScanLine(y);
        controlPage.rgb.insert(controlPage.rgb.end(), row, row + rgb.width() * 3);
    }
    EXPECT_GT(RedShare(controlPage), 0.02);

    const int before = server.connections();
    EngineSession engines(EngineLauncher(DefaultEngineOptions()), NeverCancelled());
    ExportChoices choices;
    choices.outputFolder = output.path();
    for (const char* name : {"WebLink.odt", "WebLinked.docx", "FileLink.odt", "FileLinked.docx", "Macro.odt"}) {
        RecordingObserver observer;
        SaveDocAsJPG(folder.path() + "/" + name, choices, engines, observer);
        EXPECT_TRUE(observer.reports.empty()) << name;
    }
    QThread::msleep(200);
    EXPECT_EQ(server.connections(), before);
    EXPECT_FALSE(QFile::exists(marker));
    for (const char* page : {"WebLink_1.jpg", "WebLinked_1.jpg", "FileLink_1.jpg", "FileLinked_1.jpg"}) {
        const DecodedImage image = DecodeJpeg(output.path() + "/" + page);
        ASSERT_GT(image.width, 0) << page;
        EXPECT_LT(RedShare(image), 0.001) << page;
    }
    EXPECT_TRUE(QFile::exists(output.path() + "/Macro_1.jpg"));
}


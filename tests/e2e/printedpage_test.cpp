// Page images against the page as LibreOffice prints it: the same document through soffice's
// own PDF export, drawn by pdftoppm at the same resolution, is the reference.

#include "engine.h"
#include "pageexport.h"
#include "testsupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>

using namespace quillivar;
using namespace quillivar::test;

namespace {

struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<double> pixels;
    double at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

bool RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(180000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A binary PGM as pdftoppm -gray writes it.
GreyImage ReadPgm(const QString& path) {
    GreyImage image;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return image;
    const QByteArray data = file.readAll();
    QList<QByteArray> header;
    int at = 0;
    while (header.size() < 4 && at < data.size()) {
        while (at < data.size() && std::isspace(static_cast<unsigned char>(data[at]))) ++at;
        const int start = at;
        while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at]))) ++at;
        header << data.mid(start, at - start);
    }
    ++at;  // the single blank after the maximum value
    if (header.size() < 4 || header[0] != "P5") return image;
    image.width = header[1].toInt();
    image.height = header[2].toInt();
    if (data.size() - at < image.width * image.height) return {};
    for (int i = 0; i < image.width * image.height; ++i) image.pixels.push_back(static_cast<unsigned char>(data[at + i]));
    return image;
}

GreyImage Grey(const DecodedImage& decoded) {
    GreyImage image{decoded.width, decoded.height, {}};
    for (std::size_t i = 0; i + 2 < decoded.rgb.size(); i += 3) {
        image.pixels.push_back(0.299 * decoded.rgb[i] + 0.587 * decoded.rgb[i + 1] + 0.114 * decoded.rgb[i + 2]);
    }
    return image;
}

struct Shift {
    int dx = 0;
    int dy = 0;
};

// How far `ours` must move (within two pixels each way) to match `reference` best.
Shift BestShift(const GreyImage& reference, const GreyImage& ours) {
    Shift best;
    double bestError = -1;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            double error = 0;
            for (int y = 2; y < reference.height - 2; ++y) {
                for (int x = 2; x < reference.width - 2; ++x) error += std::abs(reference.at(x, y) - ours.at(x - dx, y - dy));
            }
            if (bestError < 0 || error < bestError) {
                bestError = error;
                best = {dx, dy};
            }
        }
    }
    return best;
}

class PrintedPage : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        document = CopyInto(TestDocument("one-page.odt"), folder->path());
        RunTool("soffice", {"--headless", "--norestore", "-env:UserInstallation=file://" + folder->path() + "/profile",
                            "--convert-to", "pdf", "--outdir", folder->path(), document});
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    static QTemporaryDir* folder;
    static QString document;
};

QTemporaryDir* PrintedPage::folder = nullptr;
QString PrintedPage::document;

}  // namespace

TEST_P(PrintedPage, HasThePrintedPagesSizeAndPixelGrid) {
    const int dotsPerInch = GetParam();
    const QString pdf = folder->path() + "/one-page.pdf";
    ASSERT_TRUE(QFile::exists(pdf)) << "soffice made no PDF of the test document";
    const QString referencePrefix = folder->path() + QStringLiteral("/reference-%1").arg(dotsPerInch);
    ASSERT_TRUE(RunTool("pdftoppm", {"-gray", "-singlefile", "-r", QString::number(dotsPerInch), pdf, referencePrefix}));
    const GreyImage reference = ReadPgm(referencePrefix + ".pgm");
    ASSERT_GT(reference.width, 0);

    QTemporaryDir output;
    ExportChoices choices;
    choices.outputFolder = output.path();
    choices.dotsPerInch = dotsPerInch;
    RecordingObserver reporter;
    EngineSession engines(EngineLauncher(DefaultEngineOptions()), NeverCancelled());
    SaveDocAsJPG(document, choices, engines, reporter);
    ASSERT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    const GreyImage ours = Grey(DecodeJpeg(output.path() + "/one-page_1.jpg"));

    // The page is neither cut nor padded: a PDF renderer rounds its pixels up.
    ASSERT_EQ(ours.width, reference.width);
    ASSERT_EQ(ours.height, reference.height);
    // Text, table and box sit on the same pixels as in the reference, not one beside.
    const Shift shift = BestShift(reference, ours);
    EXPECT_EQ(shift.dx, 0);
    EXPECT_EQ(shift.dy, 0);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PrintedPage, ::testing::Values(96, 150, 300));

// This document was saved with the page breaks of an earlier layout, which LibreOffice's print
// does not keep: its page 14 ends a line later than they had it.
TEST(SavedPageBreaks, GiveWayToThoseLibreOfficePrints) {
    QUILLIVAR_NEEDS_CORPUS();
    QTemporaryDir folder;
    const QString document = CopyInto(CorpusFolder() + "/Bluff Crag.odt", folder.path(), "saved-breaks.odt");
    ASSERT_TRUE(RunTool("soffice", {"--headless", "--norestore", "-env:UserInstallation=file://" + folder.path() + "/profile",
                                    "--convert-to", "pdf", "--outdir", folder.path(), document}));
    ASSERT_TRUE(RunTool("pdftoppm", {"-gray", "-singlefile", "-r", "96", "-f", "14", "-l", "14",
                                     folder.path() + "/saved-breaks.pdf", folder.path() + "/reference"}));
    const GreyImage reference = ReadPgm(folder.path() + "/reference.pgm");

    ExportChoices choices;
    choices.outputFolder = folder.path();
    choices.pageRange = *PageRange::Parse("14");
    RecordingObserver reporter;
    EngineSession engines(EngineLauncher(DefaultEngineOptions()), NeverCancelled());
    SaveDocAsJPG(document, choices, engines, reporter);
    const GreyImage ours = Grey(DecodeJpeg(folder.path() + "/saved-breaks_14.jpg"));
    ASSERT_EQ(ours.pixels.size(), reference.pixels.size());

    // How far the page is from the reference, against how far a blank page would be: about
    // 0.5 for the same lines drawn twice at this size, 1.4 for this page as the saved breaks
    // lay it out.
    double difference = 0;
    double ink = 0;
    for (std::size_t i = 0; i < ours.pixels.size(); ++i) {
        difference += std::abs(ours.pixels[i] - reference.pixels[i]);
        ink += 255 - reference.pixels[i];
    }
    EXPECT_LT(difference / ink, 0.9);
}

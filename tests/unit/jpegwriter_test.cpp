#include "jpegwriter.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillivar;
using quillivar::test::DecodeJpeg;
using quillivar::test::FolderEntries;

namespace {

// A picture with detail, so that quality shows in the encoded size.
PageImage Stripes(int width = 200, int height = 120) {
    PageImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width * height * 4));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = &image.pixels[static_cast<std::size_t>((y * width + x) * 4)];
            pixel[0] = static_cast<std::uint8_t>((x * 7) % 256);
            pixel[1] = static_cast<std::uint8_t>((y * 13) % 256);
            pixel[2] = static_cast<std::uint8_t>(((x + y) % 9) * 28);
        }
    }
    return image;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string Path(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Hands `image` out band by band, as the engine paints a page too large to hold whole.
PaintRows RowsOf(const PageImage& image) {
    return [&image](int top, int rows, std::uint8_t* into) {
        const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4;
        std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(top * rowBytes), rows * rowBytes, into);
        return true;
    };
}

}  // namespace

TEST(JpegWriter, WritesValidFilesWhoseQualityShows) {
    QTemporaryDir folder;
    const PageImage image = Stripes();
    QByteArray files[3];
    const int qualities[3] = {1, 75, 100};
    for (int i = 0; i < 3; ++i) {
        const QString path = folder.path() + QStringLiteral("/q%1.jpg").arg(qualities[i]);
        ASSERT_NO_THROW(SavePictureAsJPG(image, Path(path), qualities[i]));
        files[i] = ReadAll(path);
        const auto decoded = DecodeJpeg(path);
        EXPECT_EQ(decoded.width, 200);
        EXPECT_EQ(decoded.height, 120);
    }
    EXPECT_LT(files[0].size(), files[1].size());
    EXPECT_LT(files[1].size(), files[2].size());
    EXPECT_EQ(FolderEntries(folder.path()), (QStringList{"q1.jpg", "q100.jpg", "q75.jpg"}));
}

TEST(JpegWriter, HandsTheQualityToTheEncoderUnchanged) {
    QTemporaryDir folder;
    const PageImage image = Stripes();
    for (const int quality : {0, 1, 42, 75, 100}) {
        const QString path = folder.path() + "/page.jpg";
        ASSERT_EQ(WriteJpegFile(image, Path(path), quality), JpegStatus::Ok) << quality;
        tjhandle encoder = tjInitCompress();
        unsigned char* expected = nullptr;
        unsigned long expectedSize = 0;
        ASSERT_EQ(tjCompress2(encoder, image.pixels.data(), image.width, image.width * 4, image.height, TJPF_BGRX,
                              &expected, &expectedSize, TJSAMP_420, quality, 0), 0);
        EXPECT_EQ(ReadAll(path), QByteArray(reinterpret_cast<const char*>(expected), static_cast<qsizetype>(expectedSize)))
            << quality;
        tjFree(expected);
        tjDestroy(encoder);
    }
}

TEST(JpegWriter, APageWrittenInBandsIsTheSamePictureAsWrittenWhole) {
    QTemporaryDir folder;
    const PageImage image = Stripes(301, 203);
    for (const ImageFormat format : {ImageFormat::Jpeg, ImageFormat::Png, ImageFormat::Webp}) {
        const QString whole = folder.path() + "/whole." + QString::fromStdString(FormatName(format));
        const QString banded = folder.path() + "/banded." + QString::fromStdString(FormatName(format));
        ASSERT_EQ(WritePageFile(image, Path(whole), format, 80), JpegStatus::Ok);
        ASSERT_EQ(WritePageFileInBands(image.width, image.height, 16, RowsOf(image), Path(banded), format, 80), JpegStatus::Ok);
        if (format == ImageFormat::Png) {
            EXPECT_EQ(quillivar::test::DecodeImage(whole).rgb, quillivar::test::DecodeImage(banded).rgb);  // RGB, not RGBA
        } else {
            EXPECT_EQ(ReadAll(whole), ReadAll(banded)) << FormatName(format);
        }
    }
    EXPECT_EQ(WritePageFileInBands(16384, 10, 10, RowsOf(image), Path(folder.path() + "/wide.webp"), ImageFormat::Webp, 80),
              JpegStatus::EncoderFailed);
    EXPECT_EQ(MostPixelsASide(ImageFormat::Webp), 16383);
    const PaintRows failsHalfWay = [&](int top, int rows, std::uint8_t* into) { return top < 100 && RowsOf(image)(top, rows, into); };
    EXPECT_EQ(WritePageFileInBands(image.width, image.height, 16, failsHalfWay, Path(folder.path() + "/half.png"), ImageFormat::Png, 80),
              JpegStatus::NoPageImage);
    EXPECT_EQ(FolderEntries(folder.path()).size(), 6);
}

TEST(JpegWriter, ReplacesAnExistingFileWhole) {
    QTemporaryDir folder;
    const QString path = folder.path() + "/Report_1.jpg";
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    SavePictureAsJPG(Stripes(), Path(path), 75);
    EXPECT_EQ(DecodeJpeg(path).width, 200);
    EXPECT_LT(ReadAll(path).size(), 100000);
}

TEST(JpegWriter, FailuresNameTheirStatusAndLeaveNothingBehind) {
    QTemporaryDir folder;
    const PageImage image = Stripes();

    try {
        SavePictureAsJPG(image, Path(folder.path() + "/missing/page.jpg"), 75);
        FAIL() << "a missing folder was accepted";
    } catch (const JpegError& error) {
        EXPECT_EQ(error.status(), JpegStatus::FolderMissing);
        EXPECT_STREQ(error.what(), "Cannot save the image. GDI+ Error:4");
    }

    const QString readOnly = folder.path() + "/read-only.jpg";
    QFile file(readOnly);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    ASSERT_EQ(chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    EXPECT_EQ(WriteJpegFile(image, Path(readOnly), 75), JpegStatus::TargetReadOnly);
    EXPECT_EQ(ReadAll(readOnly), "old");

    EXPECT_EQ(WriteJpegFile(PageImage{}, Path(folder.path() + "/empty.jpg"), 75), JpegStatus::InvalidImage);
    PageImage tooFewPixels = image;
    tooFewPixels.pixels.resize(10);
    EXPECT_EQ(WriteJpegFile(tooFewPixels, Path(folder.path() + "/short.jpg"), 75), JpegStatus::InvalidImage);
    EXPECT_EQ(WriteJpegFile(image, Path(folder.path() + "/q.jpg"), 101), JpegStatus::InvalidQuality);
    EXPECT_EQ(WriteJpegFile(image, "/proc/page.jpg", 75), JpegStatus::CannotCreateFile);
    ASSERT_TRUE(QDir(folder.path()).mkdir("taken.jpg"));
    EXPECT_EQ(WriteJpegFile(image, Path(folder.path() + "/taken.jpg"), 75), JpegStatus::CannotReplaceTarget);

    EXPECT_EQ(FolderEntries(folder.path()), (QStringList{"read-only.jpg", "taken.jpg"}));
    EXPECT_EQ(JpegErrorText(JpegStatus::WriteFailed), "Cannot save the image. GDI+ Error:6");
}

TEST(JpegWriter, AFullDiskLeavesNoPartialFile) {
    QTemporaryDir folder;
    const QString path = folder.path() + "/page.jpg";
    const pid_t child = fork();
    if (child == 0) {
        // A file-size limit stands for a disk that fills up half way through the picture.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2000, 2000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const PageImage image = Stripes(800, 600);
        int whole = 0;
        int banded = 0;
        const bool failed = WritePageFile(image, Path(path), ImageFormat::Jpeg, 100, &whole) == JpegStatus::WriteFailed &&
                            WritePageFileInBands(800, 600, 50, RowsOf(image), Path(path), ImageFormat::Jpeg, 100, &banded) ==
                                JpegStatus::WriteFailed &&
                            WritePageFileInBands(800, 600, 50, RowsOf(image), Path(path), ImageFormat::Png, 100) ==
                                JpegStatus::WriteFailed;
        _exit(failed && whole == EFBIG && banded == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "each write reports WriteFailed with the system's error";
    EXPECT_TRUE(FolderEntries(folder.path()).isEmpty());
}

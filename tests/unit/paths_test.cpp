#include "errortrap.h"
#include "paths.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillivar;

namespace {

constexpr QChar kBackslash = QLatin1Char('\\');

QString Windows(const char* path) { return QString::fromLatin1(path); }

void WriteFile(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

}  // namespace

TEST(GetFileName, TakesTheLastComponentWithEitherSeparator) {
    EXPECT_EQ(GetFileName(Windows(R"(D:\In\Report.docx)"), kBackslash), "Report.docx");
    EXPECT_EQ(GetFileName(Windows("Report.docx"), kBackslash), "Report.docx");
    EXPECT_EQ(GetFileName(Windows(R"(D:\In\)"), kBackslash), "");
    EXPECT_EQ(GetFileName(QStringLiteral("/home/ann/Report.docx")), "Report.docx");
    EXPECT_EQ(GetFileName(QStringLiteral("/home/ann/")), "");
    // Only the given separator counts: a forward slash is part of a Windows name.
    EXPECT_EQ(GetFileName(Windows(R"(C:\a/b\c.doc)"), kBackslash), "c.doc");
    EXPECT_EQ(GetFileName(Windows(R"(a\b/c.doc)")), "c.doc");
}

TEST(GetFolderPart, KeepsTheTrailingSeparator) {
    EXPECT_EQ(GetFolderPart(Windows(R"(D:\In\Report.docx)"), kBackslash), Windows(R"(D:\In\)"));
    EXPECT_EQ(GetFolderPart(Windows("Report.docx"), kBackslash), "");
    EXPECT_EQ(GetFolderPart(QStringLiteral("/home/ann/Report.docx")), "/home/ann/");
    EXPECT_EQ(GetFolderPart(QStringLiteral("/Report.docx")), "/");
    EXPECT_EQ(GetFolderPart(QString()), "");
}

TEST(CollapseBackslashes, FollowsTheWindowsRules) {
    EXPECT_EQ(CollapseBackslashes(Windows(R"(E:\Out\\Report)"), kBackslash), Windows(R"(E:\Out\Report)"));
    EXPECT_EQ(CollapseBackslashes(Windows(R"(E:\Out\\\Report)"), kBackslash), Windows(R"(E:\Out\\Report)"));
    EXPECT_EQ(CollapseBackslashes(Windows(R"(E:\Out\\\\Report)"), kBackslash), Windows(R"(E:\Out\\Report)"));
    EXPECT_EQ(CollapseBackslashes(Windows(R"(\\server\\share\doc)"), kBackslash), Windows(R"(\\server\share\doc)"));
    EXPECT_EQ(CollapseBackslashes(Windows(R"(\server\share)"), kBackslash), Windows(R"(\\server\share)"));
    EXPECT_EQ(CollapseBackslashes(Windows(R"(\\\server\share)"), kBackslash), Windows(R"(\\server\share)"));
    EXPECT_EQ(CollapseBackslashes(Windows(R"(D:\\a.doc)"), kBackslash), Windows(R"(D:\a.doc)"));
    EXPECT_EQ(CollapseBackslashes(QString(), kBackslash), "");
}

TEST(CollapseBackslashes, OnPosixALeadingRunBecomesOneSlash) {
    EXPECT_EQ(CollapseBackslashes(QStringLiteral("/out//Report")), "/out/Report");
    EXPECT_EQ(CollapseBackslashes(QStringLiteral("//out//Report")), "/out/Report");
    EXPECT_EQ(CollapseBackslashes(QStringLiteral("////out/Report")), "/out/Report");
    EXPECT_EQ(CollapseBackslashes(QStringLiteral("out///Report")), "out//Report");
    EXPECT_EQ(CollapseBackslashes(QStringLiteral("relative/name")), "relative/name");
    EXPECT_EQ(CollapseBackslashes(QStringLiteral("/")), "/");
    EXPECT_EQ(CollapseBackslashes(QString()), "");
}

TEST(FileTests, TellFoldersFilesAndNothing) {
    QTemporaryDir folder;
    const QString file = folder.path() + "/a.doc";
    WriteFile(file);
    EXPECT_TRUE(IsFolder(folder.path()));
    EXPECT_FALSE(IsFolder(file));
    EXPECT_FALSE(IsFolder(folder.path() + "/missing"));
    EXPECT_FALSE(IsFolder(QString()));
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(folder.path() + "/missing.doc"));
    EXPECT_FALSE(FileExists(QString()));
}

TEST(DeleteFileQuietly, RemovesReadOnlyFilesAndIgnoresMissingOnes) {
    QTemporaryDir folder;
    const QString file = folder.path() + "/old_1.jpg";
    WriteFile(file);
    ASSERT_EQ(chmod(QFile::encodeName(file).constData(), 0444), 0);
    DeleteFileQuietly(file);
    EXPECT_FALSE(QFile::exists(file));

    EXPECT_NO_THROW(DeleteFileQuietly(folder.path() + "/never-there.jpg"));
    EXPECT_NO_THROW(DeleteFileQuietly(QString()));
    DeleteFileQuietly(folder.path());  // a folder is not a file: left alone
    EXPECT_TRUE(IsFolder(folder.path()));
}

TEST(ForceDeleteFile, ReportsWhatItCannotDelete) {
    QTemporaryDir folder;
    EXPECT_THROW(ForceDeleteFile(folder.path() + "/missing"), Failure);
    const QString file = folder.path() + "/locked.jpg";
    WriteFile(file);
    ASSERT_EQ(chmod(QFile::encodeName(file).constData(), 0444), 0);
    EXPECT_NO_THROW(ForceDeleteFile(file));
    EXPECT_FALSE(QFile::exists(file));
}

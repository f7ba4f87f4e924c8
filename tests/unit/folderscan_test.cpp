#include "folderscan.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillivar;
using namespace quillivar::test;

namespace {

// The scan of `root`, as paths below it ("" for root itself).
QStringList Scan(const QString& root, RecordingObserver& reporter) {
    QStringList folders{root + "/"};
    GetSubDirectories2016(folders, true, reporter, NeverCancelled());
    QStringList relative;
    for (const QString& folder : folders) relative << folder.mid(root.size() + 1);
    return relative;
}

}  // namespace

TEST(FolderScan, GoesLevelByLevelInNameOrder) {
    QTemporaryDir root;
    for (const char* folder : {"A/C", "A/B/X", "A/B/Y/Z", "A/C/W"}) QDir(root.path()).mkpath(folder);
    RecordingObserver reporter;
    EXPECT_EQ(Scan(root.path() + "/A", reporter), QStringList({"", "B/", "C/", "B/X/", "B/Y/", "C/W/", "B/Y/Z/"}));
    EXPECT_TRUE(reporter.reports.empty());

    QStringList alone{root.path() + "/A/B/X/"};
    GetSubDirectories2016(alone, true, reporter, NeverCancelled());
    EXPECT_EQ(alone, QStringList{root.path() + "/A/B/X/"});

    QStringList twoStarts{root.path() + "/A/B/", root.path() + "/A/C/"};
    GetSubDirectories2016(twoStarts, false, reporter, NeverCancelled());
    EXPECT_EQ(twoStarts.size(), 5);  // without recursion only the direct subfolders
}

TEST(FolderScan, EntersHiddenAndForeignNamedFoldersButNotLinks) {
    QTemporaryDir root;
    for (const char* folder : {".hidden/inner", "Ann’s letters", "Письма", "信件", "Café"}) QDir(root.path()).mkpath(folder);
    ASSERT_EQ(symlink(QFile::encodeName(root.path()).constData(), QFile::encodeName(root.path() + "/loop").constData()), 0);
    RecordingObserver reporter;
    const QStringList found = Scan(root.path(), reporter);
    EXPECT_EQ(found, QStringList({"", ".hidden/", "Ann’s letters/", "Café/", "Письма/", "信件/", ".hidden/inner/"}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST(FolderScan, LeavesOutWhatItCannotReadAndScansTheRest) {
    QTemporaryDir root;
    ASSERT_EQ(chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
    for (const char* folder : {"A/locked/deep", "A/open/inner", "A/zeta"}) QDir(root.path()).mkpath(folder);
    ASSERT_EQ(chmod(QFile::encodeName(root.path() + "/A/locked").constData(), 0), 0);
    const QString found = RunAsOrdinaryUser([&] {
        RecordingObserver reporter;
        const QStringList folders = Scan(root.path() + "/A", reporter);
        return folders.join(',') + QStringLiteral(";%1").arg(reporter.reports.size());
    });
    chmod(QFile::encodeName(root.path() + "/A/locked").constData(), 0755);
    EXPECT_EQ(found, QString(",open/,zeta/,open/inner/;0"));
}

TEST(FolderScan, ListsMatchingFilesHiddenOnesIncluded) {
    QTemporaryDir root;
    const QString folder = root.path() + "/Docs";
    QDir().mkpath(folder + "/Sub.doc");
    for (const char* name : {"a.doc", "B.DOC", "~$a.doc", "b.txt", ".secret.doc", "c.docx"}) Touch(folder + "/" + name);
    EXPECT_EQ(ListFolderFiles(folder, "*.doc"), QStringList({".secret.doc", "a.doc", "B.DOC", "~$a.doc"}));
    EXPECT_EQ(ListFolderFiles(folder + "/", "*.*").size(), 6);  // folders are not files
    EXPECT_TRUE(ListFolderFiles(folder, "*.pdf").isEmpty());

    const QString many = root.path() + "/Many";
    for (int i = 1; i <= 130; ++i) Touch(many + QString("/letter %1.doc").arg(i));
    EXPECT_EQ(ListFolderFiles(many, "*.doc").size(), 130);
    QDir().mkpath(root.path() + "/Empty");
    EXPECT_TRUE(ListFolderFiles(root.path() + "/Empty", "*.doc").isEmpty());
}

TEST(FolderScan, DocumentsInATreeLeaveOutLockFilesAndHiddenFiles) {
    QTemporaryDir root;
    const QString docs = root.path() + "/Docs";
    for (const char* name : {"a.doc", "~$a.doc", "b.txt", "Old/c.doc", ".hidden.doc", ".private/d.doc"}) Touch(docs + "/" + name);
    RecordingObserver reporter;
    EXPECT_EQ(DocumentsInFolderTree(docs, {"*.doc"}, reporter, NeverCancelled()),
              QStringList({docs + "/a.doc", docs + "/.private/d.doc", docs + "/Old/c.doc"}));
    EXPECT_EQ(DocumentsInFolderTree(docs + "/", {"*.txt", "*.doc"}, reporter, NeverCancelled()).size(), 4);

    // A scan cancelled before it starts reads nothing: a window that closes stops its scan.
    CancelToken cancelled;
    cancelled.Cancel();
    EXPECT_TRUE(DocumentsInFolderTree(docs, {"*.doc"}, reporter, cancelled).isEmpty());
}

TEST(FolderScan, ExistingFilesAreRegularFilesReadableOrNot) {
    QTemporaryDir root;
    ASSERT_EQ(chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
    Touch(root.path() + "/a.doc");
    Touch(root.path() + "/private.doc");
    ASSERT_EQ(chmod(QFile::encodeName(root.path() + "/private.doc").constData(), 0), 0);
    EXPECT_TRUE(IsExistingFile(root.path() + "/a.doc"));
    EXPECT_FALSE(IsExistingFile(root.path()));
    EXPECT_FALSE(IsExistingFile(root.path() + "/missing.doc"));
    EXPECT_FALSE(IsExistingFile(QString()));
    // A file this user may not read is still a file: its conversion says why it cannot be read.
    EXPECT_EQ(RunAsOrdinaryUser([&] {
        RecordingObserver reporter;
        return DocumentsInFolderTree(root.path(), {"*.doc"}, reporter, NeverCancelled()).join(',');
    }), root.path() + "/a.doc," + root.path() + "/private.doc");
}

TEST(FolderScan, OnlyControlCharactersAndQuestionMarksAreUnsafe) {
    for (const char32_t c : {U'\x01', U'\x1F', U'\x7F', U'\x80', U'\x92', U'\x9F', U'?'}) {
        EXPECT_TRUE(HasUnsafeChars(QString::fromUcs4(&c, 1))) << static_cast<int>(c);
    }
    for (const QString name : {"Ann’s letters", "Письма", "信件", "Café", "emoji 😀", "~$tmp", "a b"}) {
        EXPECT_FALSE(HasUnsafeChars(name)) << name.toStdString();
    }
}

// What the engine reads of a document's bytes before LibreOffice opens it.

#include "encryption.h"
#include "hostiledocuments.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

using namespace quillivar;
using namespace quillivar::test;

namespace {

// Each corpus document's page count in LibreOffice's own export, or "fail:..." where it failed.
QMap<QString, QString> CorpusPageCounts(const QString& manifest) {
    QMap<QString, QString> pages;
    QFile file(manifest);
    file.open(QIODevice::ReadOnly);
    QTextStream lines(&file);
    while (!lines.atEnd()) {
        const QStringList fields = lines.readLine().split('\t');
        if (fields.size() > 6) pages.insert(fields[0], fields[6]);
    }
    return pages;
}

}  // namespace

TEST(DocumentBytes, EncryptedCorpusDocumentsAreToldApartAndNoConvertibleOneIsRefused) {
    QUILLIVAR_NEEDS_CORPUS();
    QStringList wrong;
    const QMap<QString, QString> pages = CorpusPageCounts(CorpusFolder() + "/MANIFEST.tsv");
    for (const QString& name : QDir(CorpusFolder()).entryList(QDir::Files)) {
        const auto bytes = engine::ReadDocumentBytes(QFile::encodeName(CorpusFolder() + "/" + name).toStdString());
        const bool converts = pages.contains(name) && !pages[name].startsWith("fail");
        if ((bytes == engine::DocumentBytes::kEncrypted) != name.startsWith("encrypted-") ||
            (bytes == engine::DocumentBytes::kNoWordDocument && converts)) {
            wrong << name;
        }
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(", ").toStdString();
}

TEST(DocumentBytes, AWordDocumentIsEncryptedWhenItsHeaderSaysSoAndOtherWhenItHasNone) {
    QTemporaryDir folder;
    for (const char* name : {"one-page.doc", "one-page.docx", "one-page.odt", "one-page.rtf"}) {
        EXPECT_EQ(engine::ReadDocumentBytes(QFile::encodeName(TestDocument(name)).toStdString()), engine::DocumentBytes::kOther) << name;
    }
    // The same document with the header's "encrypted" flag set: the flag is all that tells.
    const QString path = CopyInto(TestDocument("one-page.doc"), folder.path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    const qsizetype fib = bytes.indexOf(QByteArray("\xEC\xA5", 2), 512);
    ASSERT_GT(fib, 0);
    file.seek(fib + 0x0B);
    file.write(QByteArray(1, static_cast<char>(bytes[fib + 0x0B] | 0x01)));
    file.close();
    EXPECT_EQ(engine::ReadDocumentBytes(QFile::encodeName(path).toStdString()), engine::DocumentBytes::kEncrypted);

    const QString renamed = CopyInto(TestDocument("one-page.doc"), folder.path(), "Renamed.doc");
    RenameWordDocumentStream(renamed);
    EXPECT_EQ(engine::ReadDocumentBytes(QFile::encodeName(renamed).toStdString()), engine::DocumentBytes::kNoWordDocument);
}

// What the engine reads of a document's bytes before LibreOffice opens it.

#include "encryption.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillivar;
using namespace quillivar::test;

TEST(DocumentBytes, EncryptedCorpusDocumentsAreToldApartFromAllOthers) {
    QUILLIVAR_NEEDS_CORPUS();
    QStringList wrong;
    for (const QString& name : QDir(CorpusFolder()).entryList(QDir::Files)) {
        const bool encrypted = engine::IsEncryptedDocument(QFile::encodeName(CorpusFolder() + "/" + name).toStdString());
        if (encrypted != name.startsWith("encrypted-")) wrong << name;
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(", ").toStdString();
}

TEST(DocumentBytes, AWordDocumentIsEncryptedWhenItsHeaderSaysSo) {
    QTemporaryDir folder;
    for (const char* name : {"one-page.doc", "one-page.docx", "one-page.odt", "one-page.rtf"}) {
        EXPECT_FALSE(engine::IsEncryptedDocument(QFile::encodeName(TestDocument(name)).toStdString())) << name;
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
    EXPECT_TRUE(engine::IsEncryptedDocument(QFile::encodeName(path).toStdString()));
}

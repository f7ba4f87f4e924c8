// The engine against ../shared/corpus: real documents written elsewhere, whose MANIFEST gives
// the page count of LibreOffice's own PDF export.

#include "engine.h"
#include "errortrap.h"
#include "testsupport.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

using namespace quillivar;
using namespace quillivar::test;

namespace {

struct Entry {
    QString file;
    QString reference;  // a page count, or "fail:could-not-load"
};

std::vector<Entry> Manifest() {
    std::vector<Entry> entries;
    QFile manifest(CorpusFolder() + "/MANIFEST.tsv");
    if (!manifest.open(QIODevice::ReadOnly)) return entries;
    QTextStream lines(&manifest);
    lines.readLine();  // the header
    while (!lines.atEnd()) {
        const QStringList fields = lines.readLine().split('\t');
        if (fields.size() >= 7) entries.push_back({fields[0], fields[6]});
    }
    return entries;
}

// Where this engine knowingly differs from the PDF export, and why.
const QMap<QString, QString> kKnownDifferences = {
    // An empty file is reported, not turned into a blank page of LibreOffice's choosing.
    {"zero-bytes.docx", "fail"},
    // Plain text under a document's name is reported, not laid out as a page of characters
    // (for the RTF fragment, a page of RTF source code).
    {"not-a-zip-tika.odt", "fail"},
    {"headerless-fragment-pandoc.rtf", "fail"},
    // Under LibreOfficeKit a long table splits one row earlier than in soffice's PDF export;
    // LibreOfficeKit's own PDF export gives the same 54 pages, so it is the layout, not us.
    {"cancer-stats-tables-poi.docx", "54"},
};

}  // namespace

TEST(Corpus, PageCountsMatchLibreOfficesOwnExport) {
    QUILLIVAR_NEEDS_CORPUS();
    const std::vector<Entry> entries = Manifest();
    ASSERT_EQ(entries.size(), 64u);
    QTemporaryDir copies;
    EngineSession engines(EngineLauncher(DefaultEngineOptions()), NeverCancelled());

    QStringList mismatches;
    int matched = 0;
    for (const Entry& entry : entries) {
        const QString expected = kKnownDifferences.value(entry.file, entry.reference.startsWith("fail") ? "fail" : entry.reference);
        const QString path = CopyInto(CorpusFolder() + "/" + entry.file, copies.path());
        QString actual;
        try {
            Engine& engine = engines.Take();
            engine.Open(path);
            engine.LayOut();
            actual = QString::number(engine.PageCount());
            engine.Close();
            engines.HandBack(engine);
        } catch (const Failure& failure) {
            actual = "fail";
            if (expected != "fail") actual += ": " + failure.description();
        }
        if (actual == expected) {
            ++matched;
        } else {
            mismatches << entry.file + " expected " + expected + ", got " + actual;
        }
    }
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join("\n").toStdString();
    EXPECT_EQ(matched, 64);
}

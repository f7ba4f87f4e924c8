// Pages of a long document painted several at a time and cut apart, against the same pages
// painted one by one (asked for every other page, so that no two are painted together).

#include "engine.h"
#include "pageexport.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace quillivar;
using namespace quillivar::test;

namespace {

// A flat OpenDocument text: A4 pages of short paragraphs and small ruled tables, three
// landscape pages in the middle, each page's number in its footer.
void WriteMixedDocument(const QString& path) {
    QString body;
    int paragraph = 0;
    const auto section = [&](const QString& style, int paragraphs) {
        body += QStringLiteral("<text:p text:style-name=\"%1\">Part starting at %2</text:p>\n").arg(style).arg(paragraph);
        for (int i = 0; i < paragraphs; ++i, ++paragraph) {
            body += QStringLiteral("<text:p>Paragraph %1 of the harbour ledger, beacon and quay, tide %2.</text:p>\n")
                        .arg(paragraph)
                        .arg(paragraph * 37 % 101);
            if (paragraph % 20 == 0) {
                body += QStringLiteral("<table:table table:style-name=\"Ruled\"><table:table-column table:number-columns-repeated=\"3\"/>");
                for (int row = 0; row < 3; ++row) {
                    body += QStringLiteral("<table:table-row>");
                    for (int cell = 0; cell < 3; ++cell) {
                        body += QStringLiteral("<table:table-cell table:style-name=\"Cell\"><text:p>%1</text:p></table:table-cell>")
                                    .arg(paragraph * 3 + row * 7 + cell);
                    }
                    body += QStringLiteral("</table:table-row>");
                }
                body += QStringLiteral("</table:table>\n");
            }
        }
    };
    section("Portrait", 5200);  // over 200 pages in all: long enough to be painted in strips
    section("Wide", 300);
    section("Portrait", 3300);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:automatic-styles>
 <style:style style:name="Portrait" style:family="paragraph" style:master-page-name="Standard"/>
 <style:style style:name="Wide" style:family="paragraph" style:master-page-name="Landscape"/>
 <style:style style:name="Ruled" style:family="table"><style:table-properties style:width="12cm"/></style:style>
 <style:style style:name="Cell" style:family="table-cell"><style:table-cell-properties fo:border="0.5pt solid #000000"/></style:style>
 <style:page-layout style:name="Tall"><style:page-layout-properties fo:page-width="21cm" fo:page-height="29.7cm"
  fo:margin="2cm"/><style:footer-style/></style:page-layout>
 <style:page-layout style:name="Flat"><style:page-layout-properties fo:page-width="29.7cm" fo:page-height="21cm"
  style:print-orientation="landscape" fo:margin="2cm"/><style:footer-style/></style:page-layout>
</office:automatic-styles>
<office:master-styles>
 <style:master-page style:name="Standard" style:page-layout-name="Tall"><style:footer><text:p>Page <text:page-number/></text:p></style:footer></style:master-page>
 <style:master-page style:name="Landscape" style:page-layout-name="Flat"><style:footer><text:p>Page <text:page-number/></text:p></style:footer></style:master-page>
</office:master-styles>
<office:body><office:text>
)")
                   .toUtf8());
    file.write(body.toUtf8());
    file.write("</office:text></office:body></office:document>\n");
}

// Converts the pages of `document` that `pages` names into `folder`.
ExportResult Convert(const QString& document, const QString& folder, const QString& pages, bool paintAhead = true) {
    EngineOptions options = DefaultEngineOptions();
    options.drawAhead = paintAhead;
    EngineSession engines(EngineLauncher(options), NeverCancelled());
    RecordingObserver reporter;
    ExportChoices choices;
    choices.outputFolder = folder;
    choices.quality = 95;
    choices.pageRange = *PageRange::Parse(pages);
    const ExportResult result = SaveDocAsJPG(document, choices, engines, reporter);
    EXPECT_TRUE(reporter.reports.empty()) << reporter.reports.front().description.toStdString();
    return result;
}

// The share of pixels, in percent, that differ by more than an eighth of full scale.
double PercentApart(const DecodedImage& a, const DecodedImage& b) {
    long apart = 0;
    for (std::size_t i = 0; i < a.rgb.size(); i += 3) {
        int most = 0;
        for (std::size_t c = 0; c < 3; ++c) most = std::max(most, std::abs(a.rgb[i + c] - b.rgb[i + c]));
        if (most > 32) ++apart;
    }
    return 100.0 * static_cast<double>(apart) / static_cast<double>(a.rgb.size() / 3);
}

}  // namespace

TEST(SharedPaint, PagesCutFromAStripMatchThePagesPaintedAlone) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString document = folder.path() + "/mixed.fodt";
    WriteMixedDocument(document);
    for (const char* name : {"alone", "strips", "not-ahead"}) ASSERT_TRUE(QDir(folder.path()).mkdir(name));

    QStringList everyOther;
    for (int page = 1; page < 600; page += 2) everyOther << QString::number(page);
    const ExportResult alone = Convert(document, folder.path() + "/alone", everyOther.join(','));
    const ExportResult strips = Convert(document, folder.path() + "/strips", "1-");
    const ExportResult notAhead = Convert(document, folder.path() + "/not-ahead", "1-", false);

    ASSERT_GT(alone.pageCount, 200);
    ASSERT_EQ(strips.pageCount, alone.pageCount);
    ASSERT_EQ(strips.pagesWritten.size(), alone.pageCount);
    int landscape = 0;
    int identical = 0;
    for (int page = 1; page <= alone.pageCount; page += 2) {
        const QString name = QStringLiteral("/mixed_%1.jpg").arg(page);
        const DecodedImage one = DecodeJpeg(folder.path() + "/alone" + name);
        const DecodedImage cut = DecodeJpeg(folder.path() + "/strips" + name);
        ASSERT_GT(one.width, 0) << "page " << page;
        ASSERT_EQ(cut.width, one.width) << "page " << page;
        ASSERT_EQ(cut.height, one.height) << "page " << page;
        if (one.width > one.height) ++landscape;
        if (cut.rgb == one.rgb) ++identical;
        // A page cut one row off, or its neighbour, is 5 to 20 % apart; a strip's scale,
        // a twenty-thousandth off a lone page's, moves the odd line of text by a row.
        EXPECT_LT(PercentApart(one, cut), 4.0) << "page " << page;  // at most 2.9 measured
    }
    EXPECT_GE(landscape, 2);
    // Painting the next strip while pages are encoded changes no page.
    ASSERT_EQ(notAhead.pagesWritten.size(), strips.pagesWritten.size());
    for (const QString& page : strips.pagesWritten) {
        EXPECT_EQ(FileDigest(page), FileDigest(folder.path() + "/not-ahead/" + QFileInfo(page).fileName())) << page.toStdString();
    }
    // Strips were painted: pages painted alone and cut from strips are not all the same.
    EXPECT_LT(identical, (alone.pageCount + 1) / 2);
}

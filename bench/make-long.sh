#!/bin/sh
# Writes a long document that is small on disk: an OpenDocument text of about PAGES A4 pages
# of short paragraphs flowing freely, a heading every 25 paragraphs and the page number in
# the footer. The same PAGES gives the same document.
#   make-long.sh FILE.odt PAGES
set -eu
usage() { echo "usage: make-long.sh FILE.odt PAGES" >&2; exit 2; }
case "${1:-}" in -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
[ $# -eq 2 ] || usage
case $2 in ''|*[!0-9]*) usage ;; esac
command -v zip >/dev/null || { echo "make-long.sh: zip is needed" >&2; exit 1; }
target=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/META-INF"
printf 'application/vnd.oasis.opendocument.text' >"$work/mimetype"
office='xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.3"'
cat >"$work/META-INF/manifest.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3">
 <manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.text"/>
 <manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>
 <manifest:file-entry manifest:full-path="styles.xml" manifest:media-type="text/xml"/>
</manifest:manifest>
XML
cat >"$work/styles.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<office:document-styles $office>
<office:font-face-decls><style:font-face style:name="Liberation Serif" svg:font-family="'Liberation Serif'"/></office:font-face-decls>
<office:styles>
<style:style style:name="Standard" style:family="paragraph"><style:paragraph-properties fo:margin-bottom="0.1cm"/><style:text-properties style:font-name="Liberation Serif" fo:font-size="11pt"/></style:style>
<style:style style:name="Heading" style:family="paragraph" style:parent-style-name="Standard"><style:paragraph-properties fo:margin-top="0.4cm" fo:margin-bottom="0.2cm" fo:keep-with-next="always"/><style:text-properties fo:font-size="14pt" fo:font-weight="bold"/></style:style>
</office:styles>
<office:automatic-styles><style:page-layout style:name="A4"><style:page-layout-properties fo:page-width="21cm" fo:page-height="29.7cm" fo:margin-top="2cm" fo:margin-bottom="1.5cm" fo:margin-left="2cm" fo:margin-right="2cm"/><style:footer-style/></style:page-layout></office:automatic-styles>
<office:master-styles><style:master-page style:name="Standard" style:page-layout-name="A4"><style:footer><text:p text:style-name="Standard">Page <text:page-number text:select-page="current"/></text:p></style:footer></style:master-page></office:master-styles>
</office:document-styles>
XML
{
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content %s>\n<office:body><office:text>\n' "$office"
    awk -v pages="$2" 'BEGIN {
        srand(20261208)
        split("harbour lantern ledger quay tide ferry gull rope chart beacon anchor pier keel brine dune mast", words, " ")
        # About 28.5 paragraphs of one to three lines fill a page.
        paragraphs = int(pages * 28.5)
        for (p = 0; p < paragraphs; p++) {
            if (p % 25 == 0) printf "<text:h text:style-name=\"Heading\" text:outline-level=\"1\">Section %d</text:h>\n", p / 25 + 1
            printf "<text:p text:style-name=\"Standard\">"
            n = 8 + int(rand() * 30)
            for (w = 0; w < n; w++) printf "%s%s", (w ? " " : ""), words[1 + int(rand() * 16)]
            print ".</text:p>"
        }
    }'
    printf '</office:text></office:body></office:document-content>\n'
} >"$work/content.xml"
rm -f "$target"
(cd "$work" && zip -q -X -0 "$target" mimetype && zip -q -X -9 -r "$target" META-INF content.xml styles.xml)

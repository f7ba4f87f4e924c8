#!/bin/sh
# Makes the documents the end-to-end tests convert: RTF written here, turned into .docx,
# .odt and .doc by LibreOffice itself. Page k of every document carries a box filled with
# colour k, so a test can tell each page image from the others.
#   make-test-documents.sh OUTPUT_FOLDER
set -eu
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Colour k of the table below: red, green, blue, magenta, cyan, orange, grey.
colours='\red210\green30\blue30;\red30\green160\blue60;\red40\green60\blue200;\red180\green40\blue180;\red20\green170\blue170;\red230\green140\blue20;\red110\green110\blue110;'

# rtf_document PAGES: an A4 document of PAGES pages on standard output.
rtf_document() {
    pages=$1
    printf '{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Liberation Sans;}}{\\colortbl;%s}\n' "$colours"
    printf '\\paperw11906\\paperh16838\\margl1134\\margr1134\\margt1134\\margb1134\n'
    k=1
    while [ "$k" -le "$pages" ]; do
        [ "$k" -gt 1 ] && printf '\\page\n'
        printf '\\pard\\plain\\f0\\fs72 Page %s\\par\n' "$k"
        printf '\\trowd\\trrh4000\\clcbpat%s\\cellx9600\\pard\\intbl\\f0\\fs24 Box %s\\cell\\row\n' "$k" "$k"
        printf '\\pard\\plain\\f0\\fs24 This is page %s of %s.\\par\n' "$k" "$pages"
        k=$((k + 1))
    done
    printf '}\n'
}

rtf_document 1 > "$work/one-page.rtf"
rtf_document 3 > "$work/three-pages.rtf"
rtf_document 7 > "$work/seven-pages.rtf"

profile="file://$work/profile"
convert() {
    soffice --headless --norestore "-env:UserInstallation=$profile" \
        --convert-to "$1" --outdir "$out" "$work/one-page.rtf" "$work/three-pages.rtf" "$work/seven-pages.rtf" >/dev/null 2>&1
}
convert 'docx:MS Word 2007 XML'
convert 'odt:writer8'
convert 'doc:MS Word 97'
cp "$work"/*.rtf "$out/"

for format in rtf docx odt doc; do
    for name in one-page three-pages seven-pages; do
        if [ ! -s "$out/$name.$format" ]; then
            echo "make-test-documents: $out/$name.$format was not made" >&2
            exit 1
        fi
    done
done

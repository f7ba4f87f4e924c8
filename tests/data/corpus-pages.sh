#!/bin/sh
# Writes the page count of LibreOffice's own PDF export of each document of the corpus, with
# the LibreOffice installed here, to tests/data/corpus-pages-VERSION.tsv (VERSION as "25.2"):
# what the corpus test holds the engine to. One fresh soffice a document, as a user runs it.
# Usage: tests/data/corpus-pages.sh [CORPUS_FOLDER]   (default: ../shared/corpus)
set -eu
cd "$(dirname "$0")/../.."
corpus=$(cd "${1:-../shared/corpus}" && pwd)
version=$(soffice --version | awk '{ print $2 }' | cut -d. -f1,2)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
table="tests/data/corpus-pages-$version.tsv"
printf 'file\tpages\n' >"$work/table"
for document in "$corpus"/*; do
    name=$(basename "$document")
    [ "$name" != MANIFEST.tsv ] && [ "$name" != README.md ] || continue
    mkdir "$work/in" "$work/out"
    cp "$document" "$work/in/"
    timeout 300 soffice -env:UserInstallation="file://$work/profile" --headless --convert-to pdf \
        --outdir "$work/out" "$work/in/$name" >/dev/null 2>&1 || true
    pages=$(pdfinfo "$work/out/"*.pdf 2>/dev/null | awk '/^Pages:/ { print $2 }')
    printf '%s\t%s\n' "$name" "${pages:-fail}" >>"$work/table"
    rm -rf "$work/in" "$work/out"
done
mv "$work/table" "$table"
echo "$table"

#!/bin/sh
# Rebuilds the sample documents in Samples/ from their sources in samples/src, with
# LibreOffice doing the format conversion. Run it after changing a source; the results are
# committed, so installing Quillivar needs nothing of this.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
samples="$here/../Samples"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert() {  # convert SOURCE FILTER TARGET-NAME
    soffice --headless --norestore "-env:UserInstallation=file://$work/profile" \
        --convert-to "$2" --outdir "$work" "$here/src/$1" >/dev/null
    mv "$work/${1%.*}.${2%%:*}" "$samples/$3"
}

mkdir -p "$samples"
convert welcome-letter.fodt 'docx:MS Word 2007 XML' 'Welcome Letter.docx'
convert quarterly-report.fodt 'odt:writer8' 'Quarterly Report.odt'
convert meeting-notes.fodt 'doc:MS Word 97' 'Meeting Notes.doc'
cp "$here/src/opening-hours.rtf" "$samples/Opening Hours.rtf"
ls -l "$samples"

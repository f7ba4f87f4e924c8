#!/bin/sh
# Writes the generated benchmark batch: COUNT documents of 1 to 30 pages (headings, body
# text, a table every few pages), as .docx, .odt, .doc and .rtf in turn. The same seed gives
# the same batch.
#   make-batch.sh FOLDER [COUNT]
set -eu
out=$1
count=${2:-100}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk -v count="$count" -v folder="$work" 'BEGIN {
    srand(20261207)
    split("harbour lantern ledger quay tide ferry gull rope chart beacon anchor pier keel brine dune mast", words, " ")
    for (d = 1; d <= count; d++) {
        pages = 1 + int(rand() * 30)
        file = sprintf("%s/batch-%03d.rtf", folder, d)
        printf "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Liberation Serif;}{\\f1\\fswiss Liberation Sans;}}\n" > file
        printf "\\paperw11906\\paperh16838\\margl1440\\margr1440\\margt1440\\margb1440\n" > file
        for (p = 1; p <= pages; p++) {
            if (p > 1) printf "\\page\n" > file
            printf "\\pard\\sb240\\sa120\\f1\\fs32\\b Document %d, section %d\\b0\\par\n", d, p > file
            for (k = 0; k < 6; k++) {
                printf "\\pard\\sa120\\qj\\f0\\fs22 " > file
                for (w = 0; w < 70; w++) printf "%s ", words[1 + int(rand() * 16)] > file
                printf "\\par\n" > file
            }
            if (p % 4 == 0) {
                for (r = 0; r < 5; r++) {
                    printf "\\trowd\\cellx3000\\cellx6000\\cellx9000\\pard\\intbl\\f0\\fs20 %s\\cell %d\\cell %d\\cell\\row\n", words[1 + int(rand() * 16)], int(rand() * 1000), int(rand() * 1000) > file
                }
            }
        }
        printf "}\n" > file
        close(file)
    }
}'

profile="file://$work/profile"
convert() {  # convert FILTER FILES...
    filter=$1; shift
    soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to "$filter" --outdir "$out" "$@" >/dev/null 2>&1
}
set -- "$work"/batch-*.rtf
i=0
docx="" odt="" doc=""
for file in "$@"; do
    case $((i % 4)) in
        0) docx="$docx $file" ;;
        1) odt="$odt $file" ;;
        2) doc="$doc $file" ;;
        3) cp "$file" "$out/" ;;
    esac
    i=$((i + 1))
done
# shellcheck disable=SC2086 # the lists are of paths without blanks, made above
convert 'docx:MS Word 2007 XML' $docx
# shellcheck disable=SC2086
convert 'odt:writer8' $odt
# shellcheck disable=SC2086
convert 'doc:MS Word 97' $doc
ls "$out" | wc -l

#!/bin/bash
# How closely quillivar-cli's pages match LibreOffice's own print layout: for each document,
# LibreOffice's PDF export (a fresh soffice for each document, so nothing carries over from
# one to the next) rendered by pdftoppm at the same resolution is the reference; the same PDF
# rendered by pdftocairo gives the noise floor. Each document is converted by a quillivar-cli
# run of its own. bench/fidelity.py compares the pages and prints the page counts, the figures
# and the worst pages (see there).
#
#   bench/fidelity.sh [--dpi N] [--generated N] [--keep DIR] [--out DIR] [FILE...]
#
# Without FILEs: the documents of ../shared/corpus (copied first) and N generated documents
# (bench/make-batch.sh; default 100, 0 for none). --keep DIR keeps the reference PDFs there and
# uses them again in later runs (they are named after the document's checksum). --out DIR
# receives the per-page table and side-by-side pictures of the worst pages (default:
# fidelity-DATE in the current folder).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/quillivar-cli"
corpus="${QUILLIVAR_CORPUS:-$root/../shared/corpus}"
dpi=96
generated=100
keep=""
out="$PWD/fidelity-$(date -u +%Y%m%d-%H%M%S)"
usage() { sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; }
number() {  # number OPTION TEXT
    case $2 in ''|*[!0-9]*) echo "fidelity: $1 takes a whole number, not '$2'" >&2; exit 2 ;; esac
}
while [ $# -gt 0 ]; do
    case $1 in
        --dpi|--generated|--keep|--out)
            [ $# -ge 2 ] || { echo "fidelity: $1 needs a value" >&2; exit 2; } ;;
    esac
    case $1 in
        --dpi) number "$1" "$2"; dpi=$2; shift 2 ;;
        --generated) number "$1" "$2"; generated=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        --) shift; break ;;
        -*) echo "fidelity: unknown option $1" >&2; usage >&2; exit 2 ;;
        *) break ;;
    esac
done
python=/usr/bin/python3
[ -x "$python" ] || python=python3
for tool in soffice pdftoppm pdftocairo sha256sum; do
    command -v "$tool" >/dev/null || { echo "fidelity: $tool is needed (scripts/setup.sh installs it)" >&2; exit 1; }
done
"$python" -c 'import numpy, PIL' 2>/dev/null ||
    { echo "fidelity: Python 3 with numpy and PIL is needed (python3-numpy, python3-pil)" >&2; exit 1; }
[ -x "$cli" ] || { echo "fidelity: build first (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
documents=()
if [ $# -gt 0 ]; then
    for document in "$@"; do
        [ -f "$document" ] || { echo "fidelity: no such document: $document" >&2; exit 2; }
    done
    documents=("$@")
    batches=()
    for _ in "$@"; do batches+=(given); done
else
    [ -d "$corpus" ] || { echo "fidelity: no corpus at $corpus; name documents instead" >&2; exit 1; }
    mkdir -p "$work/corpus"
    find "$corpus" -maxdepth 1 -type f \( -name '*.doc' -o -name '*.docx' -o -name '*.odt' -o -name '*.rtf' \) \
        -exec cp -- {} "$work/corpus/" \;
    documents=("$work"/corpus/*)
    batches=()
    for _ in "${documents[@]}"; do batches+=(corpus); done
    if [ "$generated" -gt 0 ]; then
        echo "Making the generated batch..." >&2
        "$root/bench/make-batch.sh" "$work/generated" "$generated" >/dev/null
        for document in "$work"/generated/*; do
            documents+=("$document")
            batches+=(generated)
        done
    fi
fi
[ -n "$keep" ] && mkdir -p "$keep"

# One profile for every soffice, made before the first document; each document still gets a
# soffice process of its own.
profile="file://$work/soffice-profile"
soffice_pdf() {  # soffice_pdf DOCUMENT OUTDIR
    timeout 600 soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to pdf \
        --outdir "$2" "$1" >/dev/null 2>&1 || true
}
soffice_pdf "$root/Samples/Welcome Letter.docx" "$work/warm"

: >"$work/documents.tsv"
total=${#documents[@]}
number=0
for document in "${documents[@]}"; do
    number=$((number + 1))
    name=$(basename "$document")
    echo "[$number/$total] $name" >&2
    folder=$(printf 'd%03d' "$number")
    mkdir -p "$work/$folder"
    printf '%s\t%s\t%s\n' "$folder" "$name" "${batches[$((number - 1))]}" >>"$work/documents.tsv"
    # The same name for every document inside its folder, so names need no quoting below.
    extension=${name##*.}
    [ "$extension" = "$name" ] && extension=""
    copy="$work/$folder/page${extension:+.$extension}"
    cp -- "$document" "$copy"
    pdf="$work/$folder/page.pdf"
    kept=""
    [ -n "$keep" ] && kept="$keep/$(sha256sum <"$document" | cut -c1-32).pdf"
    if [ -n "$kept" ] && [ -s "$kept" ]; then
        cp "$kept" "$pdf"
    else
        soffice_pdf "$copy" "$work/$folder/pdf"
        [ -f "$work/$folder/pdf/page.pdf" ] && mv "$work/$folder/pdf/page.pdf" "$pdf"
        [ -n "$kept" ] && [ -f "$pdf" ] && cp "$pdf" "$kept"
    fi
    if [ -f "$pdf" ]; then
        pdftoppm -r "$dpi" "$pdf" "$work/$folder/ref"
        pdftocairo -png -r "$dpi" "$pdf" "$work/$folder/alt"
    fi
    "$cli" --dpi "$dpi" --out "$work/$folder" "$copy" >/dev/null 2>&1 || true
done

echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(soffice --version | head -1); $dpi dpi"
"$python" "$root/bench/fidelity.py" "$work" "$out"

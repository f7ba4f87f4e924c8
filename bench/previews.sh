#!/bin/bash
# The first page only, for previews, against the whole document: a generated document of about
# 1,500 pages and the corpus's five longest documents (by LibreOffice's own page count in its
# MANIFEST), each converted alone with one job, three times, the middle time counting. Run it
# under each LibreOffice to compare (in a Debian root: scripts/test-in-debian.sh --keep, then
# this script inside it).
#   bench/previews.sh [CORPUS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-$root/../shared/corpus}
cli="$root/build/bin/quillivar-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

middle() {  # middle of three wall times of: quillivar-cli ARGS...
    for run in 1 2 3; do
        rm -rf "$work/out" && mkdir "$work/out"
        /usr/bin/time -f '%e' -o "$work/time" "$cli" --jobs 1 --out "$work/out" "$@" 2>/dev/null || true
        cat "$work/time"
    done | sort -g | sed -n 2p
}

"$cli" --jobs 1 --out "$work" "$root/Samples/Welcome Letter.docx" 2>/dev/null  # a warm profile
echo "LibreOffice $(soffice --version 2>/dev/null | awk '{ print $2 }')"
printf '%-34s %6s %9s %9s %7s\n' document pages "whole s" "page 1 s" share
sh "$root/bench/make-long.sh" "$work/long-generated.odt" 1500
{
    echo "1500	long-generated.odt"
    if [ -f "$corpus/MANIFEST.tsv" ]; then
        awk -F'\t' 'NR > 1 && $7 ~ /^[0-9]+$/ { print $7 "\t" $1 }' "$corpus/MANIFEST.tsv" | sort -n -r | head -5
    fi
} | while IFS=$'\t' read -r pages name; do
    [ -f "$work/$name" ] || cp "$corpus/$name" "$work/"
    whole=$(middle "$work/$name")
    first=$(middle --pages 1 "$work/$name")
    printf '%-34s %6s %9s %9s %6.0f%%\n' "$name" "$pages" "$whole" "$first" "$(bc -l <<<"100 * $first / $whole")"
done

#!/bin/bash
# Converts one batch of documents to 96-dpi JPEG pages with quillivar-cli and, in the same
# run, with the usual alternative: soffice --convert-to pdf for each document, then
# pdftoppm -jpeg -r 96 -jpegopt quality=75. Prints times, pages per second and the ratio.
#
#   bench/bench.sh [BATCH_FOLDER]
#
# Without a folder the batch is the 20 longest distinct multi-page documents of
# ../shared/corpus (copied first; the corpus stays untouched). Needs a built tree (build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/quillivar-cli"
corpus="${QUILLIVAR_CORPUS:-$root/../shared/corpus}"
[ -x "$cli" ] || { echo "bench: build first (scripts/setup.sh)" >&2; exit 1; }
command -v soffice >/dev/null && command -v pdftoppm >/dev/null ||
    { echo "bench: soffice and pdftoppm are needed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/batch" "$work/quillivar" "$work/pdf" "$work/pdftoppm"

if [ $# -ge 1 ]; then
    cp -- "$1"/* "$work/batch/"
else
    # Longest first; the corpus holds two byte-identical copies under other names.
    awk -F'\t' 'NR > 1 && $7 ~ /^[0-9]+$/ && $7 >= 2 && !seen[$6]++ { print $7 "\t" $1 }' "$corpus/MANIFEST.tsv" |
        sort -rn | head -20 | cut -f2 |
        while IFS= read -r name; do cp -- "$corpus/$name" "$work/batch/"; done
fi
documents=("$work"/batch/*)

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc; }

# Both sides start warm: their LibreOffice profiles exist before the clock starts.
profile="file://$work/soffice-profile"
soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to pdf \
    --outdir "$work/warm" "${documents[0]}" >/dev/null 2>&1 || true
"$cli" --out "$work/warm" "${documents[0]}" >/dev/null 2>&1 || true

start=$(now)
"$cli" --out "$work/quillivar" "${documents[@]}" 2>"$work/quillivar.log" || true
quillivar_seconds=$(elapsed "$start" "$(now)")
quillivar_pages=$(find "$work/quillivar" -name '*.jpg' | wc -l)

start=$(now)
for document in "${documents[@]}"; do
    soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to pdf \
        --outdir "$work/pdf" "$document" >/dev/null 2>&1 || true
    name=$(basename "${document%.*}")
    if [ -f "$work/pdf/$name.pdf" ]; then
        pdftoppm -jpeg -r 96 -jpegopt quality=75 "$work/pdf/$name.pdf" "$work/pdftoppm/$name"
    fi
done
pipeline_seconds=$(elapsed "$start" "$(now)")
pipeline_pages=$(find "$work/pdftoppm" -name '*.jpg' | wc -l)

printf '%-40s %10s %8s %12s\n' "way" "seconds" "pages" "pages/s"
printf '%-40s %10.2f %8d %12.2f\n' "quillivar-cli" "$quillivar_seconds" "$quillivar_pages" \
    "$(echo "$quillivar_pages / $quillivar_seconds" | bc -l)"
printf '%-40s %10.2f %8d %12.2f\n' "soffice per document + pdftoppm" "$pipeline_seconds" "$pipeline_pages" \
    "$(echo "$pipeline_pages / $pipeline_seconds" | bc -l)"
printf '\n%d documents; quillivar-cli was %.1f times as fast.\n' "${#documents[@]}" \
    "$(echo "$pipeline_seconds / $quillivar_seconds" | bc -l)"

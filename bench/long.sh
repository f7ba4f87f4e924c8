#!/bin/bash
# Long documents: whether drawing a page costs more the longer the document is, and the whole
# of a document of several thousand pages against soffice.
#
# Documents: bench/make-long.sh's A4 pages of short paragraphs, of about 200, 800 and 4,700
# pages (under 3 MB on disk). For each, quillivar-cli --jobs 1 --stats, painting as it does
# (long documents in strips of pages) and page by page (every other page asked for, with
# --pages, so that no two are painted together, as before strips): wall time and, from
# --stats, the time inside LibreOffice opening and laying out, drawing (also per page) and
# encoding. Then the longest document whole against
# soffice --headless --convert-to pdf alone, and that PDF through pdftoppm -jpeg -r 96
# -jpegopt quality=75 after it. Every contender runs RUNS times (default 3); the run of
# middle wall time counts. Profiles are warmed before any clock starts.
#
#   bench/long.sh [RUNS] [LONGEST_PAGES]
set -euo pipefail
case "${1:-}" in -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/quillivar-cli"
runs=${1:-3}
longest=${2:-4700}
case "$runs$longest" in *[!0-9]*|'') echo "usage: bench/long.sh [RUNS] [LONGEST_PAGES]" >&2; exit 2 ;; esac
for tool in soffice pdftoppm pdfinfo bc zip /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is needed (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "bench: build first (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=$(printf "%s\n" 200 800 "$longest" | sort -n | uniq | tr "\n" " ")
echo "Making the documents..." >&2
for pages in $sizes; do "$root/bench/make-long.sh" "$work/long-$pages.odt" "$pages"; done

profile="file://$work/soffice-profile"
warm="$work/warm.odt"
"$root/bench/make-long.sh" "$warm" 2
soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to pdf --outdir "$work" "$warm" >/dev/null 2>&1
"$cli" --out "$work" "$warm" >/dev/null 2>&1 || true

# One run of quillivar-cli: "seconds peak_kib pages opening drawing encoding" (seconds).
quillivar_run() {  # quillivar_run DOCUMENT [PAGES]
    rm -rf "$work/out"; mkdir "$work/out"
    /usr/bin/time -f '%e %M' -o "$work/time" \
        "$cli" --stats --jobs 1 ${2:+--pages "$2"} --out "$work/out" "$1" 2>"$work/log" >/dev/null || true
    local stats
    stats=$(sed -n 's/.*inside them \([0-9.]*\) s opening.*, \([0-9.]*\) s drawing [0-9]* page(s), \([0-9.]*\) s encoding.*/\1 \2 \3/p' "$work/log")
    echo "$(tail -1 "$work/time") $(find "$work/out" -name '*.jpg' | wc -l) ${stats:-0 0 0}"
}
# soffice's PDF export, then pdftoppm: "export_seconds export_peak_kib pdftoppm_seconds pages".
soffice_run() {  # soffice_run DOCUMENT
    rm -rf "$work/out"; mkdir -p "$work/out/pdf"
    /usr/bin/time -f '%e %M' -o "$work/time" soffice --headless --norestore "-env:UserInstallation=$profile" \
        --convert-to pdf --outdir "$work/out/pdf" "$1" >/dev/null 2>&1 || true
    local exported
    exported=$(tail -1 "$work/time")
    local pdf
    pdf="$work/out/pdf/$(basename "${1%.*}").pdf"
    /usr/bin/time -f '%e' -o "$work/time" pdftoppm -jpeg -r 96 -jpegopt quality=75 "$pdf" "$work/out/page" || true
    echo "$exported $(tail -1 "$work/time") $(find "$work/out" -name '*.jpg' | wc -l)"
}
middle() {  # middle COMMAND...: the run of middle wall time among $runs
    local i
    for ((i = 0; i < runs; i++)); do "$@"; done | sort -g | sed -n "$(((runs + 1) / 2))p"
}

echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) processors; $(soffice --version | head -1); $runs runs each, the middle one"
echo
echo "== drawing by document length: quillivar-cli --jobs 1, 96 dpi"
printf '%-38s %6s %9s %11s %9s %10s %9s %9s\n' document pages seconds "layout s" "drawing s" "ms a page" "encoding" "peak MiB"
declare -A whole
for mode in strips alone; do
    for pages in $sizes; do
        document="$work/long-$pages.odt"
        if [ "$mode" = strips ]; then figures=$(middle quillivar_run "$document"); label="long-$pages.odt"
        else figures=$(middle quillivar_run "$document" "$(seq -s, 1 2 "$((pages + pages / 10))")"); label="long-$pages.odt, every other page"; fi
        read -r seconds peak written opening drawing encoding <<<"$figures"
        [ "$pages" = "$longest" ] && [ "$mode" = strips ] && whole[quillivar]="$seconds $peak $written"
        printf '%-38s %6d %9.2f %11.2f %9.2f %10.2f %9.2f %9.0f\n' "$label" "$written" "$seconds" "$opening" "$drawing" \
            "$(echo "1000 * $drawing / ($written + ($written == 0))" | bc -l)" "$encoding" "$(echo "$peak / 1024" | bc -l)"
    done
done

echo
echo "== long-$longest.odt whole"
read -r export export_peak topdf written <<<"$(middle soffice_run "$work/long-$longest.odt")"
read -r seconds peak pages <<<"${whole[quillivar]}"
printf '%-38s %9s %7s %9s %10s\n' contender seconds pages pages/s "peak MiB"
row() { printf '%-38s %9.2f %7d %9.1f %10.0f\n' "$1" "$2" "$3" "$(echo "$3 / $2" | bc -l)" "$(echo "$4 / 1024" | bc -l)"; }
row "quillivar-cli --jobs 1" "$seconds" "$pages" "$peak"
pdf_pages=$(pdfinfo "$work/out/pdf/long-$longest.pdf" 2>/dev/null | sed -n 's/^Pages: *//p')
row "soffice --convert-to pdf alone" "$export" "${pdf_pages:-0}" "$export_peak"
row "soffice, then pdftoppm -r 96" "$(echo "$export + $topdf" | bc -l)" "$written" "$export_peak"

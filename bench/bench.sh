#!/bin/bash
# One run, the same batches for every contender, on this machine:
#   quillivar-cli with 1 job and with N jobs (default: one per processor);
#   soffice --headless --convert-to pdf for each document, then pdftoppm -jpeg -r 96
#     -jpegopt quality=75 for each PDF;
#   one soffice call for the whole batch, then pdftoppm for each PDF.
# Batches: ../shared/corpus (all 64 documents, copied first), a generated batch of 100
# documents of 1 to 30 pages (bench/make-batch.sh; the second argument changes the count), and
# a small one of 10 made the same way; the small batch is timed once more in pairs, our run
# and the one soffice call in turn.
# For each contender: wall time, pages written, pages per second, the largest process's peak
# memory, and the ratio to the best alternative; for quillivar-cli also the floor, the time
# its engines spent inside LibreOffice opening, laying out and drawing, per engine (the sum
# over engines divided by the jobs). Encoding is left out of the floor: it is ours, and runs
# beside the drawing when a processor is free.
#
#   bench/bench.sh [JOBS] [GENERATED_DOCUMENTS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/quillivar-cli"
corpus="${QUILLIVAR_CORPUS:-$root/../shared/corpus}"
jobs=${1:-$(nproc)}
generated=${2:-100}
for tool in soffice pdftoppm bc /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is needed (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "bench: build first (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
find "$corpus" -maxdepth 1 -type f \( -name '*.doc' -o -name '*.docx' -o -name '*.odt' -o -name '*.rtf' \) \
    -exec cp -- {} "$work/corpus/" \;
echo "Making the generated batches..." >&2
"$root/bench/make-batch.sh" "$work/generated" "$generated" >/dev/null
"$root/bench/make-batch.sh" "$work/small" 10 >/dev/null  # where starting engines weighs most

profile="file://$work/soffice-profile"
soffice_pdf() {  # soffice_pdf OUTDIR FILES...
    local out=$1; shift
    timeout 600 soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to pdf --outdir "$out" "$@" \
        >/dev/null 2>&1 || true
}
pdf_pages() {  # pdf_pages PDFDIR JPEGDIR
    local pdf
    for pdf in "$1"/*.pdf; do
        [ -e "$pdf" ] || continue
        pdftoppm -jpeg -r 96 -jpegopt quality=75 "$pdf" "$2/$(basename "${pdf%.pdf}")"
    done
}

# Each contender: measured with GNU time; prints "seconds peak_kib pages [floor_seconds]".
measure() {  # measure NAME COMMAND...
    local name=$1; shift
    rm -rf "$work/run"; mkdir -p "$work/run/pdf" "$work/run/out"
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" 2>"$work/log" >/dev/null || true
    local pages floor=""
    pages=$(find "$work/run/out" -name '*.jpg' | wc -l)
    if grep -q 'inside them' "$work/log"; then
        floor=$(sed -n 's/.*inside them \([0-9.]*\) s opening.*, \([0-9.]*\) s drawing [0-9]* page(s), .*/\1 \2/p' "$work/log" |
                awk -v jobs="$name" '{ print ($1 + $2) / jobs }')
    fi
    # GNU time puts "Command exited with non-zero status" first when a document was reported.
    echo "$(tail -1 "$work/time") $pages $floor"
}

# quillivar-cli and the one-call soffice run three times each and the middle time counts: on
# this virtual machine one run in three can be a quarter slower than the others. soffice per
# document takes minutes; it runs once.
median_of_three() {  # median_of_three NAME COMMAND...
    local runs
    runs=$(for _ in 1 2 3; do measure "$@"; done | sort -g)
    sed -n 2p <<<"$runs"
}

quillivar() {  # quillivar JOBS BATCH
    "$cli" --stats --jobs "$1" --out "$work/run/out" "$2"/*
}
per_document() {  # per_document BATCH
    local document
    for document in "$1"/*; do soffice_pdf "$work/run/pdf" "$document"; done
    pdf_pages "$work/run/pdf" "$work/run/out"
}
one_call() {  # one_call BATCH
    soffice_pdf "$work/run/pdf" "$1"/*
    pdf_pages "$work/run/pdf" "$work/run/out"
}
export -f soffice_pdf pdf_pages per_document one_call quillivar
export work profile cli

# Warm both profiles before any clock starts. soffice reruns its graphics self-test at every
# start until its profile records the version that ran it, which a profile used only headless
# never does (0.8 to 3.1 s a start, depending on the machine): it is recorded here, so that
# soffice is measured at its best.
soffice_pdf "$work/warm" "$work/corpus/tables-mammoth.docx"
version=$(sed -n '/<prop oor:name="ooSetupVersion">/{n;s/.*<value>\(.*\)<\/value>.*/\1/p;q}' \
    "$(dirname "$(readlink -f "$(command -v soffice)")")/../share/registry/main.xcd")
sed -i "s|</oor:items>|<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>$version</value></prop></item>\n</oor:items>|" \
    "$work/soffice-profile/user/registrymodifications.xcu"
"$cli" --out "$work" "$work/corpus/tables-mammoth.docx" >/dev/null 2>&1 || true

report() {  # report BATCH_NAME BATCH
    local batch=$2
    echo "== $1: $(ls "$batch" | wc -l) documents"
    local q1 qn per one
    q1=$(median_of_three 1 bash -c "quillivar 1 '$batch'")
    qn=$(median_of_three "$jobs" bash -c "quillivar $jobs '$batch'")
    per=$(measure 0 bash -c "per_document '$batch'")
    one=$(median_of_three 0 bash -c "one_call '$batch'")
    printf '%-34s %9s %7s %9s %10s %9s %9s\n' contender seconds pages pages/s "peak MiB" "vs best" floor
    local best
    best=$(printf '%s\n%s\n' "$per" "$one" | awk '{ print $1 }' | sort -g | head -1)
    line() {  # line NAME FIGURES
        read -r seconds peak pages floor <<<"$2"
        printf '%-34s %9.2f %7d %9.1f %10.0f %8.2fx %9s\n' "$1" "$seconds" "$pages" "$(echo "$pages / $seconds" | bc -l)" \
            "$(echo "$peak / 1024" | bc -l)" "$(echo "$best / $seconds" | bc -l)" \
            "${floor:+$(printf '%.2f s' "$floor")}"
    }
    line "quillivar-cli --jobs 1" "$q1"
    line "quillivar-cli --jobs $jobs" "$qn"
    line "soffice per document + pdftoppm" "$per"
    line "one soffice call + pdftoppm" "$one"
    echo
}

echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) processors; $(soffice --version | head -1)"
report "corpus" "$work/corpus"
report "generated" "$work/generated"
report "small" "$work/small"

# On this virtual machine the speed drifts by a tenth within minutes, which a run of a second
# feels most: the small batch once more, the N-job run and the one soffice call in turn, and
# the ratio within each pair.
pairs=5
echo "== small, in pairs: quillivar-cli --jobs $jobs, then one soffice call + pdftoppm; $pairs pairs"
runs=$(for _ in $(seq "$pairs"); do
    qn=$(measure "$jobs" bash -c "quillivar $jobs '$work/small'")
    one=$(measure 0 bash -c "one_call '$work/small'")
    echo "${qn%% *} ${one%% *}"
done)
awk '{ printf "%6.2f s against %6.2f s: %.2fx\n", $1, $2, $2 / $1 }' <<<"$runs"
awk '{ print $2 / $1 }' <<<"$runs" | sort -g |
    awk '{ r[NR] = $1 } END { printf "median %.2fx (%.2fx to %.2fx)\n", r[int((NR + 1) / 2)], r[1], r[NR] }'

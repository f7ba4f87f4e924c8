#!/bin/bash
# Engines forked from one prepared LibreOffice against engines started cold, in one run:
#   1. a fresh engine until it is ready and until its first page is written, the two kinds in
#      turn (build/bin/engine-bench, ROUNDS rounds), and the proportional memory of 4 engines
#      of each kind alive at once (Pss of /proc/PID/smaps_rollup, the parent's counted with
#      the forked ones');
#   2. quillivar-cli with 1 and 2 jobs on a small batch of 10 generated documents, on
#      ../shared/corpus and on the generated batch of 100, each before (QUILLIVAR_COLD_ENGINES=1,
#      every engine started cold) and after (engines forked). The small batch, where start-up
#      weighs most, is timed three times and the middle time counts.
#
#   bench/engines.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/quillivar-cli"
bench="$root/build/bin/engine-bench"
corpus="${QUILLIVAR_CORPUS:-$root/../shared/corpus}"
rounds=${1:-10}
[ -x "$cli" ] && [ -x "$bench" ] || { echo "bench: build first (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Making the batches..." >&2
"$root/bench/make-batch.sh" "$work/small" 10 >/dev/null
"$root/bench/make-batch.sh" "$work/generated" 100 >/dev/null
batches="small generated"
if [ -d "$corpus" ]; then
    mkdir -p "$work/corpus"
    find "$corpus" -maxdepth 1 -type f \( -name '*.doc' -o -name '*.docx' -o -name '*.odt' -o -name '*.rtf' \) \
        -exec cp -- {} "$work/corpus/" \;
    batches="small corpus generated"
fi

echo "== A fresh engine: $rounds rounds, each kind in turn (the first page of a bundled sample)"
"$bench" "$root/build/bin/Samples/Welcome Letter.docx" "$rounds" 4

seconds() {  # seconds COLD JOBS BATCH: wall seconds of one run
    rm -rf "$work/out"; mkdir -p "$work/out"
    /usr/bin/time -f '%e' -o "$work/time" env QUILLIVAR_COLD_ENGINES="$1" \
        "$cli" --jobs "$2" --out "$work/out" "$work/$3" >/dev/null 2>&1 || true
    tail -1 "$work/time"
}

echo
echo "== Batches: wall seconds, before (cold) and after (forked)"
printf '%-10s %6s %5s %9s %9s %7s\n' batch pages jobs cold forked ratio
for batch in $batches; do
    for jobs in 1 2; do
        if [ "$batch" = small ]; then
            cold=$(for _ in 1 2 3; do seconds 1 "$jobs" "$batch"; done | sort -g | sed -n 2p)
            forked=$(for _ in 1 2 3; do seconds 0 "$jobs" "$batch"; done | sort -g | sed -n 2p)
        else
            cold=$(seconds 1 "$jobs" "$batch")
            forked=$(seconds 0 "$jobs" "$batch")
        fi
        pages=$(find "$work/out" -type f | wc -l)
        printf '%-10s %6d %5d %9.2f %9.2f %7.2f\n' "$batch" "$pages" "$jobs" "$cold" "$forked" \
            "$(echo "$cold / $forked" | bc -l)"
    done
done

#!/bin/bash
# How large does the engine grow over a long batch? Converts 200 documents (the corpus's
# convertible documents, copied over and over) with quillivar-cli --stats and prints the
# largest engine's peak resident memory, with the default recycling and with none.
#
#   bench/memory.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$root/build/bin/quillivar-cli"
corpus="${QUILLIVAR_CORPUS:-$root/../shared/corpus}"
[ -x "$cli" ] || { echo "memory: build first (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/batch" "$work/out"
mapfile -t convertible < <(awk -F'\t' 'NR > 1 && $7 ~ /^[0-9]+$/ && $5 > 0 { print $1 }' "$corpus/MANIFEST.tsv")
count=0
while [ "$count" -lt 200 ]; do
    for name in "${convertible[@]}"; do
        [ "$count" -lt 200 ] || break
        cp -- "$corpus/$name" "$work/batch/$(printf '%03d' "$count")-$name"
        count=$((count + 1))
    done
done

run() {  # run LABEL OPTIONS...
    local label=$1; shift
    rm -rf "$work/out"; mkdir -p "$work/out"
    local start end
    start=$(date +%s.%N)
    "$cli" --stats "$@" --out "$work/out" "$work"/batch/* 2>"$work/log" || true
    end=$(date +%s.%N)
    printf '%-36s %s pages in %.0f s; %s\n' "$label" "$(ls "$work/out" | wc -l)" "$(echo "$end - $start" | bc)" \
        "$(grep -o '[0-9]* engine(s);.*' "$work/log" | sed 's/; inside them.*largest engine/, largest engine/')"
}

echo "200 documents from $corpus"
run "default recycling (200 docs, 2 GiB)"
run "recycled every 50 documents" --recycle-after 50
run "never recycled" --recycle-after 1000000 --memory-limit 1048576

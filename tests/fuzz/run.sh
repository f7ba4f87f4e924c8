#!/bin/sh
# Builds the fuzzers of the readers that parse documents' bytes before LibreOffice does
# (clang's libFuzzer, with the address and undefined-behaviour sanitizers) and runs each on a
# seed set of real documents: the test documents, the samples and the corpus when there is one.
#   tests/fuzz/run.sh BUILD_DIR [--runs N | --seconds N]   (default: --runs 10000)
# Exits 77 (skipped) where there is no clang; a finding is kept in BUILD_DIR/fuzz/findings.
set -eu
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)/fuzz
shift
limit="-runs=10000"
case "${1:-}" in
    --runs) limit="-runs=$2" ;;
    --seconds) limit="-max_total_time=$2" ;;
    "") ;;
    *) echo "fuzz: unknown option '$1'" >&2; exit 2 ;;
esac
command -v clang++ >/dev/null 2>&1 || { echo "fuzz: no clang++, skipped"; exit 77; }
mkdir -p "$build/seeds" "$build/findings"
cp "$source_dir"/Samples/* "$build/seeds/" 2>/dev/null || true
cp "$source_dir"/../shared/corpus/* "$build/seeds/" 2>/dev/null || true
cp "$build"/../testdata/* "$build/seeds/" 2>/dev/null || true
status=0
for fuzzer in encryption savedbreaks; do
    clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I"$source_dir/src/engine" -I"$source_dir/tests/fuzz" \
        "$source_dir/tests/fuzz/${fuzzer}_fuzzer.cpp" "$source_dir/src/engine/encryption.cpp" \
        "$source_dir/src/engine/savedbreaks.cpp" "$source_dir/src/engine/wholelayout.cpp" \
        "$source_dir/src/engine/zipfile.cpp" \
        -lz -o "$build/$fuzzer" 2>"$build/$fuzzer.build.log" || { cat "$build/$fuzzer.build.log" >&2; exit 1; }
    mkdir -p "$build/$fuzzer.inputs"
    echo "fuzz: $fuzzer ($limit)"
    "$build/$fuzzer" "$limit" -max_len=1048576 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/findings/$fuzzer-" "$build/$fuzzer.inputs" "$build/seeds" \
        >"$build/$fuzzer.log" 2>&1 || { status=1; tail -n 40 "$build/$fuzzer.log" >&2; }
    grep -E "^Done|stat::number_of_executed_units" "$build/$fuzzer.log" | tail -n 1
done
exit "$status"

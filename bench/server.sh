#!/bin/bash
# quillivar-server under load on loopback, against what LibreOffice-based services do per
# request, on this machine in one run:
#   CLIENTS clients at once (default 8) for SECONDS (default 120), each posting the generated
#     batch's documents (bench/make-batch.sh: 1 to 30 pages, .docx, .odt, .doc, .rtf) one
#     after another to quillivar-server (--jobs: one per processor);
#   the baseline: a fresh soffice --convert-to pdf and pdftoppm -jpeg -r 96 per request, one
#     per processor at once, for BASELINE_SECONDS (default 60) over the same documents;
#   the time to the first byte of a 500-page document's answer, and to its last, alone.
# Prints pages per second, the 50th, 95th and 99th percentile latency (and the 99th of the
# 1-page documents), failed requests, the server's and the engines' peak memory, and whether
# anything was left behind once the server was stopped with SIGTERM.
#
#   bench/server.sh [CLIENTS] [SECONDS] [BASELINE_SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
server_program="$root/build/bin/quillivar-server"
clients=${1:-8}
seconds=${2:-120}
baseline_seconds=${3:-60}
for tool in soffice pdftoppm python3 curl; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is needed (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$server_program" ] || { echo "bench: build first (scripts/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
server_pid=""
cleanup() {
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
echo "Making the generated batch and a 500-page document..." >&2
"$root/bench/make-batch.sh" "$work/batch" 100 >/dev/null
"$root/bench/make-long.sh" "$work/long-500.odt" 500
mkdir "$work/tmp" "$work/cache"

# The server on a free port, with a temporary folder and engine profiles of its own.
TMPDIR="$work/tmp" XDG_CACHE_HOME="$work/cache" "$server_program" --listen 127.0.0.1:0 --queue "$clients" \
    2>"$work/server.log" &
server_pid=$!
port=""
for _ in $(seq 120); do
    port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/server.log")
    [ -n "$port" ] && curl -fs "http://127.0.0.1:$port/ready" >/dev/null 2>&1 && break
    sleep 0.5
done
[ -n "$port" ] || { cat "$work/server.log" >&2; echo "bench: the server did not start" >&2; exit 1; }

echo "Loading the server: $clients clients for $seconds s..." >&2
load=$(python3 "$root/bench/server-load.py" serve "$port" "$server_pid" "$clients" "$seconds" "$work"/batch/*)
echo "The 500-page document alone..." >&2
long=$(python3 "$root/bench/server-load.py" first-byte "$port" "$work/long-500.odt")
metrics=$(curl -fs "http://127.0.0.1:$port/metrics")

# Stopped as an orchestrator stops it: exit 0, no engine and no temporary file left.
engines=$(pgrep -P "$server_pid" quillivar-eng | tr '\n' ' ' || true)
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
left_engines=0
for engine in $engines; do
    if kill -0 "$engine" 2>/dev/null; then left_engines=$((left_engines + 1)); fi
done
left_files=$(find "$work/tmp" -mindepth 1 | wc -l)

echo "The baseline: soffice per request, $(nproc) at once for $baseline_seconds s..." >&2
baseline=$(python3 "$root/bench/server-load.py" soffice "$(nproc)" "$baseline_seconds" "$work"/batch/*)

python3 - "$load" "$baseline" "$long" "$status" "$left_engines" "$left_files" "$metrics" <<'PY'
import json, sys
load, baseline, long = (json.loads(text) for text in sys.argv[1:4])
status, left_engines, left_files, metrics = int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6]), sys.argv[7]
lost = next((line.split()[1] for line in metrics.splitlines() if line.startswith("quillivar_engines_lost_total ")), "?")
mib = lambda kib: f"{kib / 1024:.0f} MiB"
seconds = lambda value: "-" if value is None else f"{value:.2f} s"
print(f"{'':34} {'quillivar-server':>18} {'soffice per request':>20}")
print(f"{'at once':34} {str(load['clients']) + ' clients':>18} {str(baseline['workers']) + ' workers':>20}")
print(f"{'requests answered (failed)':34} {'%d (%d)' % (load['requests'], load['failed']):>18} "
      f"{'%d (%d)' % (baseline['requests'], baseline['failed']):>20}")
print(f"{'pages in ' :34} {'%d in %.0f s' % (load['pages'], load['seconds']):>18} "
      f"{'%d in %.0f s' % (baseline['pages'], baseline['seconds']):>20}")
print(f"{'pages per second':34} {load['pages_per_s']:>18.2f} {baseline['pages_per_s']:>20.2f}")
for key, name in (("p50_s", "latency, 50th percentile"), ("p95_s", "latency, 95th percentile"),
                  ("p99_s", "latency, 99th percentile"), ("one_page_p99_s", "1-page documents, 99th percentile")):
    print(f"{name:34} {seconds(load[key]):>18} {seconds(baseline[key]):>20}")
print(f"{'1-page requests':34} {load['one_page_requests']:>18} {baseline['one_page_requests']:>20}")
print()
print(f"pages per second against the baseline: {load['pages_per_s'] / max(baseline['pages_per_s'], 1e-9):.1f} times")
print(f"peak memory: server {mib(load['server_peak_kib'])}, largest engine {mib(load['engine_peak_kib'])}, "
      f"engines together {mib(load['engines_together_peak_kib'])}; engines lost: {lost}")
print(f"500-page document alone ({long['pages']} pages): first byte {long['first_byte_s']:.2f} s, "
      f"last byte {long['last_byte_s']:.2f} s ({100 * long['first_share']:.0f} %)")
print(f"stopped with SIGTERM: exit status {status}, engines left {left_engines}, temporary files left {left_files}")
for failure in load["failures"]:
    print(f"failed: {failure}")
PY

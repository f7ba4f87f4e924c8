#!/bin/sh
# The program as a user starts it, on an X display (Xvfb): the sample documents in the list,
# a click on "Start Saving As JPG", the "Done." box, every page written, and no engine left
# running once the run is over.
#   window-under-xvfb.sh PROGRAM SAMPLES_FOLDER      (run it on a display: on-own-display.sh)
set -eu
program=$1
samples=$2
work=$(mktemp -d)
trap 'kill "$app" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "window-under-xvfb: $*" >&2; exit 1; }

mkdir -p "$work/out" "$work/home/.config/Tarvelin"
printf '[General]\nText1=%s/out/\n' "$work" > "$work/home/.config/Tarvelin/Quillivar.ini"
cp "$samples"/* "$work/"

HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" "$program" "$work"/*.doc "$work"/*.docx "$work"/*.odt "$work"/*.rtf &
app=$!

visible_windows() { xdotool search --onlyvisible --name '^Quillivar$' 2>/dev/null || true; }
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
    limit=$(( $1 * 5 )); shift
    while ! "$@"; do
        limit=$((limit - 1)); [ "$limit" -gt 0 ] || return 1
        sleep 0.2
    done
}
one_window() { [ "$(visible_windows | wc -l)" -ge 1 ]; }
two_windows() { [ "$(visible_windows | wc -l)" -ge 2 ]; }
# The window keeps its engine parent (quillivar-engine --children) while it is open; no engine
# forked from it, and no other, outlives a run.
no_engines() {
    for pid in $(ps -o pid= --ppid "$app"); do
        grep -qa -- --children "/proc/$pid/cmdline" 2>/dev/null || return 1
        [ -z "$(ps -o pid= --ppid "$pid")" ] || return 1
    done
}

wait_for 60 one_window || fail "the window did not appear"
window=$(visible_windows | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" -eq 536 ] && [ "$HEIGHT" -eq 505 ] || fail "the window is ${WIDTH}x${HEIGHT}, not 536x505"
wait_for 30 no_engines || fail "the start-up check left an engine running"

# "Start Saving As JPG" spans the window's width at y 437 to 464.
xdotool mousemove $((X + 268)) $((Y + 450)) click 1
wait_for 120 two_windows || fail "no message box after the run"
xdotool key Return

pages=$(ls "$work/out" | wc -l)
[ "$pages" -eq 7 ] || fail "expected 7 page images, found $pages: $(ls "$work/out")"
wait_for 30 no_engines || fail "an engine outlived the run"
echo "window-under-xvfb: 7 pages written, no engine left"

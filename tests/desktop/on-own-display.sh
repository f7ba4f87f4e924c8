#!/bin/sh
# Runs a command on an X display of its own (Xvfb, 800x600) and stops the server once the command
# has ended, waiting until it is gone. Xvfb picks a free display number itself (-displayfd) under
# its own lock, where xvfb-run -a guesses one from lock files and leaves its server ending in the
# background, so that tests side by side or one after another could lose their display.
#   on-own-display.sh COMMAND [ARGUMENT...]      (exits with the command's status)
set -eu
work=$(mktemp -d)
server=""
stop_server() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop_server EXIT
trap 'exit 143' TERM INT

: > "$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/server.log" &
server=$!
# The number is written once the server takes connections.
tries=0
until [ "$(wc -l < "$work/display")" -ge 1 ]; do
    if ! kill -0 "$server" 2>/dev/null || [ "$tries" -ge 300 ]; then
        echo "on-own-display: the X server did not start:" >&2
        cat "$work/server.log" >&2
        exit 1
    fi
    tries=$((tries + 1))
    sleep 0.1
done

status=0
DISPLAY=":$(cat "$work/display")" XAUTHORITY=/dev/null "$@" || status=$?
exit "$status"

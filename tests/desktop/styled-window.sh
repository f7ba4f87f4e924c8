# Sourced by the desktop tests: waits for the Quillivar window on the X display and checks that
# it wears the program's style sheet (its start button is dark blue), or calls fail.
#   check_styled_window WHAT      (WHAT names the program in the failure text; $app is its process)
check_styled_window() {
    tries=0
    until window=$(xdotool search --onlyvisible --name '^Quillivar$' 2>/dev/null | head -1) && [ -n "$window" ]; do
        kill -0 "$app" 2>/dev/null || fail "the $1 window ended before it appeared"
        tries=$((tries + 1)); [ "$tries" -lt 300 ] || fail "the $1 window did not appear"
        sleep 0.2
    done
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    colour=$(import -window root -crop "1x1+$((X + 30))+$((Y + 450))" -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}')
    red=$(printf '%d' "0x$(echo "$colour" | cut -c2-3)")
    blue=$(printf '%d' "0x$(echo "$colour" | cut -c6-7)")
    [ "$blue" -gt 100 ] && [ "$red" -lt 100 ] || fail "the start button is $colour: the $1 window did not find its style sheet"
}

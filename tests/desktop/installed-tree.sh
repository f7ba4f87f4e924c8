#!/bin/sh
# `cmake --install` gives a working tree: the three programs in bin/, the engine in lib/quillivar,
# the data folder in share/quillivar, a desktop entry and icons where desktops look, the manual
# pages and the licence. The installed programs find their engine and their data there.
#   installed-tree.sh BUILD_FOLDER      (run it on a display: on-own-display.sh)
set -eu
build=$1
work=$(mktemp -d)
app=""
trap 'kill "$app" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "installed-tree: $*" >&2; exit 1; }
. "$(dirname "$0")/styled-window.sh"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cd "$work/prefix"
for file in bin/quillivar bin/quillivar-cli bin/quillivar-server lib/quillivar/quillivar-engine \
            share/quillivar/HAND-M.CUR share/quillivar/drag.ico share/quillivar/x/o.cjs \
            share/quillivar/icons/quillivar-256.png "share/quillivar/Samples/Welcome Letter.docx" \
            share/applications/quillivar.desktop share/icons/hicolor/48x48/apps/quillivar.png \
            share/man/man1/quillivar.1.gz share/man/man1/quillivar-cli.1.gz share/man/man1/quillivar-server.1.gz \
            share/doc/quillivar/copyright; do
    [ -e "$file" ] || fail "$file is missing"
done
[ "$(ls bin)" = "$(printf 'quillivar\nquillivar-cli\nquillivar-server')" ] || fail "bin/ holds other than the three programs: $(ls bin)"

mkdir -p "$work/out"
bin/quillivar-cli --out "$work/out" share/quillivar/Samples/* 2>/dev/null || fail "the installed command line failed"
[ "$(ls "$work/out" | wc -l)" -eq 7 ] || fail "the installed command line wrote $(ls "$work/out" | wc -l) pages, not 7"

# The installed window wears the style sheet of share/quillivar: its start button is dark blue.
mkdir -p "$work/home/.config"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" bin/quillivar &
app=$!
check_styled_window installed
echo "installed-tree: complete, and the installed programs found their engine and data"

#!/bin/sh
# The Debian package from end to end: made by cpack in a folder of its own (never in the build
# tree), checked by lintian, installed with apt-get, its programs run from /usr, then removed
# with nothing of it left behind. Installing needs root: as anyone else it stops after lintian
# and reports itself skipped.
#   package-install.sh BUILD_FOLDER SOURCE_FOLDER      (run it on a display: on-own-display.sh)
set -eu
build=$1
source=$2
skipped=77
fail() { echo "package: $*" >&2; exit 1; }
. "$(dirname "$0")/../desktop/styled-window.sh"

work=$(mktemp -d)
chmod 755 "$work"  # apt reads the package from here as its own unprivileged user
app=""
installed=no
cleanup() {
    if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; fi
    if [ "$installed" = yes ]; then
        apt-get purge -y -q -o DPkg::Lock::Timeout=300 quillivar >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

if ! command -v dpkg-deb >/dev/null 2>&1; then
    echo "package: SKIPPED: this is not a Debian system (no dpkg-deb)"
    exit "$skipped"
fi
command -v lintian >/dev/null 2>&1 || fail "lintian is missing (scripts/setup.sh installs it)"

# --- Made, and checked by lintian -------------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
set -- "$work"/package/*.deb
[ -f "$1" ] || fail "cpack made no package: $(ls "$work/package")"
deb=$1
[ "${deb##*/}" = "quillivar_$(dpkg-deb -f "$deb" Version)_amd64.deb" ] || fail "the package is called ${deb##*/}"

if ! lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log" >&2
    fail "lintian found errors in the package"
fi
grep -v 'running with root privileges' "$work/lintian.log" || true

# The package depends on every run-time package that scripts/setup.sh installs.
depends=$(dpkg-deb -f "$deb" Depends)
for package in $(sed 's/#.*//' "$source/packaging/runtime-packages"); do
    case ", $depends," in
        *", $package,"* | *", $package ("*) ;;
        *) fail "the package does not depend on $package: Depends: $depends" ;;
    esac
done

if [ "$(id -u)" -ne 0 ]; then
    echo "package: made, and lintian found no errors; SKIPPED installing it: apt-get needs root"
    exit "$skipped"
fi

# --- Installed ----------------------------------------------------------------------------------
status=$(dpkg-query -W -f='${db:Status-Status}' quillivar 2>/dev/null || true)
case "$status" in
    "" | not-installed) ;;
    *) fail "a quillivar package is already on this system ($status); this test installs and removes one of its own, so remove that first: apt-get purge quillivar" ;;
esac
for file in /usr/bin/quillivar /usr/bin/quillivar-cli /usr/lib/quillivar /usr/share/quillivar; do
    [ ! -e "$file" ] || fail "$file is already there, not from a package (cmake --install --prefix /usr?); installing the package would overwrite it"
done

installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=300 \
    --no-install-recommends "$deb" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "apt-get could not install the package"; }
dpkg-query -L quillivar >"$work/listed"

for file in /usr/bin/quillivar /usr/bin/quillivar-cli /usr/bin/quillivar-server /usr/lib/quillivar/quillivar-engine \
            /usr/share/quillivar/x/o.cjs /usr/share/quillivar/HAND-M.CUR \
            /usr/share/applications/quillivar.desktop /usr/share/icons/hicolor/48x48/apps/quillivar.png \
            /usr/share/man/man1/quillivar.1.gz /usr/share/man/man1/quillivar-cli.1.gz \
            /usr/share/man/man1/quillivar-server.1.gz /usr/share/doc/quillivar/copyright /usr/share/doc/quillivar/changelog.gz; do
    [ -e "$file" ] || fail "the package did not install $file"
done

# The manual pages are those of the installed programs: their version, and every option --help names.
export QT_QPA_PLATFORM=offscreen
for program in quillivar quillivar-cli quillivar-server; do
    manual=$(gzip -dc "/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
    version=$("/usr/bin/$program" --version | head -1 | awk '{print $NF}')
    echo "$manual" | grep -q "^\.TH .* $version\"" ||
        fail "the manual page of $program is not that of version $version"
    for option in $("/usr/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        echo "$manual" | grep -q -- "$option" || fail "the manual page of $program does not mention $option"
    done
done
unset QT_QPA_PLATFORM

# The installed command line converts the installed samples: the same pages as the build tree's.
mkdir -p "$work/home/.config" "$work/cache" "$work/installed" "$work/built"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/cache"
/usr/bin/quillivar-cli --out "$work/installed" /usr/share/quillivar/Samples/* 2>"$work/cli.log" ||
    { cat "$work/cli.log" >&2; fail "the installed quillivar-cli failed on the samples"; }
"$build/bin/quillivar-cli" --out "$work/built" "$build"/bin/Samples/* 2>"$work/cli.log" ||
    { cat "$work/cli.log" >&2; fail "the build tree's quillivar-cli failed on the samples"; }
pages=$(ls "$work/built")
[ -n "$pages" ] || fail "the build tree's quillivar-cli wrote no pages"
[ "$(ls "$work/installed")" = "$pages" ] ||
    fail "the installed quillivar-cli wrote $(ls "$work/installed" | tr '\n' ' '), not $(echo "$pages" | tr '\n' ' ')"
for page in "$work"/installed/*; do
    [ "$(od -An -tx1 -N3 "$page" | tr -d ' ')" = ffd8ff ] || fail "$page is not a JPEG image"
done
echo "package: the installed quillivar-cli wrote $(echo "$pages" | wc -l) pages of the samples"

# The installed window wears the style sheet of /usr/share/quillivar: its start button is dark blue.
/usr/bin/quillivar &
app=$!
check_styled_window installed
kill "$app"
wait "$app" 2>/dev/null || true
app=""

# --- Removed ------------------------------------------------------------------------------------
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q -o DPkg::Lock::Timeout=300 quillivar \
    >"$work/remove.log" 2>&1 || { cat "$work/remove.log" >&2; fail "apt-get could not remove the package"; }
installed=no
status=$(dpkg-query -W -f='${db:Status-Status}' quillivar 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "after apt-get remove, the package is still '$status'"
left=""
while IFS= read -r path; do
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        # A folder stays only while another package holds it too.
        dpkg-query -S "$path" >/dev/null 2>&1 || left="$left
  $path/"
    elif [ -e "$path" ] || [ -L "$path" ]; then
        left="$left
  $path"
    fi
done <"$work/listed"
[ -z "$left" ] || fail "apt-get remove left these behind:$left"
echo "package: $(wc -l <"$work/listed") paths installed, run and removed without a trace"

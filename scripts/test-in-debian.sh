#!/bin/sh
# Runs the README's test command in another Debian, as a new user's clone there would: a
# Debian root made with debootstrap, the commit under test cloned into its /root (a private
# home folder), the corpus beside it when this checkout has one.
#
# The root is kept in a cache folder between runs and made anew when the packages that set-up
# installs change. Mounts live in a mount namespace of their own and every process in a PID
# namespace of its own, so both end with the run, however it ends. Needs root.
set -eu

usage() {
    cat <<'TXT'
Usage: scripts/test-in-debian.sh SUITE [--backports] [--without-corpus] [--keep]

Runs ./scripts/test.sh for the commit checked out (HEAD) in a Debian SUITE root (bookworm,
trixie, ...), in a clone in /root as a new user makes one.
  --backports   LibreOffice from SUITE's backports (./scripts/setup.sh --backports)
  --without-corpus  no ../shared/corpus beside the clone, as in a user's clone
  --keep        leave the clone in the root afterwards, for a look inside
Roots are kept in $QUILLIVAR_ROOTS (default /var/cache/quillivar/roots).
The Debian mirror is $QUILLIVAR_MIRROR (default http://deb.debian.org/debian).
TXT
}

suite=""
backports=""
keep=""
corpus=yes
for argument in "$@"; do
    case "$argument" in
        -h | --help) usage; exit 0 ;;
        --backports) backports="--backports" ;;
        --keep) keep=yes ;;
        --without-corpus) corpus="" ;;
        -*) echo "test-in-debian: unknown option '$argument' (try --help)" >&2; exit 2 ;;
        *) [ -z "$suite" ] || { echo "test-in-debian: one suite only (try --help)" >&2; exit 2; }
           suite="$argument" ;;
    esac
done
[ -n "$suite" ] || { usage >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "test-in-debian: needs root (debootstrap, chroot)" >&2; exit 1; }

cd "$(dirname "$0")/.."
checkout="$PWD"
mirror="${QUILLIVAR_MIRROR:-http://deb.debian.org/debian}"
roots="${QUILLIVAR_ROOTS:-/var/cache/quillivar/roots}"
root="$roots/$suite${backports:+-backports}"

for tool in debootstrap unshare git; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "test-in-debian: installing $tool"
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            "$( [ "$tool" = unshare ] && echo util-linux || echo "$tool" )" >/dev/null
    }
done

# The root is made anew when what set-up installs into it changes.
stamp=$(cat scripts/setup.sh packaging/runtime-packages | sha256sum | cut -c1-16)
if [ ! -f "$root/.quillivar-stamp" ] || [ "$(cat "$root/.quillivar-stamp")" != "$stamp" ]; then
    echo "test-in-debian: making a Debian $suite root in $root"
    rm -rf "$root"
    mkdir -p "$roots"
    debootstrap --variant=minbase --include=ca-certificates,sudo "$suite" "$root.new" "$mirror" \
        >"$root.debootstrap.log" 2>&1 || {
        echo "test-in-debian: debootstrap failed; see $root.debootstrap.log" >&2
        rm -rf "$root.new"
        exit 1
    }
    cat >"$root.new/etc/apt/sources.list" <<LIST
deb $mirror $suite main
deb $mirror $suite-updates main
LIST
    echo "$stamp" >"$root.new/.quillivar-stamp"
    mv "$root.new" "$root"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

# The commit under test, cloned as a user clones it; the corpus beside it, as here.
home="$root/root"
rm -rf "$home/quillivar" "$home/shared"
git clone -q --no-hardlinks "$checkout" "$home/quillivar"
git -C "$home/quillivar" checkout -q "$(git rev-parse HEAD)"
if [ -n "$corpus" ] && [ -f ../shared/corpus/MANIFEST.tsv ]; then
    mkdir -p "$home/shared"
    cp -r ../shared/corpus "$home/shared/corpus"
fi
chmod 0700 "$home"

echo "test-in-debian: testing $(git rev-parse --short HEAD) in Debian $suite${backports:+ with backports}"
status=0
unshare --mount --pid --fork --kill-child --propagation private sh -eu -c '
    root="$1"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount -t sysfs sysfs "$root/sys"
    mount -t tmpfs tmpfs "$root/tmp"
    mount -t tmpfs tmpfs "$root/dev/shm"
    exec chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 CI="${CI:-}" sh -eu -c "cd /root/quillivar && ./scripts/setup.sh $2 && ./scripts/test.sh"
' test-in-debian "$root" "$backports" || status=$?

[ -n "$keep" ] || rm -rf "$home/quillivar" "$home/shared"
if [ "$status" -ne 0 ]; then
    echo "test-in-debian: the tests failed in Debian $suite (status $status)" >&2
fi
exit "$status"

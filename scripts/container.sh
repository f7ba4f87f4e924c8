#!/bin/sh
# Builds the container image from the Containerfile and tests it on this machine: the samples
# converted through quillivar-server inside it and through quillivar-cli inside it come out the
# same, the server runs as a user who is not root, and its health check passes.
#
# Uses Debian's docker.io. When no Docker daemon runs, one is started for the run (without a
# bridge or firewall rules; containers get no network, builds the host's) and stopped after.
# Where debian:13-slim cannot be pulled, a base image of that name is made with debootstrap.
# Exit status 77 (and a line starting "SKIP") where no container runtime can run here.
set -eu

usage() {
    cat <<'TXT'
Usage: scripts/container.sh [--tag NAME] [--no-backports]

Builds the image (default tag quillivar:VERSION) and tests it; prints the tag at the end.
  --tag NAME    tag the image NAME
  --no-backports  Debian 13's own LibreOffice (25.2), not its backports' (26.8): the build
                  argument LIBREOFFICE_FROM_BACKPORTS=no
The Debian mirror for a base image made with debootstrap is $QUILLIVAR_MIRROR
(default http://deb.debian.org/debian).
TXT
}

cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Quillivar VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tag="quillivar:$version"
backports=yes
while [ $# -gt 0 ]; do
    case "$1" in
        -h | --help) usage; exit 0 ;;
        --tag) [ $# -ge 2 ] || { echo "container: --tag needs a name" >&2; exit 2; }; tag="$2"; shift ;;
        --no-backports) backports=no ;;
        *) echo "container: unknown option '$1' (try --help)" >&2; exit 2 ;;
    esac
    shift
done
base="debian:13-slim"
mirror="${QUILLIVAR_MIRROR:-http://deb.debian.org/debian}"

skip() {
    echo "SKIP: $1"
    exit 77
}
say() { echo "container: $*"; }

# Everything this run starts or makes goes when it ends, however it ends.
work=$(mktemp -d "${TMPDIR:-/tmp}/quillivar-container.XXXXXX")
daemon_pid=""
server=""
cleanup() {
    status=$?
    [ -z "$server" ] || docker rm -f "$server" >/dev/null 2>&1 || true
    if [ -n "$daemon_pid" ]; then
        kill "$daemon_pid" 2>/dev/null || true
        # dockerd ends its containerd and unmounts its layers on the way out.
        for _ in $(seq 60); do kill -0 "$daemon_pid" 2>/dev/null || break; sleep 1; done
        # All but the network namespace it mounts for itself.
        ! mountpoint -q /run/docker/netns/default || umount /run/docker/netns/default
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- A container runtime ------------------------------------------------------------------
command -v docker >/dev/null 2>&1 || skip "no container runtime: docker is not installed (Debian: apt-get install docker.io)"
if ! docker info >/dev/null 2>&1; then
    [ "$(id -u)" -eq 0 ] || skip "no Docker daemon runs, and only root may start one"
    command -v dockerd >/dev/null 2>&1 || skip "no Docker daemon runs, and dockerd is not installed"
    say "starting dockerd for this run"
    dockerd --bridge=none --iptables=false --pidfile "$work/docker.pid" >"$work/dockerd.log" 2>&1 &
    daemon_pid=$!
    for _ in $(seq 60); do
        docker info >/dev/null 2>&1 && break
        kill -0 "$daemon_pid" 2>/dev/null || break
        sleep 1
    done
    docker info >/dev/null 2>&1 || skip "dockerd cannot run here: $(tail -n 1 "$work/dockerd.log")"
fi

# --- The base image -----------------------------------------------------------------------
if ! docker image inspect "$base" >/dev/null 2>&1 && ! timeout 120 docker pull -q "$base" >/dev/null 2>&1; then
    command -v debootstrap >/dev/null 2>&1 ||
        { echo "container: $base cannot be pulled and debootstrap is missing (apt-get install debootstrap)" >&2; exit 1; }
    say "$base cannot be pulled: making it with debootstrap from $mirror"
    debootstrap --variant=minbase trixie "$work/root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log" >&2; echo "container: debootstrap failed" >&2; exit 1; }
    rm -rf "$work/root/var/cache/apt/archives/"*.deb "$work/root/var/lib/apt/lists/"*
    tar -C "$work/root" -c . | docker import -c 'CMD ["bash"]' - "$base" >/dev/null
    rm -rf "$work/root"
fi

# --- The image ----------------------------------------------------------------------------
say "building $tag (LibreOffice from backports: $backports)"
DOCKER_BUILDKIT=0 docker build --network host --build-arg "LIBREOFFICE_FROM_BACKPORTS=$backports" -f Containerfile -t "$tag" . \
    >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; echo "container: the image did not build" >&2; exit 1; }

# --- The test -----------------------------------------------------------------------------
# The server as the image starts it, without a network: it is spoken to from inside, with the
# image's own curl, as its health check does.
fail() {
    echo "container: FAILED: $*" >&2
    exit 1
}
mkdir -m 0755 "$work/samples" && cp Samples/* "$work/samples/"
mkdir -m 1777 "$work/cli"
server="quillivar-test-$$"
docker run -d --name "$server" --network none -v "$work/samples:/samples:ro" "$tag" >/dev/null
health=""
for _ in $(seq 120); do
    health=$(docker inspect -f '{{.State.Health.Status}}' "$server")
    [ "$health" = starting ] || break
    sleep 1
done
[ "$health" = healthy ] || fail "the health check says '$health'; the server said: $(docker logs "$server" 2>&1 | tail -n 5)"
pid=$(docker inspect -f '{{.State.Pid}}' "$server")
uid=$(awk '/^Uid:/ { print $2 }' "/proc/$pid/status")
[ "$uid" != 0 ] || fail "the server runs as root"
say "the server is healthy and runs as user $uid"

set --
for sample in "$work"/samples/*; do set -- "$@" -F "file=@/samples/$(basename "$sample")"; done
docker exec "$server" curl -fsS "$@" -o /tmp/pages.zip http://127.0.0.1:8080/v1/convert ||
    fail "the server did not convert the samples: $(docker logs "$server" 2>&1 | tail -n 5)"
docker cp "$server:/tmp/pages.zip" "$work/pages.zip"
docker run --rm --network none -v "$work/samples:/samples:ro" -v "$work/cli:/work" "$tag" \
    sh -c 'quillivar-cli --out /work /samples/*' >"$work/cli.log" 2>&1 ||
    { cat "$work/cli.log" >&2; fail "quillivar-cli did not convert the samples"; }

python3 - "$work/pages.zip" "$work/cli" <<'PY' || fail "the server's pages are not quillivar-cli's"
import hashlib, json, pathlib, sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
assert archive.testzip() is None, "a damaged entry"
served = {name: archive.read(name) for name in archive.namelist()}
manifest = json.loads(served.pop("manifest.json"))
written = {path.name: path.read_bytes() for path in pathlib.Path(sys.argv[2]).iterdir()}
assert written, "quillivar-cli wrote nothing"
assert served.keys() == written.keys(), f"{sorted(served)} != {sorted(written)}"
for name, data in written.items():
    assert served[name] == data, f"{name} differs"
listed = {page["file"]: page["sha256"] for document in manifest["documents"] for page in document["pages"]}
assert all(document["outcome"] == "converted" for document in manifest["documents"]), manifest
assert listed == {name: hashlib.sha256(data).hexdigest() for name, data in written.items()}, "the manifest is wrong"
print(f"container: {len(written)} pages of {len(manifest['documents'])} samples, the same from both programs")
PY
echo "$tag"

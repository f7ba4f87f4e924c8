# The Quillivar image: quillivar-server on port 8080, and quillivar-cli beside it.
#
#   docker build -f Containerfile -t quillivar:0.1.0 .      (or: scripts/container.sh)
#   docker run --rm -p 127.0.0.1:8080:8080 quillivar:0.1.0
#   docker run --rm -v "$PWD:/work" quillivar:0.1.0 quillivar-cli --out /work/pages /work/Report.docx
#
# Plain Dockerfile syntax, no BuildKit features: Debian's docker.io (its classic builder) and
# podman both build it.
#
# LibreOffice comes from the Debian release's backports (26.8 on Debian 13, which gives a
# long document's first pages without laying out the rest), with whatever it needs from there,
# in both stages, as scripts/setup.sh --backports does. LIBREOFFICE_FROM_BACKPORTS=no takes
# the release's own (25.2).
ARG BASE=debian:13-slim

# --- Build: the Debian package, made by the project's own scripts --------------------------
FROM ${BASE} AS build
ARG LIBREOFFICE_FROM_BACKPORTS=yes
WORKDIR /src
COPY . .
RUN set -eu; \
    if [ "$LIBREOFFICE_FROM_BACKPORTS" = yes ]; then backports=--backports; else backports=""; fi; \
    rm -rf build; \
    ./scripts/package.sh --no-tests $backports; \
    mkdir /package && cp build/package/quillivar_*.deb /package/

# --- Run: the package installed with apt-get, as a user who is not root --------------------
FROM ${BASE}
ARG LIBREOFFICE_FROM_BACKPORTS=yes
COPY --from=build /package/ /tmp/package/
# One install, so that what LibreOffice and curl share (libcurl) comes from one release.
RUN set -eu; \
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME"); \
    if [ "$LIBREOFFICE_FROM_BACKPORTS" = yes ]; then \
        echo "deb http://deb.debian.org/debian $codename-backports main" >/etc/apt/sources.list.d/backports.list; \
    fi; \
    apt-get update -q; \
    release=""; \
    if [ "$LIBREOFFICE_FROM_BACKPORTS" = yes ]; then release="$codename-backports"; fi; \
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ${release:+-t "$release"} \
        /tmp/package/quillivar_*.deb curl ca-certificates; \
    rm -rf /tmp/package /var/lib/apt/lists/*; \
    useradd --system --uid 10001 --create-home --home-dir /home/quillivar --shell /usr/sbin/nologin quillivar; \
    mkdir -m 1777 /work

# Engine profiles under /tmp, so that the image also runs as any other user (docker run --user).
ENV XDG_CACHE_HOME=/tmp/cache LANG=C.UTF-8
USER quillivar
WORKDIR /work
EXPOSE 8080
HEALTHCHECK --interval=15s --timeout=5s --start-period=60s --retries=3 \
    CMD curl -fsS -o /dev/null http://127.0.0.1:8080/health || exit 1
CMD ["quillivar-server", "--listen", "0.0.0.0:8080"]

#!/bin/sh
# Converts the documents of a folder shared by several machines (the same path on each, for
# example over NFS) with GNU parallel over ssh: one shard per machine named in HOSTS.
#   HOSTS="alpha beta gamma" ./parallel-ssh.sh /shared/documents /shared/pages
set -eu
documents=$1
pages=$2
set -- $HOSTS
shards=$#
# One shard at a time on each machine, so each takes one; each writes its own JSON lines.
seq 1 "$shards" | parallel --jobs 1 --sshlogin "$(echo "$HOSTS" | tr ' ' ',')" \
    "quillivar-cli --shard {}/$shards --json --out '$pages' '$documents' > '$pages/shard-{}.jsonl' || [ \$? -eq 1 ]"
# Every document once, with its outcome; the failures apart.
cat "$pages"/shard-*.jsonl > "$pages/all.jsonl"
jq -r 'select(.outcome != "converted") | "\(.outcome)\t\(.path // .path_base64)"' "$pages/all.jsonl"

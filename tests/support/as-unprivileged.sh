#!/usr/bin/env bash
# Runs a test program as the unprivileged user nobody when started as root, so that the tests of what
# file permissions refuse run in CI too (root is refused nothing). The program gets a temporary folder
# of its own that nobody may write; as any other user it runs as it is.
# Usage: as-unprivileged.sh <program> [arguments...]
set -euo pipefail
if [[ $(id -u) -ne 0 ]]; then
  exec "$@"
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chown 65534:65534 "$scratch"
chmod 700 "$scratch"
status=0
TMPDIR="$scratch" HOME="$scratch" setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all \
  --bounding-set=-all -- "$@" || status=$?
exit "$status"

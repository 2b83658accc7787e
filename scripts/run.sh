#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it. Usage: scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target nudgerly
exec build/default/bin/nudgerly "$@"

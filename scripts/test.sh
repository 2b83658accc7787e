#!/usr/bin/env bash
# Installs what is missing, builds the optimised and the sanitizer presets and runs every test under
# both, then gives every fuzz target a short run (NUDGERLY_FUZZ_SECONDS, default 10 s each).
# Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== format =="
scripts/check-format.sh

for preset in default asan; do
  echo "== ${preset}: configure and build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

status=0
for preset in default asan; do
  echo "== ${preset}: tests =="
  ctest --preset "$preset" || status=$?
done

echo "== fuzz: short run of every target =="
scripts/fuzz.sh "${NUDGERLY_FUZZ_SECONDS:-10}" || status=$?
exit "$status"

#!/usr/bin/env bash
# Refuses a C++ file of the tree that differs from the house style (.clang-format), naming each place.
# Usage: scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

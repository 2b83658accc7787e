#!/usr/bin/env bash
# Builds the program and its model runtime (the default preset) and makes the Debian package of them,
# with its dependencies read from the shared libraries they link. Prints the package's path.
# Install it as root with: apt-get install ./build/default/package/nudgerly_<version>_<arch>.deb
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target nudgerly model_runtime
rm -f build/default/package/*.deb
(cd build/default && cpack -G DEB >/dev/null)
ls build/default/package/*.deb

#!/usr/bin/env bash
# Puts the pinned llama.cpp release's source tree into the given folder, for building the model runtime.
#
# The release archive of the llama.cpp project comes first. Where only Debian's and npm's registries are
# reachable, the same release comes from the npm package node-llama-cpp, which carries it as a git bundle:
# the package must have the pinned integrity and the bundle the pinned commit. Either way the unpacked
# tree must have the pinned SHA-256 tree id (git's tree hash in SHA-256 form, over every file and its
# executable bit), so both roads give the same bytes or nothing. The folder is filled only once the
# tree has passed; a folder that already holds the pinned tree is left as it is.
#
# Usage: scripts/fetch-llama-cpp.sh <folder>
set -euo pipefail

release=v0.5.0
tree_sha256=8fb5f73842e6e95f787cceda1cda284aa1f7eb7c08e10e6de98f6e8d200786d3
archive_url="https://github.com/ggml-org/llama.cpp/archive/refs/tags/${release}.tar.gz"
npm_package=node-llama-cpp@3.22.1
npm_integrity=sha512-bltIipuWmc123H7tMIgDGKSsSrhmhlQYeVUC48XTjVW7XGJJiJJyCdlTMzQ/LiWoPkGDpcL4FviDpgw7qfTiDw==
bundle_commit=de3ff815ea7d559ee917f063901b8986f038abc6

if [ "$#" -ne 1 ]; then
  echo "Usage: scripts/fetch-llama-cpp.sh <folder>" >&2
  exit 2
fi
dest=$1
marker="$dest/.nudgerly-llama-cpp-tree"

if [ -f "$marker" ] && [ "$(cat "$marker")" = "$tree_sha256" ]; then
  exit 0
fi

mkdir -p "$(dirname "$dest")"
work=$(mktemp -d "${dest%/}.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree="$work/tree"
mkdir -p "$tree"

# The tree id of a folder's files, whatever ignore rules the tree itself carries.
tree_id() {
  local index="$work/index"
  rm -f "$index"
  (cd "$1" && GIT_DIR="$work/hash.git" GIT_INDEX_FILE="$index" GIT_WORK_TREE=. git add -A -f . &&
    GIT_DIR="$work/hash.git" GIT_INDEX_FILE="$index" git write-tree)
}
git init -q --bare --object-format=sha256 "$work/hash.git"

from_archive() {
  echo "Fetching llama.cpp ${release} from its release archive"
  curl -fsSL --connect-timeout 15 --max-time 600 -o "$work/release.tar.gz" "$archive_url" || return 1
  tar -xzf "$work/release.tar.gz" -C "$tree" --strip-components=1 --no-same-owner
}

from_npm() {
  echo "Taking llama.cpp ${release} from the npm package ${npm_package}"
  local pack="$work/npm"
  mkdir -p "$pack"
  (cd "$pack" && npm pack --silent --cache "$work/npm-cache" "$npm_package" >/dev/null)
  local tarball
  tarball=$(ls "$pack"/*.tgz)
  local integrity
  integrity="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
  if [ "$integrity" != "$npm_integrity" ]; then
    echo "fetch-llama-cpp: ${npm_package} has integrity ${integrity}, not the pinned one" >&2
    exit 1
  fi
  tar -xzf "$tarball" -C "$pack" --no-same-owner package/llama/gitRelease.bundle package/llama/llama.cpp.info.json
  local bundle_repo="$work/bundle.git"
  git init -q --bare "$bundle_repo"
  git -C "$bundle_repo" fetch -q "$pack/package/llama/gitRelease.bundle" HEAD
  local commit
  commit=$(git -C "$bundle_repo" rev-parse FETCH_HEAD)
  if [ "$commit" != "$bundle_commit" ]; then
    echo "fetch-llama-cpp: the bundle of ${npm_package} holds ${commit}, not ${bundle_commit}" >&2
    exit 1
  fi
  git -C "$bundle_repo" archive FETCH_HEAD | tar -x -C "$tree"
}

if ! from_archive; then
  echo "The release archive is out of reach; trying npm"
  rm -rf "$tree" && mkdir -p "$tree"
  from_npm
fi

actual=$(tree_id "$tree")
if [ "$actual" != "$tree_sha256" ]; then
  echo "fetch-llama-cpp: the source tree has SHA-256 tree id ${actual}, not the pinned ${tree_sha256}" >&2
  exit 1
fi

rm -rf "$dest"
mv "$tree" "$dest"
echo "$tree_sha256" >"$marker"
echo "llama.cpp ${release} is in ${dest}"

#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Safe to run again: it only touches
# apt when something is missing, and refreshes the package lists only then.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libicu-dev nlohmann-json3-dev libsqlite3-dev libcurl4-openssl-dev libssl-dev libplist-dev
  libxml2-dev  # mail bodies: HTML to text
  openssl
  curl  # the download benchmark compares against the command-line client
  sqlite3  # the Messages scan benchmark compares against the command-line shell
  clang-format  # the house style, checked before anything is built
  clang libclang-rt-14-dev  # the fuzz preset: libFuzzer and the sanitizer runtimes
  libsecret-1-dev  # secrets in the desktop keyring (Secret Service)
  gnome-keyring dbus-daemon libglib2.0-bin util-linux  # the keyring tests: a private Secret Service on a private bus (dbus-run-session, gdbus wait, setpriv)
  qt6-base-dev qt6-svg-dev adwaita-icon-theme fonts-dejavu-core  # the window
  xvfb xdotool  # the start-up and screen tests: the real program on a virtual display, clicked through it
  git  # the model runtime's source: its tree id, and the npm package's git bundle
  glslc libvulkan-dev spirv-headers  # the model runtime's Vulkan backend: its shaders and headers
  mesa-vulkan-drivers  # the real-server tests: Mesa's software Vulkan driver (lavapipe) stands in for a GPU
  python3-numpy python3-yaml  # the real-server tests write their tiny model with llama.cpp's gguf package
  dpkg-dev file  # the package: its dependencies from the libraries it links
  desktop-file-utils appstream xauth x11-utils  # the package check: validation, the window's icon
  lintian  # the package check: Debian's policy
)
# The model runtime's source comes from npm where the llama.cpp project is out of reach. Node.js
# builds of other origins bring their own npm.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(npm)
fi

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "These packages are missing and there is no sudo to install them: ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian package that scripts/package.sh made, as a user would, and checks it: its menu
# entry and metadata validate; the installed program starts from /usr/bin on a demo home under Xvfb,
# shows its window, starts the installed model runtime for a refresh (with the tests' tiny model), and
# quits on Ctrl+Q without leaving the runtime behind. Before that, lintian finds nothing against Debian's
# policy in the package, and its fields hold the GPU's libraries as recommendations only. Removes the
# package again in any case.
# Needs root, the default build's tests (the demo home tool and the tiny model) and the package.
# Usage: scripts/check-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/default
deb=$(ls "$build"/package/nudgerly_*.deb)
demo_home_tool="$build/tools/nudgerly-demo-home"
tiny_model="$PWD/$build/tests/realserver/tiny-chat-model.gguf"
app_id=$(sed -n 's/^#define NUDGERLY_APP_ID "\(.*\)"$/\1/p' "$build/src/generated/BuildSettings.h")
runtime=/usr/lib/nudgerly/ModelRuntime/llama-server

fail() {
  echo "check-package: $*" >&2
  exit 1
}

echo "== lintian =="
# Run as root here; lintian only advises against it (a line, not a tag).
lintian --fail-on error,warning --display-info "$deb" ||
  fail "lintian found faults in the package"
depends=$(dpkg-deb --field "$deb" Depends)
recommends=$(dpkg-deb --field "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
case "$depends" in *vulkan* | *mesa*) fail "the package depends on the GPU's libraries: $depends" ;; esac
case "$recommends" in *libvulkan1*mesa-vulkan-drivers*) ;; *) fail "the package does not recommend the Vulkan loader and Mesa's drivers" ;; esac
echo "Size: $(stat -c %s "$deb") bytes; installed $(dpkg-deb --field "$deb" Installed-Size) KiB"

export DEBIAN_FRONTEND=noninteractive
echo "== installing $(basename "$deb") =="
apt-get install -y -q "./$deb" >/dev/null
work=$(mktemp -d)
cleanup() {
  [ -n "${program:-}" ] && kill -9 "$program" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  apt-get remove -y -q --purge nudgerly >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

[ "$(command -v nudgerly)" = /usr/bin/nudgerly ] || fail "nudgerly is not /usr/bin/nudgerly"
[ -x "$runtime" ] || fail "no model runtime at $runtime"
desktop-file-validate "/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"
[ -f "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no icon"
# The runtime's licence notice, as its source tree carries it, is part of the package's copyright.
one_line() { sed 's/^ \.$//; s/^ //' | tr -s ' \n' ' '; }
notice=$(sed -n '/^Permission is hereby granted/,$p' "$build/model-runtime/llama.cpp/LICENSE" | one_line)
one_line </usr/share/doc/nudgerly/copyright | grep -qF -- "$notice" || fail "the copyright file lacks llama.cpp's notice"

echo "== starting the installed program under Xvfb =="
home="$work/home"
output=$(env -u NUDGERLY_MODEL_PATH -u NUDGERLY_LLAMA_SERVER "$demo_home_tool" "$home")
mapfile -t variables <<<"$output"
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done
# The demo home's own folders, no keyring, and the tiny model in place of a downloaded pack.
env -u NUDGERLY_LLAMA_SERVER "${variables[@]}" DISPLAY="$display" \
  XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.local/state" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-session-bus" \
  NUDGERLY_MESSAGES_DATABASE="$home/Library/Messages/chat.db" NUDGERLY_MODEL_PATH="$tiny_model" \
  OMP_WAIT_POLICY=PASSIVE \
  nudgerly >"$work/nudgerly.log" 2>&1 &
program=$!
window=$(DISPLAY=$display timeout 60 xdotool search --sync --onlyvisible --name '^Nudgerly$' | head -n 1) ||
  fail "no window appeared"
[ "$(readlink "/proc/$program/exe")" = /usr/bin/nudgerly ] || fail "the program that runs is not /usr/bin/nudgerly"
DISPLAY=$display xprop -id "$window" _NET_WM_ICON | grep -q "Icon" || fail "the window has no icon"

echo "== refreshing: the installed runtime serves the model =="
DISPLAY=$display xdotool windowfocus --sync "$window"
DISPLAY=$display xdotool key ctrl+r
server=""
for _ in $(seq 600); do
  server=$(pgrep -P "$program" -x llama-server || true)
  [ -n "$server" ] && break
  sleep 0.1
done
[ -n "$server" ] || fail "the refresh started no model runtime"
[ "$(readlink "/proc/$server/exe")" = "$runtime" ] || fail "the model runtime that runs is not $runtime"

echo "== quitting with Ctrl+Q =="
DISPLAY=$display xdotool windowfocus --sync "$window"
DISPLAY=$display xdotool key ctrl+q
timeout 30 tail --pid="$program" -f /dev/null || fail "the program did not end after Ctrl+Q"
wait "$program" || fail "the program ended with status $?"
program=""
if kill -0 "$server" 2>/dev/null; then
  fail "the model runtime (pid $server) outlived the program"
fi
echo "== the package works; removing it =="

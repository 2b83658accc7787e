#!/usr/bin/env bash
# Runs a program against a desktop keyring of its own: a new D-Bus session bus (dbus-run-session),
# HOME and every XDG folder in a fresh temporary folder, and a new login keyring unlocked with a
# throwaway password. Nothing of the user's session is reachable from inside: no bus, no display.
# The keyring daemon ends with its bus, and the folder is removed afterwards.
#
#   tests/keyring/with-private-keyring.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

if [ "$#" -eq 0 ]; then
  echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
for tool in dbus-run-session gnome-keyring-daemon; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is missing; scripts/install-deps.sh installs it." >&2
    exit 1
  fi
done

root=$(mktemp -d "${TMPDIR:-/tmp}/nudgerly-keyring.XXXXXX")
# The daemon normally ends with its bus, but one was once seen outliving it, holding every descriptor
# it inherited (a caller's lock among them). Whatever still runs with this folder in its environment
# is ended before the folder goes.
stop_leftovers() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    if tr '\0' '\n' <"$environ" 2>/dev/null | grep -qxF "NUDGERLY_PRIVATE_KEYRING=$root"; then
      pid=${environ#/proc/}
      pid=${pid%/environ}
      [ "$pid" != "$$" ] && kill "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$root" 2>/dev/null || true
}
trap stop_leftovers EXIT
mkdir -m 700 "$root/home" "$root/data" "$root/config" "$root/cache" "$root/state" "$root/runtime"

export HOME="$root/home"
export XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" XDG_CACHE_HOME="$root/cache"
export XDG_STATE_HOME="$root/state" XDG_RUNTIME_DIR="$root/runtime"
export NUDGERLY_PRIVATE_KEYRING="$root"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY GNOME_KEYRING_CONTROL SSH_AUTH_SOCK

# Inside the new session: unlock (and so create) the login keyring, then run the program. The password
# comes on standard input; an empty one would make the daemon ask a graphical prompter instead.
# shellcheck disable=SC2016
dbus-run-session -- bash -c '
  set -euo pipefail
  head -c 18 /dev/urandom | base64 | tr -d "\n" | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1
  for _ in $(seq 100); do  # the daemon writes the new keyring just after it answers
    [ -e "$XDG_DATA_HOME/keyrings/login.keyring" ] && break
    sleep 0.05
  done
  if [ ! -e "$XDG_DATA_HOME/keyrings/login.keyring" ]; then
    echo "gnome-keyring-daemon did not create the private login keyring." >&2
    exit 1
  fi
  export NUDGERLY_PRIVATE_KEYRING_BUS="$DBUS_SESSION_BUS_ADDRESS"
  "$@"
' with-private-keyring "$@"

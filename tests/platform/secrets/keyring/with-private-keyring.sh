#!/usr/bin/env bash
# Runs a program against a desktop keyring of its own: a new D-Bus session bus (dbus-run-session),
# HOME and every XDG folder in a fresh temporary folder, and a new login keyring unlocked with a
# throwaway password. Nothing of the user's session is reachable from inside: no bus, no display, and
# no service the bus could start (its configuration names none), so an unlock prompt fails at once.
# The keyring daemon is this wrapper's own child: it is ended and waited for before the folder goes.
#
#   tests/platform/secrets/keyring/with-private-keyring.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

if [ "$#" -eq 0 ]; then
  echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
for tool in dbus-run-session gnome-keyring-daemon gdbus setpriv; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is missing; scripts/install-deps.sh installs it." >&2
    exit 1
  fi
done

root=$(mktemp -d "${TMPDIR:-/tmp}/nudgerly-keyring.XXXXXX")
trap 'rm -rf "$root" 2>/dev/null || true' EXIT
mkdir -m 700 "$root/home" "$root/data" "$root/config" "$root/cache" "$root/state" "$root/runtime" "$root/services"
cat >"$root/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$root/runtime</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$root/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF

export HOME="$root/home"
export XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" XDG_CACHE_HOME="$root/cache"
export XDG_STATE_HOME="$root/state" XDG_RUNTIME_DIR="$root/runtime"
export NUDGERLY_PRIVATE_KEYRING="$root"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY GNOME_KEYRING_CONTROL SSH_AUTH_SOCK

# Inside the new session: start the daemon in the foreground with the password on standard input (an
# empty one would make it ask a graphical prompter instead); it unlocks, and so creates, the login
# keyring before it takes its name on the bus, so the name appearing is the sign it is ready. It dies
# with this shell even when the shell is killed, and is otherwise ended and waited for, so it never
# outlives the run holding a caller's descriptors.
# shellcheck disable=SC2016
dbus-run-session --config-file="$root/bus.conf" -- bash -c '
  set -euo pipefail
  head -c 18 /dev/urandom | base64 -w0 |
    setpriv --pdeathsig KILL gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
  daemon=$!
  trap "kill $daemon 2>/dev/null || true; wait $daemon 2>/dev/null || true" EXIT
  gdbus wait --session --timeout 60 org.freedesktop.secrets
  if [ ! -e "$XDG_DATA_HOME/keyrings/login.keyring" ]; then
    echo "gnome-keyring-daemon did not create the private login keyring." >&2
    exit 1
  fi
  export NUDGERLY_PRIVATE_KEYRING_BUS="$DBUS_SESSION_BUS_ADDRESS"
  "$@"
' with-private-keyring "$@"

#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
#   scripts/run.sh          on your own data: your Messages database, contacts and settings
#   scripts/run.sh --demo   on a made-up home, laid out afresh under build/default/demo-home
set -euo pipefail
cd "$(dirname "$0")/.."

demo=false
case "${1:-}" in
  --demo) demo=true ;;
  "") ;;
  *) echo "Usage: scripts/run.sh [--demo]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
cmake --preset default >/dev/null
if ! $demo; then
  cmake --build --preset default --target nudgerly model_runtime  # the runtime: once per build folder
  exec build/default/bin/nudgerly
fi

cmake --build --preset default --target nudgerly nudgerly_demo_home
home="$PWD/build/default/demo-home"
rm -rf "$home"  # made afresh each time, so the conversations are always recent
# Stops here if the home cannot be made, so the program never starts on your own data by mistake.
output=$(env -u NUDGERLY_MODEL_PATH -u NUDGERLY_LLAMA_SERVER build/default/tools/nudgerly-demo-home "$home")
mapfile -t variables <<<"$output"
# Everything the program keeps stays in the demo home: its folders, and its secrets too, as the
# session's keyring is out of reach (the program then keeps them in files there). Basic Mode: no model.
exec env -u NUDGERLY_MODEL_PATH -u NUDGERLY_LLAMA_SERVER "${variables[@]}" \
  XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.local/state" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-session-bus" \
  NUDGERLY_MESSAGES_DATABASE="$home/Library/Messages/chat.db" \
  build/default/bin/nudgerly

#!/usr/bin/env bash
# The real program on a demo home, on a virtual X display, clicked as a person clicks: through the X
# server, with xdotool, at the places the probe preloaded into the program reports. Every wait polls
# the probe's report for a condition, within a generous bound.
#
# Usage: startup-test.sh SCENARIO PROGRAM DEMO-HOME-TOOL PROBE
#   demoQueue  the demo home as `scripts/run.sh --demo` makes it: Messages saved, Gmail never connected.
#              All, Completed, All: no alert, the queue page stays, its rows are listed.
#   firstRun   the same home before anything is set up: the Messages database out of reach and no
#              saved queue. All, Completed, All, then the empty state's "Open Accounts": no alert on the
#              way, the queue page until the button, then the accounts page.
#   secondStart  the demo home with the program running and its window withdrawn: a second start shows
#              that window and ends, a start that cannot reach it says so and ends, both writing
#              nothing; once the first is killed (SIGKILL) a new start runs.
set -euo pipefail

scenario=$1
program=$2
demo_tool=$3
probe=$4

work=$(mktemp -d)
report="$work/report"
xvfb_pid=""
program_pid=""

finish() {
    local status=$?
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill -KILL "$program_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    if [ "$status" -ne 0 ]; then
        echo "--- program output ---" >&2
        cat "$work/program.log" >&2 2>/dev/null || true
        echo "--- last report ---" >&2
        cat "$report" >&2 2>/dev/null || true
    fi
    rm -rf "$work"
    exit "$status"
}
trap finish EXIT

fail() {
    echo "FAIL ($scenario): $*" >&2
    exit 1
}

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || fail "$tool is missing; scripts/install-deps.sh installs it"
done

# The value of a report line ("page", "title", ...), empty when there is none.
value() { awk -F'\t' -v key="$1" '$1 == key { print $2; exit }' "$report" 2>/dev/null || true; }
# The screen point of a sidebar row or an empty-state button with this label.
place() { awk -F'\t' -v key="$1" -v label="$2" '$1 == key && $2 == label { print $3, $4; exit }' "$report" 2>/dev/null || true; }

# Polls until the shell condition holds, for at most 20 s; the program must stay up meanwhile.
wait_until() {
    local what=$1 condition=$2
    local deadline=$((SECONDS + 20))
    until eval "$condition"; do
        if [ -n "$program_pid" ] && ! kill -0 "$program_pid" 2>/dev/null; then
            fail "the program ended while waiting for $what"
        fi
        [ "$SECONDS" -lt "$deadline" ] || fail "no $what within 20 s"
        sleep 0.02
    done
}

click() {
    local kind=$1 label=$2 at
    at=$(place "$kind" "$label")
    [ -n "$at" ] || fail "no $kind \"$label\" on screen"
    # shellcheck disable=SC2086  # the two numbers are two arguments
    xdotool mousemove --sync $at click 1
}

# Nothing interrupted the user: no alert, and the queue page still shown.
expect_queue_page() {
    [ "$(value alert)" = 0 ] || fail "an alert is shown after $1"
    [ "$(value page)" = commandCenterPage ] || fail "the page after $1 is \"$(value page)\", not the queue"
}

# A display of its own: the server picks a free number and tells it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp -ac 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_until "X server" '[ -s "$work/display" ]'
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"

home="$work/home"
mapfile -t variables < <(env -u NUDGERLY_MODEL_PATH -u NUDGERLY_LLAMA_SERVER "$demo_tool" "$home" 2>/dev/null)
[ "${#variables[@]}" -eq 3 ] || fail "the demo home could not be made"
database="$home/Library/Messages/chat.db"
if [ "$scenario" = firstRun ]; then
    database="$home/Library/Messages/not-granted/chat.db"
    find "$home/.local/share" -name messages-snapshot.json -delete
fi

# Under the sanitizers their runtime must come first among the preloaded libraries.
preload=$probe
# awk reads ldd's whole output: leaving early could end ldd by SIGPIPE, which pipefail turns into a miss.
if runtime=$(ldd "$program" | awk '/libasan/ && !found { print $3; found = 1 }') && [ -n "$runtime" ]; then
    preload="$runtime:$probe"
fi
# The program on the home, with the extra variables given; run in the background only, as it takes
# the place of the shell that runs it, so that $! is the program's own process.
run_program() {
    exec env -u NUDGERLY_MODEL_PATH -u NUDGERLY_LLAMA_SERVER "${variables[@]}" \
        XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.local/state" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-session-bus" \
        NUDGERLY_MESSAGES_DATABASE="$database" \
        QT_QPA_PLATFORM=xcb "$@" "$program"
}
start_program() {
    run_program NUDGERLY_UI_PROBE_REPORT="$report" LD_PRELOAD="$preload" >>"$work/program.log" 2>&1 &
    program_pid=$!
}
# Every file and folder of the home with its size and times, to tell whether anything wrote there.
listing() { find "$home" -printf '%P %y %s %T@ %C@\n' | sort; }
# Starts the program again beside the running one and expects it to end by itself with `status`.
start_again() {
    local expected=$1 status=0
    run_program >"$work/again.log" 2>&1 </dev/null &
    local again=$!
    local deadline=$((SECONDS + 20))
    while kill -0 "$again" 2>/dev/null; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            kill -KILL "$again" 2>/dev/null || true
            fail "the second start did not end within 20 s"
        fi
        sleep 0.02
    done
    wait "$again" || status=$?
    [ "$status" -eq "$expected" ] || fail "the second start ended with status $status, not $expected: $(cat "$work/again.log")"
}

start_program

case "$scenario" in
    demoQueue)
        wait_until "queue on screen" '[ "$(value exposed)" = 1 ] && [ "$(value items)" -gt 0 ] 2>/dev/null'
        # All is chosen already, so this first click changes nothing.
        click row All
        click row Completed
        wait_until "completed view" '[ "$(value title)" = Completed ] || [ "$(value alert)" = 1 ] || [ "$(value page)" != commandCenterPage ]'
        expect_queue_page "Completed"
        [ "$(value items)" -gt 0 ] || fail "the completed view lists nothing"
        click row All
        wait_until "queue again" '[ "$(value title)" = Queue ] || [ "$(value alert)" = 1 ] || [ "$(value page)" != commandCenterPage ]'
        expect_queue_page "All again"
        [ "$(value items)" -gt 0 ] || fail "the queue lists nothing"
        # Coming back to All looked for history to expand, and Gmail, never connected, was not asked for.
        [ "$(value activity)" = "Showing the last 30 days from saved history" ] ||
            fail "the activity after All again is \"$(value activity)\""
        ;;
    firstRun)
        # With nothing to read, the start sends the window to the accounts page.
        wait_until "accounts page" '[ "$(value exposed)" = 1 ] && [ "$(value page)" = accountsPage ]'
        click row All
        wait_until "answer to All" '[ "$(value page)" = commandCenterPage ] || [ "$(value alert)" = 1 ]'
        wait_until "empty queue" '[ "$(value empty)" = "No conversations scanned yet" ] || [ "$(value alert)" = 1 ]'
        expect_queue_page "All"
        click row Completed
        wait_until "completed view" '[ "$(value title)" = Completed ] || [ "$(value alert)" = 1 ] || [ "$(value page)" != commandCenterPage ]'
        expect_queue_page "Completed"
        click row All
        wait_until "queue again" '[ "$(value title)" = Queue ] || [ "$(value alert)" = 1 ] || [ "$(value page)" != commandCenterPage ]'
        expect_queue_page "All again"
        [ -n "$(place button "Open Accounts")" ] || fail "the empty state offers no \"Open Accounts\""
        click button "Open Accounts"
        wait_until "accounts page" '[ "$(value page)" = accountsPage ] || [ "$(value alert)" = 1 ]'
        [ "$(value alert)" = 0 ] || fail "an alert is shown after Open Accounts"
        ;;
    secondStart)
        wait_until "queue on screen" '[ "$(value exposed)" = 1 ] && [ "$(value items)" -gt 0 ] 2>/dev/null'
        window=$(xdotool search --onlyvisible --pid "$program_pid" | head -n 1)
        [ -n "$window" ] || fail "the program's window is not found"
        xdotool windowunmap --sync "$window"
        wait_until "window withdrawn" '[ "$(value exposed)" = 0 ]'
        before=$(listing)
        start_again 0
        wait_until "window shown again" '[ "$(value exposed)" = 1 ]'
        [ ! -s "$work/again.log" ] || fail "the second start said: $(cat "$work/again.log")"
        [ "$(listing)" = "$before" ] || fail "the second start changed the home: $(diff <(echo "$before") <(listing))"

        # With the running program out of reach, a start says so and ends.
        socket=$(find "$home" -name instance.socket)
        [ -n "$socket" ] || fail "the running program listens nowhere"
        mv "$socket" "$work/moved.socket"
        before=$(listing)
        start_again 1
        [ "$(cat "$work/again.log")" = "Nudgerly is already running." ] ||
            fail "the unreachable start said \"$(cat "$work/again.log")\""
        [ "$(listing)" = "$before" ] || fail "the unreachable start changed the home: $(diff <(echo "$before") <(listing))"

        # Killed, the program leaves no lock behind: the next start runs.
        kill -KILL "$program_pid"
        wait "$program_pid" 2>/dev/null || true
        rm -f "$report"
        start_program
        wait_until "queue of the new start" '[ "$(value exposed)" = 1 ] && [ "$(value items)" -gt 0 ] 2>/dev/null'
        ;;
    *)
        fail "unknown scenario"
        ;;
esac

# Quitting as the desktop asks: the program shuts down and ends by itself.
kill -TERM "$program_pid"
deadline=$((SECONDS + 20))
while kill -0 "$program_pid" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the program did not end within 20 s of being asked to quit"
    sleep 0.02
done
status=0
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "PASS ($scenario)"

#!/bin/sh
# Starts the mock compositor with the demo desktop on a private socket and
# runs every command against it, so the output can be seen on a machine
# without the compositor.
#   tools/demo.sh [BUILD [SCENARIO [ARGUMENT...]]]
# With arguments after the scenario, runs only `ridaviduvo ARGUMENT...` and
# passes its output and exit status through unchanged.
set -eu

build=${1:-build}
scenario=${2:-examples/desktop.json}
[ $# -ge 2 ] && shift 2 || set --
tool="$build/src/ridaviduvo"
mock="$build/tools/mock-compositor/mock-compositor"

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
export WAYLAND_DISPLAY=wayland-demo
unset WAYLAND_SOCKET

fifo="$runtime/ready"
mkfifo "$fifo"
"$mock" --scenario "$scenario" --socket "$WAYLAND_DISPLAY" --persist >"$fifo" &
mock_pid=$!
trap 'kill "$mock_pid" 2>/dev/null; wait "$mock_pid" 2>/dev/null; rm -rf "$runtime"' EXIT INT TERM
read -r ready <"$fifo"
[ "$ready" = ready ] || { echo "demo: the mock compositor did not start" >&2; exit 1; }

if [ $# -gt 0 ]; then
    status=0
    "$tool" "$@" || status=$?
    exit "$status"
fi

run() {
    printf '\n$ ridaviduvo %s\n' "$*"
    "$tool" "$@" || printf '(exit status %s)\n' "$?"
}

run windows
run windows --json
run inspect --rule
run scene
run scene --dot
run outputs
run outputs --json
run layout --output DP-2 --json
run layout --output DP-2 --set monocle --json
run layout --output DP-2 --json
run layout --output DP-2 --set no-such-layout --json
run layout --output VGA-9 --json

#!/usr/bin/env bash
# with-xvfb.sh CMD...: runs CMD on an X server of its own and returns CMD's
# status. Xvfb picks a free display number itself, so tests running side by
# side never share or fight over a server. The screen is 1024x768x24 unless
# SKEETRA_XVFB_SCREEN names another (WIDTHxHEIGHTxDEPTH).
set -u

if [ $# -eq 0 ]; then
    echo "usage: with-xvfb.sh CMD..." >&2
    exit 2
fi

workdir="$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb.XXXXXX")" || exit 1
xvfb_pid=""
cmd_pid=""

cleanup() {
    if [ -n "$cmd_pid" ]; then
        kill "$cmd_pid" 2>/dev/null
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# Xvfb writes the display number to the pipe once it accepts connections.
mkfifo "$workdir/display" || exit 1
# -noreset: a server that resets when its last client leaves turns new
# clients away while it does, and a test may start one just then.
Xvfb -displayfd 3 -screen 0 "${SKEETRA_XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset 3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!

display=""
if ! read -r -t 30 display <"$workdir/display" || [ -z "$display" ]; then
    echo "with-xvfb.sh: Xvfb did not start:" >&2
    cat "$workdir/xvfb.log" >&2
    exit 1
fi

export DISPLAY=":$display"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# A private runtime directory (mktemp made it 0700), so that Qt neither
# warns about a missing one nor shares one with other tests.
export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR" || exit 1

"$@" &
cmd_pid=$!
wait "$cmd_pid"
status=$?
cmd_pid=""
exit "$status"

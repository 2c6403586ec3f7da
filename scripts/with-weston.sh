#!/usr/bin/env bash
# with-weston.sh [--xwayland] CMD...: runs CMD with a Wayland compositor of
# its own. Run it inside with-xvfb.sh: weston draws its output in a window
# on that X server, takes the X server's pointer and keys as its own (so
# xdotool plays on Wayland), and draws its pointer into its output, where a
# screenshot of the X screen sees it. SKEETRA_OUTPUT_SCALE (default 1) is
# the output's scale; the output fills the X screen but for a strip along
# its right and bottom edges, where the pointer waits outside it. CMD gets
# WAYLAND_DISPLAY, and SKEETRA_COMPOSITOR_PID to take the compositor away;
# with --xwayland also SKEETRA_GAME_DISPLAY, weston's X server.
set -u

xwayland=""
if [ "${1:-}" = "--xwayland" ]; then
    xwayland=1
    shift
fi
if [ $# -eq 0 ] || [ -z "${DISPLAY:-}" ] || [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    echo "usage: with-xvfb.sh with-weston.sh [--xwayland] CMD..." >&2
    exit 2
fi
scale="${SKEETRA_OUTPUT_SCALE:-1}"
read -r width height < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
if [ -z "${width:-}" ]; then
    echo "with-weston.sh: cannot read the X screen's size" >&2
    exit 1
fi

socket="wayland-skeetra-$$"
weston_pid=""
cmd_pid=""
cleanup() {
    if [ -n "$cmd_pid" ]; then
        kill "$cmd_pid" 2>/dev/null
    fi
    if [ -n "$weston_pid" ]; then
        kill "$weston_pid" 2>/dev/null
        wait "$weston_pid" 2>/dev/null
    fi
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# weston takes the X pointer's motion as steps from where an X EnterNotify
# last put it, and starts its own pointer at 100, 100 before any: a missed
# Enter would leave every later click off by a fixed amount. So the pointer
# starts outside the output, and its first move in is a real Enter. (The
# tests park it between clicks inside, at the output's bottom left corner:
# a pointer that leaves the output stays drawn where it left.)
margin=$((8 * scale))
xdotool mousemove $((width - 1)) $((height - 1)) || exit 1

# --debug lets the tests read the scene graph (weston-debug): where each
# window is, and its title. The x11 backend's --width and --height are in
# the output's own units.
weston --backend=x11-backend.so --no-config --idle-time=0 --socket="$socket" --debug \
    --width=$(((width - margin) / scale)) --height=$(((height - margin) / scale)) --scale="$scale" \
    ${xwayland:+--xwayland} >"$XDG_RUNTIME_DIR/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 300); do
    # The desktop shell's panel is up once its client has a surface.
    if [ -S "$XDG_RUNTIME_DIR/$socket" ] && WAYLAND_DISPLAY=$socket timeout 5 weston-debug scene-graph 2>/dev/null |
        grep -q 'background for output'; then
        break
    fi
    if ! kill -0 "$weston_pid" 2>/dev/null; then
        echo "with-weston.sh: weston did not start:" >&2
        cat "$XDG_RUNTIME_DIR/weston.log" >&2
        exit 1
    fi
    sleep 0.1
done

if [ -n "$xwayland" ]; then
    # weston starts its X server on the first X client's connection, and
    # says which display it listens on at once.
    game_display="$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$XDG_RUNTIME_DIR/weston.log" | head -1)"
    if [ -z "$game_display" ]; then
        echo "with-weston.sh: weston offers no X display:" >&2
        cat "$XDG_RUNTIME_DIR/weston.log" >&2
        exit 1
    fi
    export SKEETRA_GAME_DISPLAY="$game_display"
fi
export WAYLAND_DISPLAY="$socket"
export SKEETRA_COMPOSITOR_PID="$weston_pid"
"$@" &
cmd_pid=$!
wait "$cmd_pid"
status=$?
cmd_pid=""
exit "$status"

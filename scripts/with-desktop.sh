#!/usr/bin/env bash
# with-desktop.sh mutter|kwin [--xwayland] CMD...: runs CMD beside a nested
# GNOME (mutter) or KDE (kwin_wayland) compositor of its own, the ones most
# Linux players have. Run it inside with-xvfb.sh: the compositor draws its
# output in a window that fills that X server's screen and takes its pointer
# and keys as its own, so xdotool plays there and a screenshot of the X
# screen shows what the player sees. SKEETRA_OUTPUT_SCALE (default 1) is the
# output's scale.
#
# CMD gets WAYLAND_DISPLAY and SKEETRA_COMPOSITOR_PID (to take the compositor
# away); with --xwayland also SKEETRA_GAME_DISPLAY and SKEETRA_GAME_XAUTHORITY,
# the compositor's own X server and the key its clients need. DISPLAY stays
# the outer X server, the one CMD reads and clicks.
set -u

usage() {
    echo "usage: with-xvfb.sh with-desktop.sh mutter|kwin [--xwayland] CMD..." >&2
    exit 2
}
[ $# -ge 2 ] || usage
desktop="$1"
shift
xwayland=""
if [ "$1" = "--xwayland" ]; then
    xwayland=1
    shift
fi
if [ $# -eq 0 ] || [ -z "${DISPLAY:-}" ] || [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    usage
fi
scale="${SKEETRA_OUTPUT_SCALE:-1}"
read -r width height < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
if [ -z "${width:-}" ]; then
    echo "with-desktop.sh: cannot read the X screen's size" >&2
    exit 1
fi

workdir="$(mktemp -d "${TMPDIR:-/tmp}/with-desktop.XXXXXX")" || exit 1
socket="wayland-skeetra-$$"
session_pid=""  # dbus-run-session, the compositor's parent
compositor_pid=""
sleeper_pid=""  # the compositor's own client that holds the session open
cmd_pid=""
cleanup() {
    if [ -n "$cmd_pid" ]; then
        kill "$cmd_pid" 2>/dev/null
    fi
    if [ -n "$compositor_pid" ]; then
        kill "$compositor_pid" 2>/dev/null
    fi
    if [ -n "$sleeper_pid" ]; then
        kill "$sleeper_pid" 2>/dev/null
    fi
    if [ -n "$session_pid" ]; then
        # dbus-run-session ends its bus once the compositor has gone.
        wait "$session_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# The compositor runs this as its session: it says what a client of that
# session sees (the X server of its own among it) and holds the session
# open until it is ended.
cat >"$workdir/session.sh" <<'EOF'
#!/bin/sh
{
    echo "sleeper=$$"
    echo "display=${DISPLAY:-}"
    echo "xauthority=${XAUTHORITY:-}"
    echo "bus=${DBUS_SESSION_BUS_ADDRESS:-}"
} >"$SKEETRA_SESSION_ENV.part" && mv "$SKEETRA_SESSION_ENV.part" "$SKEETRA_SESSION_ENV"
exec sleep 100000
EOF
chmod +x "$workdir/session.sh"
# kwin_wayland passes its session no arguments: the file is named in the environment.
session_env="$workdir/session.env"
export SKEETRA_SESSION_ENV="$session_env"

case "$desktop" in
mutter)
    # Plain mutter, not GNOME Shell: the compositor and its placement and
    # focus rules, without the shell's own. Without --no-x11 it starts an
    # XWayland whose clients need its XAUTHORITY.
    x11=--no-x11
    [ -n "$xwayland" ] && x11=""
    # Its mode is in device pixels, KWin's size in the output's own.
    MUTTER_DEBUG_DUMMY_MODE_SPECS="${width}x${height}" MUTTER_DEBUG_DUMMY_MONITOR_SCALES="$scale" \
        dbus-run-session -- sh -c 'echo $$ >"$0"; exec "$@"' "$workdir/compositor.pid" \
        mutter --nested --wayland $x11 --wayland-display="$socket" -- "$workdir/session.sh" \
        >"$workdir/compositor.log" 2>&1 &
    ;;
kwin)
    # kwin_wayland carries a file capability (cap_sys_resource) that keeps
    # it from starting as a nested compositor; a copy carries none.
    cp /usr/bin/kwin_wayland "$workdir/kwin_wayland" || exit 1
    dbus-run-session -- sh -c 'echo $$ >"$0"; exec "$@"' "$workdir/compositor.pid" \
        "$workdir/kwin_wayland" --x11-display "$DISPLAY" --socket "$socket" --width "$((width / scale))" \
        --height "$((height / scale))" --scale "$scale" ${xwayland:+--xwayland} \
        "$workdir/session.sh" >"$workdir/compositor.log" 2>&1 &
    ;;
*)
    usage
    ;;
esac
session_pid=$!

# Up once its session has started and its socket is there; an XWayland
# session's client also knows its X server by then.
for _ in $(seq 600); do
    if [ -z "$compositor_pid" ] && [ -s "$workdir/compositor.pid" ]; then
        compositor_pid="$(cat "$workdir/compositor.pid")"
    fi
    if [ -f "$session_env" ] && [ -S "$XDG_RUNTIME_DIR/$socket" ]; then
        break
    fi
    if ! kill -0 "$session_pid" 2>/dev/null; then
        echo "with-desktop.sh: $desktop did not start:" >&2
        cat "$workdir/compositor.log" >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -f "$session_env" ]; then
    echo "with-desktop.sh: $desktop did not start its session in 60 s:" >&2
    cat "$workdir/compositor.log" >&2
    exit 1
fi
sleeper_pid="$(sed -n 's/^sleeper=//p' "$session_env")"
game_display="$(sed -n 's/^display=//p' "$session_env")"
if [ -n "$xwayland" ] && [ -z "$game_display" ]; then
    echo "with-desktop.sh: $desktop started no XWayland:" >&2
    cat "$workdir/compositor.log" >&2
    exit 1
fi

unset SKEETRA_SESSION_ENV
export WAYLAND_DISPLAY="$socket"
export SKEETRA_COMPOSITOR_PID="$compositor_pid"
export DBUS_SESSION_BUS_ADDRESS="$(sed -n 's/^bus=//p' "$session_env")"
if [ -n "$xwayland" ]; then
    export SKEETRA_GAME_DISPLAY="$game_display"
    export SKEETRA_GAME_XAUTHORITY="$(sed -n 's/^xauthority=//p' "$session_env")"
fi
"$@" &
cmd_pid=$!
wait "$cmd_pid"
status=$?
cmd_pid=""
exit "$status"

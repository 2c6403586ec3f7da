#!/usr/bin/env bash
# Smoke test of an installed game, as a desktop would start it: the files the
# menu and software centres read are in place, the menu's Exec= finds the
# program, and the program opens its window, at its designed size, on a fresh
# X server of its own.
# Usage: smoke-installed.sh [EXECUTABLE]   (default /usr/bin/skeetra)
set -euo pipefail

if [ -z "${SKEETRA_ON_XVFB:-}" ]; then
    SKEETRA_ON_XVFB=1 exec "$(dirname "$(readlink -f "$0")")/../scripts/with-xvfb.sh" "$0" "$@"
fi

exe="${1:-/usr/bin/skeetra}"
prefix="$(dirname "$(dirname "$exe")")"
title='Skeetra beta 0.01'
want_size='434x475' # the designed client area, 6510 x 7125 twips

work="$(mktemp -d)"
game_pid=''

cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill "$game_pid" 2>/dev/null || true
        wait "$game_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "smoke-installed: FAILED: $*" >&2
    if [ -s "$work/game.log" ]; then
        echo "--- the game's output:" >&2
        cat "$work/game.log" >&2
    fi
    exit 1
}

# ---------------------------------------------------------------- installed files

[ -x "$exe" ] || fail "$exe is not an executable"
for file in share/applications/skeetra.desktop \
    share/icons/hicolor/32x32/apps/skeetra.png \
    share/metainfo/org.skeetra.Skeetra.metainfo.xml \
    share/doc/skeetra/LICENSE; do
    [ -f "$prefix/$file" ] || fail "$prefix/$file is not installed"
done
desktop-file-validate "$prefix/share/applications/skeetra.desktop" ||
    fail "the installed desktop entry does not validate"
# The menu starts "Exec=skeetra" through PATH.
found="$(command -v skeetra || true)"
[ "$found" = "$exe" ] || fail "Exec=skeetra finds '${found:-nothing}' on PATH, not $exe"
echo "ok: installed files"

# ---------------------------------------------------------------- the window

env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$exe" >"$work/game.log" 2>&1 &
game_pid=$!

# Qt also makes unmapped helper windows; only the mapped one is the game's.
window="$(timeout 20 xdotool search --sync --onlyvisible --name "^${title//./\\.}\$" | head -n 1)" ||
    fail "no window titled '$title' within 20 s"
[ -n "$window" ] || fail "no window titled '$title'"

info="$(xwininfo -id "$window")"
width="$(sed -n 's/^ *Width: *//p' <<<"$info")"
height="$(sed -n 's/^ *Height: *//p' <<<"$info")"
[ "${width}x${height}" = "$want_size" ] || fail "the window is ${width}x${height}, not $want_size"
echo "ok: window '$title' is $want_size"

kill -0 "$game_pid" 2>/dev/null || fail "the game quit after opening its window"
kill -TERM "$game_pid"
status=0
wait "$game_pid" || status=$?
game_pid=''
# 143: ended by the SIGTERM just sent, which the game leaves to the default action.
case "$status" in
0 | 143) ;;
*) fail "the game exited with status $status on SIGTERM" ;;
esac
echo "ok: the installed game started and stopped"

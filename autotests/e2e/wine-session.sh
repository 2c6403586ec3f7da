#!/usr/bin/env bash
# wine-session.sh PREFIX CMD...: runs CMD with a Wine prefix of its own,
# cloned from the build's PREFIX (wine-prefix.sh), and stops that prefix's
# Wine afterwards. Run it inside with-xvfb.sh, so that Wine is gone before
# its X server is.
#
# Tests sharing one prefix share one Wine desktop: one foreground window and
# one keyboard focus for games that run on different X servers, so a key
# meant for one game's message box can reach another's. A clone costs a
# tenth of a second: the 700 MB of DLLs are hard links, the few files Wine
# writes are copies.
set -u

if [ $# -lt 2 ]; then
    echo "usage: wine-session.sh PREFIX CMD..." >&2
    exit 2
fi
base=$1
shift
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"

skeetra_wine_exe_or_skip
if [ ! -f "$base/system.reg" ]; then
    echo "wine-session.sh: no Wine prefix at $base (made by the test e2e.wine.prefix)" >&2
    exit 1
fi

# wine-prefix.sh end finds clones by this name.
prefix="$(mktemp -d "$base.session.XXXXXX")" || exit 1
cmd_pid=""
cleanup() {
    if [ -n "$cmd_pid" ]; then
        kill "$cmd_pid" 2>/dev/null
        wait "$cmd_pid" 2>/dev/null
    fi
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# Hard links for all, then copies of the files Wine rewrites in place: the
# registry, the update stamp and the .ini files. Everything else it only
# reads.
cp -a --link "$base/." "$prefix/" || exit 1
rm -f "$prefix"/*.reg "$prefix/.update-timestamp" "$prefix"/drive_c/windows/*.ini
cp -p "$base"/*.reg "$base/.update-timestamp" "$prefix/" || exit 1
cp -p "$base"/drive_c/windows/*.ini "$prefix/drive_c/windows/" || exit 1
export WINEPREFIX="$prefix"

"$@" &
cmd_pid=$!
wait "$cmd_pid"
status=$?
cmd_pid=""
exit "$status"

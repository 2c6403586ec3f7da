#!/usr/bin/env bash
# wine-prefix.sh create|end PREFIX: the Wine prefix of one build tree, from
# which every Wine test clones a private prefix of its own (wine-session.sh).
#
#   create  makes PREFIX unless it is there and made by the installed Wine;
#           skipped (status 77) when there is no skeetra.exe to test
#   end     stops what still runs in PREFIX and in clones left behind by
#           killed tests, and removes those clones
#
# Wine's own chatter goes to a log that is shown only when creation fails.
set -u

if [ $# -ne 2 ] || { [ "$1" != create ] && [ "$1" != end ]; }; then
    echo "usage: wine-prefix.sh create|end PREFIX" >&2
    exit 2
fi
command=$1
prefix=$2
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"

if [ "$command" = end ]; then
    # Clones are named by wine-session.sh; a clean run leaves none.
    for dir in "$prefix" "$prefix".session.*; do
        [ -d "$dir" ] || continue
        WINEPREFIX="$dir" wineserver -k >/dev/null 2>&1
        [ "$dir" = "$prefix" ] || rm -rf "$dir"
    done
    exit 0
fi

skeetra_wine_exe_or_skip

# Wine updates a prefix whenever its wine.inf is newer than the prefix's
# stamp; an update in every clone would cost each test seconds, so a prefix
# from another Wine is made again here instead.
stamp_source=/usr/share/wine/wine.inf
if [ -f "$prefix/system.reg" ]; then
    if [ ! -f "$stamp_source" ] ||
        [ "$(tr -d '\r\n' <"$prefix/.update-timestamp" 2>/dev/null)" = "$(stat -c %Y "$stamp_source")" ]; then
        exit 0
    fi
    echo "wine-prefix.sh: $prefix comes from another Wine; making it again"
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
fi

rm -rf "$prefix" "$prefix.new"
mkdir -p "$(dirname "$prefix")" || exit 1
log="$prefix.log"
started=$SECONDS
# Without a display wineboot leaves the prefix half made (no system.reg).
# It is made under another name, so that a prefix that exists is complete.
if ! WINEPREFIX="$prefix.new" "$here/../../scripts/with-xvfb.sh" \
    sh -c 'wineboot --init && wineserver --wait' >"$log" 2>&1 ||
    [ ! -f "$prefix.new/system.reg" ]; then
    cat "$log" >&2
    echo "wine-prefix.sh: could not make the Wine prefix $prefix" >&2
    rm -rf "$prefix.new"
    exit 1
fi
mv "$prefix.new" "$prefix" || exit 1
echo "Wine prefix made in $((SECONDS - started)) s: $prefix"

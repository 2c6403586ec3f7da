#!/usr/bin/env bash
# Checks the files that put the game on a desktop, as they are in the source
# tree: the menu entry, the AppStream metainfo, the icon made from the window
# icon, and that the metainfo announces the version being built.
# Usage: validate-desktop-files.sh SOURCE_DIR VERSION
set -uo pipefail
src="$1"
version="$2"
desktop="$src/packaging/skeetra.desktop"
metainfo="$src/packaging/org.skeetra.Skeetra.metainfo.xml"
failures=0

check() {
    local what="$1"
    shift
    if "$@"; then
        printf 'ok: %s\n' "$what"
    else
        printf 'FAILED: %s\n' "$what"
        failures=$((failures + 1))
    fi
}

check "desktop entry" desktop-file-validate "$desktop"
check "AppStream metainfo" appstreamcli validate --no-net "$metainfo"

# The desktop icon is a copy of the window icon; pictures get redrawn, and a
# stale copy would show the old art in menus only.
same_icon() {
    compare -metric AE "$src/window/pictures/crosshair.ico" "$src/packaging/skeetra.png" null: 2>/dev/null ||
        { echo "packaging/skeetra.png is missing or differs from window/pictures/crosshair.ico: run scripts/make-icon"; return 1; }
}
check "desktop icon matches the window icon" same_icon

# Software centres show the newest release as the version installed.
announces_version() {
    grep -q "<release version=\"$version\"" "$metainfo" ||
        { echo "no <release version=\"$version\"> in $metainfo"; return 1; }
}
check "metainfo names release $version" announces_version

exit $((failures > 0))

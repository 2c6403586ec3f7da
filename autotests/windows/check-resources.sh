#!/usr/bin/env bash
# check-resources.sh EXE ICO VERSION: the Windows executable's resources, read
# with wrestool (icoutils). Its one icon group, with the images it names, is
# the icon file byte for byte; its version record reads VERSION as file and
# product version, in the strings and in the fixed numbers.
#
# Skipped (status 77) when EXE is missing, as the Wine tests are
# (SKEETRA_WINE_REQUIRED makes that a failure).
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: check-resources.sh EXE ICO VERSION" >&2
    exit 2
fi
exe=$1 ico=$2 version=$3
if [ ! -f "$exe" ]; then
    if [ -n "${SKEETRA_WINE_REQUIRED:-}" ]; then
        echo "no Windows executable at '$exe'" >&2
        exit 1
    fi
    echo "skipped: no Windows executable at '$exe' (build the windows preset to run this)"
    exit 77
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/check-resources.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

u16() { od -An -tu2 --endian=little -j"$2" -N2 "$1" | tr -d ' '; }
u32() { od -An -tu4 --endian=little -j"$2" -N4 "$1" | tr -d ' '; }
# The four bytes of a little-endian 32-bit number.
le32() {
    # shellcheck disable=SC2059 # the escapes are made here
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"
}

# ---------------------------------------------------------------- the icon

wrestool -l "$exe" >"$work/list"
groups=$(grep -c -- '--type=14 ' "$work/list" || true)
if [ "$groups" -ne 1 ]; then
    fail "$groups icon groups (want 1):"
    cat "$work/list"
else
    # A group is the icon file's header and directory, each entry's offset
    # in the file replaced by a 16-bit resource id: the file comes back from
    # the group and the images, in the order the group names them.
    wrestool -x --raw -t14 "$exe" >"$work/group"
    count=$(u16 "$work/group" 4)
    offset=$((6 + 16 * count))
    {
        head -c 6 "$work/group"
        for ((i = 0; i < count; i++)); do
            entry=$((6 + 14 * i))
            tail -c +$((entry + 1)) "$work/group" | head -c 12
            le32 "$offset"
            offset=$((offset + $(u32 "$work/group" $((entry + 8)))))
        done
        for ((i = 0; i < count; i++)); do
            wrestool -x --raw -t3 -n "$(u16 "$work/group" $((6 + 14 * i + 12)))" "$exe"
        done
    } >"$work/rebuilt.ico"
    if [ "$(stat -c %s "$work/group")" -ne $((6 + 14 * count)) ]; then
        fail "the icon group is $(stat -c %s "$work/group") bytes, not a header and $count entries"
    elif cmp -s "$work/rebuilt.ico" "$ico"; then
        pass "the icon group and its $count image(s) are $(basename "$ico") byte for byte"
    else
        fail "the icon group and its images differ from $(basename "$ico"):"
        cmp "$work/rebuilt.ico" "$ico" || true
    fi
    icons=$(grep -c -- '--type=3 ' "$work/list" || true)
    [ "$icons" -eq "$count" ] || fail "$icons icon images in the executable, the group names $count"
fi

# ---------------------------------------------------------------- the version

wrestool -x --raw -t16 "$exe" >"$work/version"
# The strings: keys and values are NUL-terminated UTF-16, each value the next
# string after its key once the padding is dropped. A key follows its
# record's three header words, the last of them 1 (a text value).
iconv -c -f UTF-16LE -t UTF-8 "$work/version" | tr '\0' '\n' | grep -av '^$' >"$work/strings" || true
for key in FileVersion ProductVersion; do
    value=$(grep -a -A1 -E -- "(^|$(printf '\001'))$key\$" "$work/strings" | sed -n 2p)
    if [ "$value" = "$version" ]; then
        pass "$key \"$value\""
    else
        fail "$key \"$value\", want \"$version\""
    fi
done
# The fixed numbers follow the signature 0xFEEF04BD and the structure's
# version: file version high and low word pairs, then the product's.
words=$(od -An -v -tx4 -w4 --endian=little "$work/version" | tr -d ' ')
signature=$(grep -n -x feef04bd <<<"$words" | head -1 | cut -d: -f1)
major=${version%%.*} minor=$((10#${version#*.}))
want=$(printf '%04x%04x\n%08x\n' "$major" "$minor" 0)
if [ -z "$signature" ]; then
    fail "no fixed version information"
else
    file_numbers=$(sed -n "$((signature + 2)),$((signature + 3))p" <<<"$words")
    product_numbers=$(sed -n "$((signature + 4)),$((signature + 5))p" <<<"$words")
    [ "$file_numbers" = "$want" ] && pass "fixed file version $major.$minor.0.0" ||
        fail "fixed file version words $(echo $file_numbers), want $(echo $want)"
    [ "$product_numbers" = "$want" ] && pass "fixed product version $major.$minor.0.0" ||
        fail "fixed product version words $(echo $product_numbers), want $(echo $want)"
fi

exit $((failures > 0))

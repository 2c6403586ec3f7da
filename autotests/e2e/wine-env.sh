# Sourced by the Wine test scripts: a quiet Wine that leaves the user's
# desktop alone, and the one rule for a missing skeetra.exe.

# No debug channels, so the tests' output is theirs alone; no Mono or Gecko
# installer dialogs while a prefix is made (the game needs neither); no
# menu entries or file associations written into the user's home.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# SKEETRA_WINE_EXE names the executable under test. A build without the
# Windows executable skips the Wine tests (status 77), unless
# SKEETRA_WINE_REQUIRED is set, as scripts/test sets it: there a missing
# executable is a failure.
skeetra_wine_exe_or_skip() {
    if [ -f "${SKEETRA_WINE_EXE:-}" ]; then
        return 0
    fi
    if [ -n "${SKEETRA_WINE_REQUIRED:-}" ]; then
        echo "no Windows executable at '${SKEETRA_WINE_EXE:-}'; build it with: cmake --preset windows && cmake --build --preset windows" >&2
        exit 1
    fi
    echo "skipped: no Windows executable at '${SKEETRA_WINE_EXE:-}' (build the windows preset to run this)"
    exit 77
}

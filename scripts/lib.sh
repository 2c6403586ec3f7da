# Shared by scripts/play, scripts/test and .ci/run: finds the repository,
# installs the missing packages of scripts/packages.txt and builds the game.
# Source it from bash; it sets no shell options of its own.

SKEETRA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SKEETRA_PACKAGES="$SKEETRA_ROOT/scripts/packages.txt"

# Each line says how long the whole run has taken, so that a slow step shows
# in any log; the first script of a run sets the clock for the ones it calls.
export SKEETRA_RUN_START="${SKEETRA_RUN_START:-$(date +%s)}"
skeetra_say() { printf '==> [%d s] %s\n' "$(($(date +%s) - SKEETRA_RUN_START))" "$*" >&2; }

# Runs a command as root: directly when we are root, through sudo otherwise.
skeetra_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        skeetra_say "need root for: $* (run as root or install sudo)"
        return 1
    fi
}

# Prints the listed packages that dpkg does not have installed, one a line.
skeetra_missing_packages() {
    local name
    sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$SKEETRA_PACKAGES" | while read -r name; do
        # db:Status-Status is "installed" only for a fully set-up package;
        # half-removed or config-only leftovers count as missing.
        if [ "$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)" != installed ]; then
            printf '%s\n' "$name"
        fi
    done
}

# Installs what is missing; touches apt not at all when nothing is.
skeetra_install_packages() {
    local missing
    missing="$(skeetra_missing_packages)"
    if [ -z "$missing" ]; then
        return 0
    fi
    # shellcheck disable=SC2086 # one word a package
    skeetra_say "installing:" $missing
    skeetra_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q || return 1
    # shellcheck disable=SC2086
    skeetra_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

# Configures and builds one CMake preset from the repository root.
skeetra_build() {
    local preset="$1"
    skeetra_say "build: $preset"
    (
        cd "$SKEETRA_ROOT" &&
            cmake --preset "$preset" &&
            cmake --build --preset "$preset"
    )
}

# node and npm for the page's tests: the machine's own when it has them,
# Debian's otherwise. Then the tests' npm packages, from their lock file,
# when node_modules is missing or older than the lock.
skeetra_web_test_packages() {
    local dir="$SKEETRA_ROOT/autotests/web"
    if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
        skeetra_say "installing: nodejs npm"
        skeetra_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nodejs npm ||
            return 1
    fi
    if [ ! -f "$dir/node_modules/.package-lock.json" ] ||
        [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
        skeetra_say "npm ci in autotests/web"
        (cd "$dir" && npm ci --no-audit --no-fund)
    fi
}

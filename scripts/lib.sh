# Shared by the project's scripts: install the Debian packages that are missing, and only those.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

# Every build goes through the compiler cache: the optimised build and the package build compile
# the same sources with the same flags, and a second run of the scripts recompiles only what
# changed. Paths are hashed relative to the tree, so clones in other folders share the cache.
export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER-ccache}"
export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER-ccache}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"

# Core packages every build needs.
BASE_PACKAGES=(cmake g++ ninja-build ccache pkg-config libsndfile1-dev libpugixml-dev libcli11-dev liblilv-dev
               libgtest-dev libgmock-dev libbenchmark-dev lv2-dev lilv-utils sordi)

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

ensure_packages() {
    local missing=()
    for package in "$@"; do
        if ! is_installed "$package"; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
        # A foreign architecture's index may be missing on a mirror; what is there still serves.
        $sudo apt-get update -qq || echo "apt-get update: some indexes failed; using those it has" >&2
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Lets apt-get install packages of another architecture (e.g. i386 libraries for -m32 builds).
ensure_foreign_architecture() {
    local arch="$1"
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        local sudo=""
        if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
        $sudo dpkg --add-architecture "$arch"
    fi
}

build_preset() {
    local preset="$1"
    ensure_packages ccache
    cmake --preset "$preset" -S "$ROOT" >/dev/null
    cmake --build --preset "$preset" -j "$JOBS"
}

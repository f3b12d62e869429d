# Shared by the project's scripts: install the Debian packages that are missing, and only those.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

# Core packages every build needs.
BASE_PACKAGES=(cmake g++ ninja-build pkg-config libsndfile1-dev libpugixml-dev libcli11-dev
               libgtest-dev libgmock-dev libbenchmark-dev lv2-dev lilv-utils)

ensure_packages() {
    local missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

build_preset() {
    local preset="$1"
    cmake --preset "$preset" -S "$ROOT" >/dev/null
    cmake --build --preset "$preset" -j "$JOBS"
}

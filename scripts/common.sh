# Shared set-up for ./run, ./test and ./bench: install what is missing, configure, build.
# shellcheck shell=bash

QUORLEX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the program, its tests, its benchmarks and its Debian package need.
QUORLEX_PACKAGES=(
    cmake ninja-build g++ pkg-config
    libcups2-dev cups-daemon cups-client  # CUPS queues: libcups, and a private server for the tests
    cups                                  # CUPS's socket backend: a test queue whose device is the virtual printer
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
    qt6-pdf-dev                            # the tests draw the printer's PDFs back
    fonts-nanum fonts-dejavu-core
    fonts-wqy-zenhei                       # the printer's Asian fonts 8 and 9 in Chinese and Japanese
    libzint-dev                            # bar codes and 2-D codes in label pictures
    libzxing-dev                           # the tests read those codes back
    xvfb xauth libxcb1-dev                 # the start-up bench watches the display with xcb
    dpkg-dev file man-db desktop-file-utils appstream
)

quorlex_missing_packages() {
    local pkg
    for pkg in "${QUORLEX_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            echo "$pkg"
        fi
    done
}

quorlex_install_packages() {
    local missing
    mapfile -t missing < <(quorlex_missing_packages)
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    echo "Installing missing Debian packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "error: these packages are missing and sudo is not available: ${missing[*]}" >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
}

# quorlex_build <build-dir> <build-type> [extra cmake arguments...]
# Builds every target, or only those in the array QUORLEX_TARGETS when it is set.
quorlex_build() {
    local dir="$1" type="$2"
    shift 2
    local wanted="$type $*"
    # Reconfigure only when the build kind changed or the folder is new; ninja re-runs CMake itself otherwise.
    if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$dir/.quorlex-config" 2>/dev/null)" != "$wanted" ]; then
        cmake -S "$QUORLEX_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
        echo "$wanted" >"$dir/.quorlex-config"
    fi
    cmake --build "$dir" ${QUORLEX_TARGETS+--target "${QUORLEX_TARGETS[@]}"}
}

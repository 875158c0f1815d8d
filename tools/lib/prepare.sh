# Shared by run-player and run-tests: installs the Debian packages that are missing (with
# sudo when not root), then configures and builds ZUNA in build/ (or $ZUNA_BUILD_DIR).
# Usage: prepare.sh [runtime|test] [extra cmake arguments...]

set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${ZUNA_BUILD_DIR:-$root/build}
purpose=${1:-runtime}
shift || true

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools
          libtag1-dev libmpg123-dev libflac-dev libsdl2-dev libpulse-dev libavformat-dev
          libavcodec-dev libavutil-dev)
# ZUNA_EXTRA_PACKAGES (space-separated) adds packages a particular build needs.
# shellcheck disable=SC2206
packages+=(${ZUNA_EXTRA_PACKAGES:-})
if [ "$purpose" = test ]; then
    # The end-to-end suite drives the real binary on a real X server, sound server and
    # session bus, and reads it as a screen reader does (AT-SPI).
    packages+=(xvfb xauth xdotool x11-utils imagemagick pulseaudio pulseaudio-utils dbus
               playerctl desktop-file-utils appstream flac lame ffmpeg python3-numpy
               at-spi2-core python3-pyatspi)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

# ccache, when installed, keeps rebuilds of the same sources cheap (CI builds four ways).
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" \
    >/dev/null
# ZUNA_BUILD_TARGETS (space-separated) builds only those targets, for partial builds.
# shellcheck disable=SC2086
cmake --build "$build" ${ZUNA_BUILD_TARGETS:+--target $ZUNA_BUILD_TARGETS}

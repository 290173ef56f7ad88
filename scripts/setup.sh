#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing) and
# builds the project.
#   BUILD_DIR   build folder (default: build)
#   BUILD_TYPE  CMake build type (default: RelWithDebInfo)
#   CMAKE_ARGS  extra arguments for cmake
#   BUILD_TARGET  what to build (default: everything)
#   EXTRA_PACKAGES  more Debian packages to make sure of
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-image-formats-plugins qt6-l10n-tools
          qt6-translations-l10n
          zlib1g-dev libjpeg62-turbo-dev libx11-dev fonts-dejavu-core xvfb xauth sudo curl python3
          librsvg2-bin man-db bsdextrautils bash-completion
          libguestfs-dev libguestfs-tools libguestfs-hfsplus linux-image-amd64 qemu-utils fuse3 strace 7zip
          ${EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

build_dir=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j2 ${BUILD_TARGET:+--target "$BUILD_TARGET"}

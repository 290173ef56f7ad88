#!/usr/bin/env bash
# Builds the Debian package: build/lumora-login_VERSION_ARCH.deb.
# It is compiled in a folder of its own, as a release with Debian's
# hardening flags, so the build that the tests use is left as it is.
#   PACKAGE_BUILD_DIR  where it is compiled (default: build-deb)
#   PACKAGE_OUT_DIR    where the package goes (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${PACKAGE_BUILD_DIR:-build-deb}
out_dir=${PACKAGE_OUT_DIR:-build}

# dpkg-shlibdeps (dpkg-dev, file) works out the library dependencies.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1" 2>/dev/null || true; }
if command -v dpkg-buildflags >/dev/null; then
  CXXFLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)"
  LDFLAGS=$(flags LDFLAGS)
  export CXXFLAGS LDFLAGS
fi
BUILD_DIR=$build_dir BUILD_TYPE=Release CMAKE_ARGS="-DLUMORA_BUILD_TESTS=OFF" \
  EXTRA_PACKAGES="dpkg-dev file" scripts/setup.sh

mkdir -p -- "$out_dir"
out_dir=$(realpath -- "$out_dir")
rm -f -- "$out_dir"/lumora-login_*.deb
(cd "$build_dir" && cpack -G DEB -B "$out_dir")
rm -rf -- "$out_dir/_CPack_Packages"
ls -- "$out_dir"/lumora-login_*.deb

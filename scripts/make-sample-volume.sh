#!/usr/bin/env bash
# Builds the sample Mac OS X 10.4.11 volume from the project's own artwork:
#   scripts/make-sample-volume.sh [ROOT]      (default ROOT: build/sample-volume)
# Needs a built tree (scripts/setup.sh).
#   BUILD_DIR       build folder (default: build)
#   SAMPLE_RELEASE  system release written into the volume (default: 10.4.11)
# An existing sample volume at ROOT is replaced; any other non-empty folder
# is left alone and the script stops.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
root=${1:-$build_dir/sample-volume}
tool=$build_dir/bin/lumora-sample-volume
artwork=$build_dir/bin/resources
marker=.lumora-sample-volume

if [ ! -x "$tool" ]; then
  echo "make-sample-volume: $tool is missing; build first with scripts/setup.sh" >&2
  exit 1
fi
if [ ! -f "$artwork/AppleLogo.tif" ]; then
  "$tool" artwork "$artwork"
fi

if [ -e "$root" ]; then
  if [ -f "$root/$marker" ]; then
    rm -rf -- "$root"
  elif [ -n "$(ls -A -- "$root" 2>/dev/null)" ]; then
    echo "make-sample-volume: $root is not empty and is not a sample volume; not touching it" >&2
    exit 1
  fi
fi
mkdir -p -- "$root"
"$tool" volume "$root" "$artwork" "${SAMPLE_RELEASE:-10.4.11}"
touch -- "$root/$marker"
echo "Sample volume (Mac OS X ${SAMPLE_RELEASE:-10.4.11}) in $root"

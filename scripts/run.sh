#!/usr/bin/env bash
# Installs what is missing, builds, makes the sample volume when there is
# none yet, and starts Lumora Login on it:
#   scripts/run.sh            keep the sample volume and what was saved on it
#   scripts/run.sh --fresh    start again from a new sample volume
#   scripts/run.sh --image    the sample volume as a disk image instead
#                             (<build>/sample.img, journaled HFS+ in an Apple
#                             Partition Map, opened through libguestfs)
#   BUILD_DIR       build folder (default: build)
#   SAMPLE_VOLUME   the volume to edit (default: <build>/sample-volume)
set -euo pipefail
cd "$(dirname "$0")/.."

fresh=no
image=no
while [ "${1:-}" = --fresh ] || [ "${1:-}" = --image ]; do
  [ "$1" = --fresh ] && fresh=yes
  [ "$1" = --image ] && image=yes
  shift
done

need_display() {
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run: no display (DISPLAY and WAYLAND_DISPLAY are unset); use a desktop session, or a virtual display: xvfb-run -a scripts/run.sh" >&2
    exit 1
  fi
}

export BUILD_DIR=${BUILD_DIR:-build}
scripts/setup.sh

if [ "$image" = yes ]; then
  sample=$BUILD_DIR/sample.img
  if [ "$fresh" = yes ] || [ ! -f "$sample" ]; then
    "$BUILD_DIR/bin/lumora-sample-volume" image "$sample" "$BUILD_DIR/bin/resources"
  fi
  need_display
  # An image the user owns is written as that user: no password.
  exec "$BUILD_DIR/bin/lumora-login" --image "$sample" "$@"
fi

volume=${SAMPLE_VOLUME:-$BUILD_DIR/sample-volume}
if [ "$fresh" = yes ] || [ ! -f "$volume/System/Library/CoreServices/SystemVersion.plist" ]; then
  scripts/make-sample-volume.sh "$volume"
fi
need_display

# The sample volume belongs to the user, so no administrator rights are needed.
LUMORA_SYSTEM_ROOT=$(realpath -- "$volume") LUMORA_AUTH=direct exec "$BUILD_DIR/bin/lumora-login" "$@"

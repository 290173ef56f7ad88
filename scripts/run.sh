#!/usr/bin/env bash
# Installs what is missing, builds, makes the sample volume when there is
# none yet, and starts Lumora Login on it:
#   scripts/run.sh            keep the sample volume and what was saved on it
#   scripts/run.sh --fresh    start again from a new sample volume
#   BUILD_DIR       build folder (default: build)
#   SAMPLE_VOLUME   the volume to edit (default: <build>/sample-volume)
set -euo pipefail
cd "$(dirname "$0")/.."

fresh=no
if [ "${1:-}" = --fresh ]; then
  fresh=yes
  shift
fi

export BUILD_DIR=${BUILD_DIR:-build}
scripts/setup.sh

volume=${SAMPLE_VOLUME:-$BUILD_DIR/sample-volume}
if [ "$fresh" = yes ] || [ ! -f "$volume/System/Library/CoreServices/SystemVersion.plist" ]; then
  scripts/make-sample-volume.sh "$volume"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no display (DISPLAY and WAYLAND_DISPLAY are unset); use a desktop session, or a virtual display: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi

# The sample volume belongs to the user, so no administrator rights are needed.
LUMORA_SYSTEM_ROOT=$(realpath -- "$volume") LUMORA_AUTH=direct exec "$BUILD_DIR/bin/lumora-login" "$@"

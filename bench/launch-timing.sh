#!/bin/bash
# Launch to a visible window: the window (on a sample volume, preview
# shown) against a bare Qt widgets window, in interleaved rounds under one
# X server; prints each run's milliseconds to the first window mapped, then
# the medians, and the median of each round's ratio to the bare window's
# time (steadier than the ratio of medians when the machine's speed drifts
# from round to round).
#
#   DISPLAY=:93 bench/launch-timing.sh ROUNDS TIMER BARE_WINDOW NAME=LUMORA_LOGIN [NAME=LUMORA_LOGIN...]
#
# TIMER and BARE_WINDOW are lumora-launch-timing and lumora-bare-window
# from a build with -DLUMORA_BUILD_BENCH=ON.
set -euo pipefail
rounds=$1 timer=$2 bare=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/pairs.sh"
read_pairs "$@"
sample_volume "${tools[${names[0]}]}" "$work/vol"
mkdir -p "$work/home"
export LUMORA_AUTH=direct HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" \
    LUMORA_SYSTEM_ROOT="$work/vol"

for ((i = 0; i < rounds; i++)); do
    echo "bare $("$timer" "$bare" 2>/dev/null)" | tee -a "$work/results"
    for name in "${names[@]}"; do
        echo "$name $("$timer" "${tools[$name]}" 2>/dev/null)" | tee -a "$work/results"
    done
done
echo "median milliseconds:"
for label in bare "${names[@]}"; do
    awk -v l="$label" '$1 == l { print $2 }' "$work/results" | sort -n |
        awk -v l="$label" '{ v[NR] = $1 } END { print l, v[int((NR + 1) / 2)] }'
done
echo "median ratio to the bare window in the same round:"
for name in "${names[@]}"; do
    awk -v l="$name" '$1 == "bare" { b = $2 } $1 == l && b > 0 { print $2 / b }' "$work/results" | sort -n |
        awk -v l="$name" '{ v[NR] = $1 } END { printf "%s %.3f\n", l, v[int((NR + 1) / 2)] }'
done

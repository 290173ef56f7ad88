#!/bin/bash
# lumora-loginctl preview of a large screen against a JPEG round trip of
# its background (djpeg | cjpeg -quality 100 | djpeg), in interleaved
# rounds; prints each run's seconds, then the medians.
#
#   bench/preview-against-roundtrip.sh ROUNDS PICTURE WxH NAME=LOGINCTL [NAME=LOGINCTL...]
set -euo pipefail
rounds=$1 picture=$2 size=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/pairs.sh"
read_pairs "$@"
sample_volume "${tools[${names[0]}]}" "$work/vol"
mkdir -p "$work/home"

run() {
    local label=$1
    shift
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    echo "$label $(cat "$work/time")" | tee -a "$work/results"
}

for ((i = 0; i < rounds; i++)); do
    run roundtrip bash -c "djpeg '$picture' | cjpeg -quality 100 | djpeg > /dev/null"
    for name in "${names[@]}"; do
        run "$name" env LUMORA_AUTH=direct HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
            XDG_CONFIG_HOME="$work/home/config" LUMORA_SYSTEM_ROOT="$work/vol" \
            "${tools[$name]}" preview --output "$work/$name.png" --size "$size" --background "$picture"
    done
done

echo "median seconds (wall, user, system):"
for label in roundtrip "${names[@]}"; do
    for column in 2 3 4; do
        awk -v l="$label" -v c="$column" '$1 == l { print $c }' "$work/results" | sort -n |
            awk '{ v[NR] = $1 } END { printf "%s ", v[int((NR + 1) / 2)] }'
    done | sed "s/^/$label /"
    echo
done

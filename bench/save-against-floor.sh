#!/bin/bash
# A background saved by lumora-loginctl set, against the floor of the same
# work done by libjpeg-turbo's own tools (djpeg | cjpeg -quality 100 > file;
# sync), in interleaved rounds; prints each run's seconds and peak memory,
# then the medians.
#
#   bench/save-against-floor.sh ROUNDS PICTURE_A PICTURE_B NAME=LOGINCTL [NAME=LOGINCTL...]
#
# The two pictures alternate, so every save changes the volume. Each
# lumora-loginctl gets a sample volume of its own, built by the
# lumora-sample-volume beside it.
set -euo pipefail
rounds=$1 a=$2 b=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/pairs.sh"
read_pairs "$@"
for name in "${names[@]}"; do
    sample_volume "${tools[$name]}" "$work/vol-$name"
    mkdir -p "$work/home-$name"
done

run() { # label command...: seconds and max RSS (MB) of one run
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    read -r secs kb <"$work/time"
    echo "$label $secs $((kb / 1024))" | tee -a "$work/results"
}

for ((i = 0; i < rounds; i++)); do
    picture=$a
    ((i % 2)) && picture=$b
    run floor bash -c "djpeg '$picture' | cjpeg -quality 100 > '$work/floor.jpg'; sync"
    for name in "${names[@]}"; do
        run "$name" env LUMORA_AUTH=direct HOME="$work/home-$name" XDG_DATA_HOME="$work/home-$name/data" \
            XDG_CONFIG_HOME="$work/home-$name/config" LUMORA_SYSTEM_ROOT="$work/vol-$name" \
            bash -c "'${tools[$name]}' set --background '$picture' && sync"
    done
done

echo "median seconds and peak MB:"
for label in floor "${names[@]}"; do
    awk -v l="$label" '$1 == l { print $2, $3 }' "$work/results" | sort -n | awk -v l="$label" '
        { s[NR] = $1; m[NR] = $2 } END { n = asort(m); print l, s[int((NR + 1) / 2)], m[int((n + 1) / 2)] }'
done

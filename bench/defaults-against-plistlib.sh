#!/bin/bash
# lumora-defaults write on a large XML domain against Python's plistlib
# loading, setting and dumping the same file, in interleaved rounds; prints
# each run's wall and CPU seconds, then the medians. At the end, plistlib
# reads the tool's file back: it must hold the input plus the new key.
#
#   bench/defaults-against-plistlib.sh ROUNDS KEYS NAME=LUMORA_DEFAULTS [NAME=LUMORA_DEFAULTS...]
set -euo pipefail
rounds=$1 keys=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/pairs.sh"
read_pairs "$@"
domain=Library/Preferences/com.apple.loginwindow
mkdir -p "$work/original/Library/Preferences" "$work/original/System/Library/CoreServices"
python3 - "$work/original" "$domain" "$keys" <<'PY'
import datetime, plistlib, sys
root, domain, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
# The tool edits nothing but a Mac OS X volume: the release is named.
with open(f"{root}/System/Library/CoreServices/SystemVersion.plist", "wb") as f:
    plistlib.dump({"ProductName": "Mac OS X", "ProductVersion": "10.4.11", "ProductBuildVersion": "8S165"}, f)
path = f"{root}/{domain}.plist"
kinds = [lambda i: f"text {i}", lambda i: i * 7919, lambda i: i / 7.0, lambda i: i % 2 == 0,
         lambda i: datetime.datetime(2006, 1, 1) + datetime.timedelta(seconds=i), lambda i: bytes([i % 256]) * 8,
         lambda i: [i, f"{i}"], lambda i: {"n": i}]
with open(path, "wb") as f:
    plistlib.dump({f"key{i:06d}": kinds[i % len(kinds)](i) for i in range(count)}, f, fmt=plistlib.FMT_XML)
PY
cat >"$work/set-key.py" <<'PY'
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    d = plistlib.load(f)
d["LoginwindowText"] = "hello"
with open(sys.argv[1], "wb") as f:
    plistlib.dump(d, f, fmt=plistlib.FMT_XML)
PY

run() { # label command...
    local label=$1
    shift
    rm -rf "$work/vol" && cp -r "$work/original" "$work/vol"
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    read -r wall user sys <"$work/time"
    echo "$label $wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" | tee -a "$work/results"
}

for ((i = 0; i < rounds; i++)); do
    run plistlib python3 "$work/set-key.py" "$work/vol/$domain.plist"
    for name in "${names[@]}"; do
        run "$name" "${tools[$name]}" --root "$work/vol" write "/$domain" LoginwindowText hello
        python3 - "$work/original/$domain.plist" "$work/vol/$domain.plist" <<'PY'
import plistlib, sys
a = plistlib.load(open(sys.argv[1], "rb"))
b = plistlib.load(open(sys.argv[2], "rb"))
a["LoginwindowText"] = "hello"
sys.exit(0 if a == b else "the tool's file is not the input plus the new key")
PY
    done
done

echo "median seconds (wall, CPU):"
for label in plistlib "${names[@]}"; do
    for column in 2 3; do
        awk -v l="$label" -v c="$column" '$1 == l { print $c }' "$work/results" | sort -n |
            awk '{ v[NR] = $1 } END { printf "%s ", v[int((NR + 1) / 2)] }'
    done | sed "s/^/$label /"
    echo
done

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for
# the given number of seconds (default 60) from the committed seed corpus.
# New inputs go to build-fuzz/corpus/, crashes to build-fuzz/artifacts/.
# Exits non-zero when a target crashes, leaks or times out.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build_dir=build-fuzz

missing=()
for p in clang libclang-rt-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DLUMORA_FUZZ=ON -DLUMORA_SANITIZE=address,undefined >/dev/null
cmake --build "$build_dir" -j2 --target fuzz_propertylist fuzz_defaults_value

status=0
for pair in fuzz_propertylist:propertylist fuzz_defaults_value:defaults-value; do
  target=${pair%%:*}
  seeds=tests/data/fuzz/${pair#*:}
  corpus=$build_dir/corpus/$target
  artifacts=$build_dir/artifacts/$target/
  mkdir -p "$corpus" "$artifacts"
  echo "== $target for ${seconds}s"
  if ! "$build_dir/bin/$target" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -artifact_prefix="$artifacts" -print_final_stats=1 2>"$build_dir/$target.log"; then
    echo "$target FAILED; see $build_dir/$target.log and $artifacts"
    tail -n 40 "$build_dir/$target.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$build_dir/$target.log" || true
  fi
done
exit $status

#!/usr/bin/env bash
# Builds every fuzz target of fuzz/ with clang and libFuzzer into build-fuzz/
# and runs each for a share of a bounded time (QLON_FUZZ_SECONDS, default 60
# in all). Fails on any crash, sanitizer report, time-out or memory blow-up.
set -euo pipefail
QLON_TOP=$(cd "$(dirname "$0")/.." && pwd)
build="$QLON_TOP/build-fuzz"
total=${QLON_FUZZ_SECONDS:-60}
jobs=${QLON_JOBS:-$(nproc)}

cmake -S "$QLON_TOP/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --parallel "$jobs"

shopt -s nullglob
targets=("$build"/bin/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets"
  exit 0
fi
per=$((total / ${#targets[@]}))
((per < 5)) && per=5

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  name=${t##*/fuzz_}
  corpus="$build/corpus/$name"
  mkdir -p "$corpus" "$build/artifacts/$name"
  seeds=()
  [ -d "$QLON_TOP/fuzz/corpus/$name" ] && seeds=("$QLON_TOP/fuzz/corpus/$name")
  echo "== fuzz $name (${per}s)"
  if ! "$t" -max_total_time="$per" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$name/" "$corpus" "${seeds[@]}" 2>"$build/$name.log"; then
    tail -n 60 "$build/$name.log"
    echo "fuzz $name FAILED (inputs in $build/artifacts/$name/)"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/$name.log" | tail -n 2 || true
  fi
done
exit $status

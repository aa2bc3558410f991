#!/usr/bin/env bash
# Installs what the build needs, then builds and runs every test twice: a
# plain build in build/ and an AddressSanitizer + UndefinedBehaviorSanitizer
# build in build-asan/; then the link resolution's tests under
# ThreadSanitizer in build-tsan/. Exits non-zero on any failure.
set -euo pipefail
QLON_TOP=$(cd "$(dirname "$0")" && pwd)
source "$QLON_TOP/tools/setup.sh"
qlon_install_packages

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
status=0

echo "== plain build"
qlon_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
log=$(mktemp)
trap 'rm -f "$log"' EXIT
ctest --test-dir "$QLON_TOP/build" --output-on-failure -j "$jobs" | tee -a "$log" || status=1

echo "== sanitizer build"
qlon_build build-asan -DCMAKE_BUILD_TYPE=Debug -DQLON_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$QLON_TOP/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$QLON_TOP/build-asan" --output-on-failure -j "$jobs" | tee -a "$log" || status=1

# The tests that run threads of the engine's own (link resolution, the
# capture's files made ahead), under ThreadSanitizer: only their program is
# built. The crash test forks a process that starts threads, which
# ThreadSanitizer allows only this way.
echo "== thread sanitizer build (link resolution)"
cmake -S "$QLON_TOP" -B "$QLON_TOP/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLON_SANITIZE_THREAD=ON >/dev/null
cmake --build "$QLON_TOP/build-tsan" --parallel "$jobs" --target qlon_engine_tests
TSAN_OPTIONS=halt_on_error=1:die_after_fork=0 \
  ctest --test-dir "$QLON_TOP/build-tsan" --output-on-failure -j "$jobs" \
    -R '^(DlgResolveTest|ResolveNetTest|ReplaceBatchTest|FilePoolTest|HostAlias|NamedHostTest)\.' | tee -a "$log" || status=1

if [ -x "$QLON_TOP/tools/fuzz.sh" ]; then
  echo "== fuzzing"
  "$QLON_TOP/tools/fuzz.sh" || status=1
fi

# One closing line over both test runs.
passed=0; failed=0
while read -r pass fail; do
  passed=$((passed + pass)); failed=$((failed + fail))
done < <(sed -nE 's/.*tests passed, ([0-9]+) tests failed out of ([0-9]+).*/\2 \1/p' "$log" |
         awk '{print $1 - $2, $2}')
((status == 0)) || ((failed > 0)) || failed=1
echo "Tests: $passed passed, $failed failed"
exit $status

#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the optimised
# build with Debian's flags (then packed and, in CI, installed and used), the
# Windows build's suites under Wine, the AddressSanitizer/UndefinedBehaviorSanitizer build, ThreadSanitizer over the
# threaded transports, and bounded libFuzzer runs.
# FUZZ_SECONDS (default 20) bounds each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-20}

echo "== [${SECONDS} s] formatting"
bash scripts/check_format.sh
echo "formatting: clean"

echo "== [${SECONDS} s] layers"
python3 scripts/check_layers.py --self-test
python3 scripts/check_layers.py

# The optimised build of the tests is the one the package is made of: built
# once with Debian's flags, tested, then packed.
echo "== [${SECONDS} s] optimised build with Debian's flags, tests, package"
bash scripts/package.sh --tests
bash scripts/package_test.sh

# The SDK and the command line tool for Windows, their suites under Wine; the round trips drive the
# optimised build's mkv-sim. Everything but the Qt program is built.
echo "== [${SECONDS} s] Windows build under Wine"
cmake --preset windows -DQLMKV_HOST_BIN="$PWD/build-package/bin"
cmake --build --preset windows -j "$jobs"
ctest --preset windows

echo "== [${SECONDS} s] AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" ctest --preset asan

echo "== [${SECONDS} s] ThreadSanitizer over the threaded transports"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs" --target tsan_tests
TSAN_OPTIONS=halt_on_error=1 ctest --preset tsan -L tsan

echo "== [${SECONDS} s] fuzzing, ${fuzz_seconds}s per target, $jobs at a time"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs" --target all_fuzzers

# Runs one fuzz target into its log; prints nothing.
fuzz_one() {
  local target=$1 name corpus
  name=$(basename "$target")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  # Seeds kept in the tree are read, never written: new finds go to $corpus.
  local seeds=()
  [ -d "tests/fuzz/corpus/$name" ] && seeds=("tests/fuzz/corpus/$name")
  # Settings files and data records are a few short lines: longer inputs
  # only slow the search through the INI parser and the loaders.
  local limits=()
  case $name in fuzz_ini) limits=(-max_len=256) ;; esac
  local status=0
  "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${limits[@]}" \
    "$corpus" "${seeds[@]}" >"build-fuzz/$name.log" 2>&1 || status=$?
  echo "$status" >"build-fuzz/$name.status"
}

# Each target is single-threaded: run as many at once as there are cores.
targets=()
for target in build-fuzz/bin/fuzz_*; do [ -x "$target" ] && targets+=("$target"); done
running=0
for target in "${targets[@]}"; do
  fuzz_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
done
wait

failed=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  echo "-- $name"
  grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "build-fuzz/$name.log" || true
  # A finding ends the fuzzer with a non-zero status and its report.
  status=$(cat "build-fuzz/$name.status")
  if [ "$status" -ne 0 ]; then tail -n 40 "build-fuzz/$name.log"; failed=$status; fi
done
[ "$failed" -eq 0 ] || exit "$failed"

echo "== [${SECONDS} s] all tests passed"

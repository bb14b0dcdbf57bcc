#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build,
# the AddressSanitizer/UndefinedBehaviorSanitizer build, ThreadSanitizer over
# the threaded transports, and bounded libFuzzer runs.
# FUZZ_SECONDS (default 30) bounds each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

echo "== formatting"
bash scripts/check_format.sh
echo "formatting: clean"

echo "== normal build and tests"
cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" ctest --preset asan

echo "== ThreadSanitizer over the threaded transports"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs" --target tsan_tests
TSAN_OPTIONS=halt_on_error=1 ctest --preset tsan -L tsan

echo "== fuzzing, ${fuzz_seconds}s per target"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs" --target all_fuzzers
for target in build-fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  # Seeds kept in the tree are read, never written: new finds go to $corpus.
  seeds=()
  [ -d "tests/fuzz/corpus/$name" ] && seeds=("tests/fuzz/corpus/$name")
  # Settings files and data records are a few short lines: longer inputs
  # only slow the search through the INI parser and the loaders.
  limits=()
  case $name in fuzz_ini) limits=(-max_len=256) ;; esac
  echo "-- $name"
  log=build-fuzz/$name.log
  status=0
  "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${limits[@]}" \
    "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log" || true
  # A finding ends the fuzzer with a non-zero status and its report.
  if [ "$status" -ne 0 ]; then tail -n 40 "$log"; exit "$status"; fi
done

echo "== Debian package"
bash scripts/package.sh
bash scripts/package_test.sh

echo "== all tests passed"

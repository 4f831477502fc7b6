#!/usr/bin/env bash
# Builds and runs every test: once normally, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the threaded MIDI tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

run_suite() {  # preset, ctest arguments...
  local preset=$1; shift
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset tests =="
  ctest --preset "$preset" -j"$jobs" "$@"
}

run_suite default
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite asan
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp" run_suite tsan

#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test -- first the
# optimised build, then the sanitizer build (which also runs the fuzzers for a bounded time).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh release
(cd build/release && ctest --output-on-failure -j2)
scripts/build.sh asan
cd build/asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure -j2

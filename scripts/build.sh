#!/usr/bin/env bash
# Configures and builds one flavour into build/<flavour> (every target, or only the targets
# named after the flavour):
#   release  GCC, optimised, with the tests      (default)
#   asan     clang with AddressSanitizer + UndefinedBehaviorSanitizer, the tests and fuzzers
#   bench    GCC, optimised, with the benchmarks
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
dir=build/$flavour
case "$flavour" in
  release) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_TESTS=ON) ;;
  asan) args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
              -DQZ_SANITIZE=ON -DQZ_FUZZ=ON -DQZ_TESTS=ON) ;;
  bench) args=(-DCMAKE_BUILD_TYPE=Release -DQZ_TESTS=OFF -DQZ_BENCH=ON) ;;
  *) echo "unknown flavour $flavour" >&2; exit 2 ;;
esac
# A compiler cache, when the machine has one, makes rebuilds in several checkouts cheap.
if command -v ccache >/dev/null 2>&1; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
fi
ninja -C "$dir" "${@:2}" >&2

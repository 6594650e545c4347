#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests (GCC), and runs the tests on a
# virtual display. With --sanitize, builds with Clang under AddressSanitizer and
# UndefinedBehaviorSanitizer instead (in build-sanitize/), with the fuzz targets, and runs the
# tests, then every fuzz target for a few seconds on its corpus (scripts/fuzz.sh; FUZZ_SECONDS
# sets how long). With --tsan, builds and runs only the tests of the GPIB and VISA layer, the
# serial ports and the simulated bench (tests_gpib, with the stand-in GPIB library) under
# ThreadSanitizer (in build-tsan/).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

dir=build
opts=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  export CC=clang CXX=clang++
  opts=(-DBANC_SANITIZE=ON -DBANC_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

if [ "${1:-}" = "--tsan" ]; then
  tsan="-fsanitize=thread -fno-omit-frame-pointer"
  cmake -S . -B build-tsan -DBANC_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$tsan" -DCMAKE_EXE_LINKER_FLAGS="$tsan" -DCMAKE_SHARED_LINKER_FLAGS="$tsan" >/dev/null
  cmake --build build-tsan -j "$(nproc)" --target tests_gpib
  export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1}"
  exec ctest --test-dir build-tsan -R '^tests_gpib$' --output-on-failure
fi

cmake -S . -B "$dir" -DBANC_TESTS=ON "${opts[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
xvfb-run -a -s "-screen 0 1600x1000x24" ctest --test-dir "$dir" --output-on-failure
if [ "$dir" = build-sanitize ]; then
  ./scripts/fuzz.sh "$dir" "${FUZZ_SECONDS:-10}"
fi

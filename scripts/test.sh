#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests, and runs the tests on a virtual
# display. With --sanitize, builds and runs them under AddressSanitizer and
# UndefinedBehaviorSanitizer instead (in build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

dir=build
opts=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  opts=(-DBANC_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi

cmake -S . -B "$dir" -DBANC_TESTS=ON "${opts[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
xvfb-run -a -s "-screen 0 1600x1000x24" ctest --test-dir "$dir" --output-on-failure

#!/usr/bin/env bash
# The long soak, on demand: the demo bench with every instrument type that is built, graph
# windows and the 3D view open, a week of acquisition at one second then an hour at the shortest
# period the program allows, with faults along the way (tests/soak/test_soak_ui.cpp). It prints
# its report (resident size over time, record rows against ticks, faults and what reported
# them) and asserts its bounds, the instruments' own fault handling included. About an hour of
# real time here; about 1 GB of records an hour of program time at one second goes through the
# disk (each set of record files deleted once tallied: 20 minutes of records at most at a time).
# The short form runs with the other window tests.
#   ./scripts/soak.sh [build directory]     (default build/, configured and built if need be)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
dir=${1:-build}
cmake -S . -B "$dir" -DBANC_TESTS=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target tests_ui
BANC_SOAK=long exec xvfb-run -a -s "-screen 0 1600x1000x24" "$dir/tests/tests_ui" --gtest_filter='Soak.*'

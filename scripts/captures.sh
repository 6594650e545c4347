#!/usr/bin/env bash
# Pictures of the screen (1600 by 1000) during an acquisition on the demo bench: two graph
# windows, the measurement table and the 3D view as they open (fenetres_demo.png), then the
# counter's axis scaled by hand in its scaling dialog (echelle_manuelle.png). The window test
# tests/graphs/test_fenetres_demo_ui.cpp drives the program as an operator and grabs the screen.
#   ./scripts/captures.sh [directory] [build directory]   (default captures/ and build/)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
out=$(realpath -m "${1:-captures}")
dir=${2:-build}
mkdir -p "$out"
cmake -S . -B "$dir" -DBANC_TESTS=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target tests_ui
BANC_CAPTURES="$out" xvfb-run -a -s "-screen 0 1600x1000x24" "$dir/tests/tests_ui" --gtest_filter='FenetresDemo.*'
ls "$out"/*.png

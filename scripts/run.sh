#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DBANC_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target banc
exec ./build/app/banc "$@"

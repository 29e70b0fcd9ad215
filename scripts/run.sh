#!/bin/bash
# Installs what Kestrun needs, builds it and starts it on the live machine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUN_TESTS=OFF -DKESTRUN_BENCH=OFF
cmake --build build --target kestrun
exec ./build/kestrun "$@"

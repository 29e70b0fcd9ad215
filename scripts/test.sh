#!/bin/bash
# Installs what Kestrun needs, builds it with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test: unit, component (under Xvfb),
# end-to-end and fuzz-corpus replays. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_SANITIZE=ON
cmake --build build-test -j "$(nproc)"
cd build-test
ctest --output-on-failure -j "$(nproc)" --timeout 600

#!/usr/bin/env bash
# Fresh machine to first result: installs what is missing, builds Kinvar and
# computes the inbreeding coefficients of a bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"

echo
echo "== kinvar-cli inbreeding examples/herd.pdg --report"
build/bin/kinvar-cli inbreeding examples/herd.pdg --report

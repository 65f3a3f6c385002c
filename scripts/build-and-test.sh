#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the pedigree reader and fuzz tests
# under them, fuzzes every file reader for a short while (libFuzzer, when
# clang is there), then builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKINVAR_SANITIZE=ON -DKINVAR_BUILD_GUI=OFF -DKINVAR_BUILD_BENCH=OFF
cmake --build build-sanitize -j"$jobs" --target pedigree_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  build-sanitize/bin/pedigree_tests --gtest_brief=1

# At most 50 s per reader (about two minutes in all on two cores), the same
# inputs on every run so that a failure points at the change; scripts/fuzz.sh
# alone runs a million fresh inputs each.
KINVAR_FUZZ_SEED=1 KINVAR_FUZZ_MAX_SECONDS=50 scripts/fuzz.sh 100000

# Position-independent code: the R and Python packages link this build's core.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"
KINVAR_CORE_BUILD=build scripts/test-r.sh
KINVAR_CORE_BUILD=build scripts/test-python.sh

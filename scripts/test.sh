#!/usr/bin/env bash
# Runs every test: installs what is missing; checks that no file includes from a layer above
# its own; runs the fuzz targets for a bounded time (clang, AddressSanitizer); builds the core
# libraries and their tests with AddressSanitizer and UndefinedBehaviorSanitizer and runs those;
# runs the controller's tests under ThreadSanitizer; then builds everything and runs the whole
# suite.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== Include layer order"
cmake -P cmake/CheckLayers.cmake

echo "== Fuzz targets (libFuzzer, clang, AddressSanitizer), each for a bounded time"
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DTESSALINE_FUZZ=ON
ctest --no-tests=error --test-dir build-fuzz --output-on-failure -L fuzz

echo "== Core libraries and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/build.sh build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTESSALINE_CORE_ONLY=ON \
  -DTESSALINE_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --no-tests=error --test-dir build-sanitize --output-on-failure --parallel "$(nproc)" -L core

echo "== The tests labelled tsan (controller, harvest, PDF thread, read-ahead, language, batch list) under ThreadSanitizer"
bash scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALINE_CORE_ONLY=ON -DTESSALINE_GUI=ON \
  -DTESSALINE_TSAN=ON
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --no-tests=error --test-dir build-tsan --output-on-failure --parallel "$(nproc)" -L tsan

echo "== Build and run all tests"
bash scripts/build.sh build
ctest --no-tests=error --test-dir build --output-on-failure --parallel "$(nproc)"

#!/usr/bin/env bash
# Configures and builds the project into build/ (or the folder given as $1, with extra CMake
# options after it). The program folder is <build>/bin.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

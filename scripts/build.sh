#!/usr/bin/env bash
# Configures and builds the project into build/ (or the folder given as $1, with extra CMake
# options after it). The program folder is <build>/bin. The configure output is shown only when
# configuring fails.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
shift || true
configure_log=$(mktemp)
trap 'rm -f "$configure_log"' EXIT
if ! cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$configure_log"; then
  echo "== Configuring $build_dir failed; the configure output:" >&2
  cat "$configure_log" >&2
  exit 1
fi
cmake --build "$build_dir" --parallel "$(nproc)"

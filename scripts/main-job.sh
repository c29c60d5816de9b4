#!/usr/bin/env bash
# The main job: installs what is missing, builds the program folder and runs what exists.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build

program_dir="$(pwd)/build/bin"
echo
echo "Installing into the platform root (printers, TempDir, component classes):"
"$program_dir/tessaline-install"
echo
echo "Built the program folder: $program_dir"
ls -1 "$program_dir"
echo
echo "Registry of this user (tessaline-reg query \"HKCU\\Software\\Tessaline\"):"
"$program_dir/tessaline-reg" query 'HKCU\Software\Tessaline' || true
echo
echo "The conversion pipeline is not built yet: no PDFs are produced by this version."

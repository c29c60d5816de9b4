#!/usr/bin/env bash
# The main job: installs what is missing, builds the program folder, installs the printer and the
# component classes for this user, and converts every document of examples/ with its hyperlinks
# and bookmarks kept. The PDFs go to build/examples-pdf/ (or the folder given as $1).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build

program_dir="$(pwd)/build/bin"
output_dir="$(realpath -m "${1:-build/examples-pdf}")"
mkdir -p "$output_dir"

echo
echo "Installing for this user (printers, TempDir, component classes):"
"$program_dir/tessaline-install"

echo
echo "Converting examples/ with folvane-cli:"
shopt -s nullglob
documents=(examples/*.docx examples/*.doc)
status=0
"$program_dir/folvane-cli" --keep-links --keep-bookmarks -o "$output_dir" "${documents[@]}" ||
  status=$?

echo
echo "The PDFs are in $output_dir:"
ls -1 "$output_dir"
exit "$status"

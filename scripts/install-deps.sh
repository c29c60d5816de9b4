#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Idempotent: when everything is already present it returns at once.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  cmake g++ ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  # clang with libFuzzer and the sanitizer runtimes, for the fuzz targets
  clang libclang-rt-14-dev
  # GUI
  qt6-base-dev
  # PDF engine and toolkit stand-ins
  libqpdf-dev libcairo2-dev libfontconfig-dev libfreetype-dev
  # language library
  libpugixml-dev
  # word processor stand-in (UNO headers are generated at build time)
  libreoffice-writer-nogui libreoffice-dev
  # the desktop's "open" for PDFs, documents, folders and web pages from the window
  xdg-utils
  # fonts for documents
  fonts-liberation fonts-noto-cjk
  # tools the tests use to check PDFs and to edit test documents, and an X server for GUI tests
  qpdf poppler-utils zip unzip xvfb xauth
  # locale data (a test reads numbers under a decimal-comma locale)
  locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs everything the build, the tests and the benchmarks need from Debian's
# packages. Safe to run again; quick when everything is present already.
# With --fuzz it also installs clang and its sanitizer runtimes for `make fuzz`.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools
  qt6-charts-dev qt6-svg-dev libqt6opengl6-dev   # the plot; Qt Charts' CMake files need Qt OpenGL's
  zlib1g-dev libdeflate-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fontconfig fonts-dejavu-core
  dpkg-dev file desktop-file-utils appstream shared-mime-info man-db gzip lintian
  libreoffice-calc-nogui
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"

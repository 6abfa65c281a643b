#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test kalo3d.
# Safe to run again: only packages that are missing are installed.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake pkg-config
  # Qt 5.15 and the QML modules the main window imports
  qtbase5-dev qtdeclarative5-dev qtbase5-dev-tools
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-layouts
  qml-module-qtquick-controls qml-module-qtquick-controls2 qml-module-qtquick-dialogs
  qml-module-qtquick-privatewidgets qml-module-qt-labs-folderlistmodel qml-module-qt-labs-settings
  qml-module-qtgraphicaleffects
  # mesh import, archive output, images
  libassimp-dev libquazip1-qt5-dev zlib1g-dev libpng-dev
  # headless display and Mesa's software OpenGL for the GUI tests
  xvfb xauth libgl1-mesa-dri libglx-mesa0 libgl-dev
  # sanitizer and fuzz builds (scripts/run-sanitizers.sh): clang, its
  # sanitizer and libFuzzer runtimes, and llvm-symbolizer for readable reports
  clang libclang-rt-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"

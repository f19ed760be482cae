#!/usr/bin/env bash
# Installs every Debian 12 package that building, running, testing and benchmarking MAVU needs.
# Quick when everything is already there: apt is only asked when a package is missing.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git ca-certificates
  # Qt 6 core, network, concurrency, HTTP server (tests and the lab), Quick and Controls
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools qt6-httpserver-dev
  qt6-websockets-dev libqt6opengl6-dev libgl-dev libvulkan-dev
  qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtqml-models
  qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtquick-layouts
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-shapes
  qml6-module-qttest qml6-module-qt5compat-graphicaleffects qt6-qpa-plugins libqt6svg6
  qml6-module-qtquick-dialogs
  # async, JSON, playback
  qcoro-qt6-dev libsimdjson-dev libvlc-dev vlc-plugin-base libvlc-bin
  # the full programme guide: XMLTV reading, gzip, its SQLite database through Qt SQL
  libxml2-dev zlib1g-dev libqt6sql6-sqlite libsqlite3-dev
  # fonts: icon font and the wordmark's rounded typeface
  fonts-materialdesignicons-webfont fonts-quicksand
  # media generation for tests, the lab and benchmarks; headless display
  ffmpeg xvfb xauth libgl1-mesa-dri libegl1 fonts-dejavu-core
  # benchmarks
  libbenchmark-dev
  # fuzzing: clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # the desktop: icons rendered at build time, a private session bus for the MPRIS and screen-saver
  # tests, and the checks of the desktop entry, the metainfo and the Debian package
  librsvg2-bin dbus-daemon dbus-bin desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${packages[@]}"

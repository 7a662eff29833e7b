#!/usr/bin/env bash
# Checks that includes between the folders of src/ follow cmake/layers.txt, builds
# everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test (two at a time, the asan test preset's jobs); then cross-builds the
# Windows executable with MinGW-w64 and runs its suites and the service end to end
# under Wine.
# Usage: scripts/test.sh [linux|windows]   (no argument: both, as CI runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
scripts/setup.sh
# The include check (the layer_order test) runs once, first, before the long build;
# the full runs leave it out.
if [ "$what" = all ] || [ "$what" = linux ]; then
  cmake --preset asan >/dev/null
  ctest --preset asan -R '^layer_order$'
  cmake --build --preset asan
  ctest --preset asan -E '^layer_order$'
fi
if [ "$what" = all ] || [ "$what" = windows ]; then
  # wixl builds the installer package; setup.sh's list is shared, so it is added here.
  if ! dpkg-query -W -f='${Status}' wixl 2>/dev/null | grep -q 'install ok installed'; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "Installing wixl (the installer package's builder)"
    env DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq wixl >/dev/null
  fi
  # The package's test collects with the Linux brumevale of the ASan build.
  if [ ! -x build/asan/src/brumevale/brumevale ]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan --target brumevale
  fi
  scripts/windows-sources.sh
  cmake --preset windows >/dev/null
  [ "$what" = all ] || ctest --preset windows -R '^layer_order$'
  cmake --build --preset windows
  ctest --preset windows -E '^layer_order$'
fi

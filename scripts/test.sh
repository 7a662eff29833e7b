#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test suite; then cross-builds the Windows executable with MinGW-w64 and runs
# its suites and the service end to end under Wine.
# Usage: scripts/test.sh [linux|windows]   (no argument: both, as CI runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
scripts/setup.sh
if [ "$what" = all ] || [ "$what" = linux ]; then
  cmake --preset asan >/dev/null
  cmake --build --preset asan
  ctest --preset asan
fi
if [ "$what" = all ] || [ "$what" = windows ]; then
  scripts/windows-sources.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  ctest --preset windows
fi

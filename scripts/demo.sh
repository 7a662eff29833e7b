#!/usr/bin/env bash
# Runs the demo: builds the simulator, boots a copy of the demo machine, plays the
# demo scenario on it and prints the change history the service recorded.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target brumevale-sim
# A fresh copy under build/, so the example in the repository stays as it is.
image=build/demo-run/demo-machine
rm -rf build/demo-run
mkdir -p build/demo-run
cp -r examples/demo-machine "$image"
# Programs with version strings of their own, the system's vouched for by its
# catalog, the updater signed by its publisher (built and signed at set-up).
scripts/prepare_demo_image.sh "$image" build/demo-run
build/release/src/sim/brumevale-sim run "$image" --scenario examples/demo.scenario
echo
build/release/src/sim/brumevale-sim report "$image"

#!/usr/bin/env bash
# Installs from Debian's packages whatever the build needs and the machine lacks.
# One line a step on the terminal; the package manager's own output goes to a log
# file, named at the start and again when a step fails.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev
          libsqlite3-dev sqlite3 libpugixml-dev libssl-dev nlohmann-json3-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          # The Windows build and its tests under Wine; tcl and dpkg-dev turn
          # SQLite's Debian sources into its single-file form.
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
          osslsigncode openssl tcl dpkg-dev
          # The demo machine's system catalog is written by a Python script.
          python3
          # The report page is checked in a real headless browser.
          chromium chromium-driver python3-selenium
          # Fleets: the replicated stream, the central store and their C clients.
          nats-server libnats-dev postgresql-15 libpq-dev pkg-config)
log="${SETUP_LOG:-${TMPDIR:-/tmp}/brumevale-setup.log}"
: > "$log"

# step TEXT COMMAND...: one line for the step, its output into the log.
step() {
  local text="$1"; shift
  printf '%s ... ' "$text"
  if "$@" >> "$log" 2>&1; then
    echo "done"
  else
    echo "failed (the full output is in $log)"
    exit 1
  fi
}

echo "Setting up the build machine (full output in $log)"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  echo "Every package is installed already (${#packages[@]} checked)"
  exit 0
fi
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
step "Reading the package lists" $SUDO apt-get update
step "Installing ${#missing[@]} packages: ${missing[*]}" \
  env DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
echo "Done"

#!/usr/bin/env bash
# Configuring the Windows build without the NATS client's archive, and with an archive
# that is not the release: one line says so, and brumevale.exe is built without export.
# Usage: archive_check.sh SOURCE_DIR WINDOWS_SOURCES WORK_DIR
set -euo pipefail
source_dir=$1 sources=$2 work=$3
rm -rf "$work" && mkdir -p "$work/archive"
fail() { echo "FAILED: $*" >&2; exit 1; }
# configure NAME FOLDER: the configure output of a build whose archive folder is FOLDER.
configure() {
  cmake -S "$source_dir" -B "$work/$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
    -DBRUMEVALE_TESTS=OFF -DBRUMEVALE_BENCH=OFF -DBRUMEVALE_WINDOWS_SOURCES="$sources" \
    -DBRUMEVALE_THIRD_PARTY="$2" 2>&1
}
without_export() { ! grep -q 'libbrumevale_fleet' "$work/$1/build.ninja" || fail "$1: the fleet library is still built"; }

out=$(configure missing "$work/nowhere")
grep -qx "brumevale.exe without export: $work/nowhere/nats.c-3.4.1.tar.gz not found (set BRUMEVALE_THIRD_PARTY to its folder)" <<<"$out" \
  || fail "missing archive: $out"
without_export missing

# One byte more than the release: the hash differs, nothing is unpacked.
printf x >"$work/archive/nats.c-3.4.1.tar.gz"
out=$(configure altered "$work/archive")
grep -q "^brumevale.exe without export: $work/archive/nats.c-3.4.1.tar.gz is not the 3.4.1 release (SHA-256 [0-9a-f]\{64\})$" <<<"$out" \
  || fail "altered archive: $out"
without_export altered
[ ! -e "$work/altered/third_party/nats.c-3.4.1" ] || fail "an altered archive was unpacked"
echo "archive check: passed"

#!/bin/sh
# The include check: every #include between the folders of src/ runs downward in
# cmake/layers.txt. The checker is one of the shared tools kept beside the
# repository (BRUMEVALE_LAYERS_TOOL names another copy). A clone without it skips the
# check (exit 77, CTest's skip code set on the layer_order test); CI must not, so
# there a missing checker is a failure.
# Usage: check_layers.sh SOURCE_DIR
root=${1:?usage: check_layers.sh SOURCE_DIR}
tool=${BRUMEVALE_LAYERS_TOOL:-$root/../shared/tools/layers.py}
if [ ! -f "$tool" ]; then
  if [ -n "${CI+set}" ]; then
    echo "layer check: $tool not found, and CI is set: the order of the layers must be checked here" >&2
    exit 1
  fi
  echo "layer check skipped: $tool not found, so the order of the layers is not checked"
  exit 77
fi
exec python3 "$tool" --root "$root" "$root/cmake/layers.txt"

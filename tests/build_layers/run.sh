#!/bin/sh
# The build's layer rules on a small project: a downward project builds; a DEPENDS
# upward or sideways stops the configuration with its reason; an include from a
# folder the library does not depend on stops the compiler.
# Usage: run.sh CMAKE_DIR WORK_DIR
set -u
cmake_dir=$1 work=$2 here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
status=0
configure() {  # case, then the build folder's output in $work/<case>.log
  cmake -S "$here" -B "$work/$1" -G Ninja -DCASE="$1" -DBRUMEVALE_CMAKE_DIR="$cmake_dir" >"$work/$1.log" 2>&1
}
expect() {  # case, what the log must say
  if ! tr -s ' \n' '  ' <"$work/$1.log" | grep -q "$2"; then
    echo "case $1: expected \"$2\" in:"; cat "$work/$1.log"; status=1
  fi
}
if configure good && cmake --build "$work/good" >>"$work/good.log" 2>&1; then :; else
  echo "case good: the downward project did not build:"; cat "$work/good.log"; status=1
fi
if configure upward; then echo "case upward: configured"; status=1; fi
expect upward "rules_base_late DEPENDS on rules_left, whose folder src/left is in a layer above src/base"
if configure sideways; then echo "case sideways: configured"; status=1; fi
expect sideways "rules_right DEPENDS on rules_left, whose folder src/left is in the same layer as src/right"
if configure include && cmake --build "$work/include" >>"$work/include.log" 2>&1; then
  echo "case include: the sideways include compiled"; status=1
fi
expect include "left/left.h: No such file"
[ $status -eq 0 ] && echo "layer rules: all cases as expected"
exit $status

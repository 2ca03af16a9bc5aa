#!/usr/bin/env bash
# Configures and builds both targets: build/x64 (the one that runs here, with
# its tests) and build/x86 (compiled only: this kernel runs no 32-bit code).
# Usage: tools/build.sh [x64|x86|all]   (default: all)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
jobs=${JOBS:-$(nproc)}

build() {
  local arch=$1 triplet=$2 tests=$3
  local dir=$top/build/$arch
  echo "build: $arch ($triplet)"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$triplet.cmake" \
      -DCORVANE_BUILD_TESTS="$tests" >"$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log" >&2; echo "build: configuring $arch failed" >&2; exit 1; }
  fi
  cmake --build "$dir" -j "$jobs" -- --no-print-directory >"$dir.build.log" 2>&1 \
    || { grep -E "error|Error|warning" "$dir.build.log" | head -n 60 >&2; echo "build: $arch failed (full log: $dir.build.log)" >&2; exit 1; }
  if grep -q "warning:" "$dir.build.log"; then
    grep "warning:" "$dir.build.log" | sort -u | head -n 40 >&2
    echo "build: $arch compiled with warnings" >&2
  fi
}

mkdir -p "$top/build"
case $which in
  x64) build x64 x86_64-w64-mingw32 ON ;;
  x86) build x86 i686-w64-mingw32 OFF ;;
  all) build x64 x86_64-w64-mingw32 ON; build x86 i686-w64-mingw32 OFF ;;
  *) echo "usage: $0 [x64|x86|all]" >&2; exit 2 ;;
esac

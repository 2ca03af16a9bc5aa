#!/usr/bin/env bash
# Download benchmark: one package from the sandbox's test server, fetched by
# curl, by a bare WinINet loop with 64 KiB reads, by a bare loop with 1024-byte
# reads + one write + one sent PBM_SETPOS per read, and by the real download
# task reporting into a real progress bar. Prints wall time, CPU time, MiB/s
# and peak memory of each; the task runs a second time at a quarter of the
# size to show that its peak memory does not grow with the package.
#
# Usage: tools/bench.sh [MiB]      (default 256; needs the x64 build:
#        tools/build.sh x64, or BENCH_BUILD_DIR=<a build dir with net_bench>)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${SANDBOX_INSIDE:-}" != 1 ]; then
  exec "$top/tools/sandbox.sh" "$0" "$@"
fi

mib=${1:-256}
build=${BENCH_BUILD_DIR:-$top/build/x64}
prog=$(find "$build/tests/net" -maxdepth 1 -name net_bench.exe | head -n 1)
[ -n "$prog" ] || { echo "bench: net_bench.exe not found under $build (build it first)" >&2; exit 1; }
host=http://update.corvane.example
work=$SANDBOX_RUN_DIR/bench
mkdir -p "$work"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

ctl() { curl -sf -X POST "http://127.0.0.1/__ctl/$1" -d "${2:-{\}}" >/dev/null; }
serve() { ctl case "{\"path\": \"/bench/$1\", \"case\": {\"body_size\": $2}}"; }

printf '%-10s %6s %8s %8s %10s %8s %9s\n' way MiB wall_s cpu_s transfer_s MiB/s peak_MiB
run() {  # name size_mib command...
  local name=$1 size=$2; shift 2
  local out=$work/$name.out tm=$work/$name.time
  rm -f "$work/pkg"
  if ! /usr/bin/time -f '%e %U %S %M' -o "$tm" "$@" >"$out" 2>&1; then
    echo "bench: $name failed: $(tail -n 3 "$out")" >&2
  fi
  local got
  got=$(stat -c %s "$work/pkg" 2>/dev/null || echo 0)
  [ "$got" = $((size * 1048576)) ] || echo "bench: $name wrote $got bytes, not $((size * 1048576))" >&2
  read -r wall user sys peak < "$tm"
  # The Windows programs time their transfer themselves (Wine's start-up
  # left out); for curl the wall time is the transfer.
  local inner
  inner=$(awk 'END { if (NF == 3) print $3 }' "$out")
  inner=${inner:-$wall}
  awk -v n="$name" -v m="$size" -v w="$wall" -v u="$user" -v s="$sys" -v p="$peak" -v t="$inner" \
    'BEGIN { printf "%-10s %6d %8.2f %8.2f %10.2f %8.1f %9.1f\n", n, m, w, u + s, t, (t > 0 ? m / t : 0), p / 1024 }'
  rm -f "$work/pkg"
}

ctl reset
bytes=$((mib * 1048576))
quarter=$((mib / 4 > 0 ? mib / 4 : 1))
serve pkg.exe "$bytes"
serve small.exe $((quarter * 1048576))
target=$(winpath "$work/pkg")

run curl "$mib" curl -s -o "$work/pkg" "$host/bench/pkg.exe"
run bare64k "$mib" wine "$prog" bare64k "$host/bench/pkg.exe" "$target"
run bare1k "$mib" wine "$prog" bare1k "$host/bench/pkg.exe" "$target"
run job "$mib" wine "$prog" job "$host/bench/pkg.exe" "$target"
run job "$quarter" wine "$prog" job "$host/bench/small.exe" "$target"
echo "(CPU time is the Wine process's user + system time; the shared wineserver is not counted.)"

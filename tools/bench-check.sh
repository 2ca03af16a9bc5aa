#!/usr/bin/env bash
# Times the publisher check under Wine, inside the sandbox (whose Wine prefix
# trusts the test root): packages of the given sizes (default 1 and 64 MiB),
# made from the demo package with a padding section and signed by the test
# publisher, each checked four times in one process (tools/bench/CheckBench.cpp).
#
# Usage: tools/bench-check.sh [MiB...]   (needs the x64 build: tools/build.sh x64,
#        or BENCH_BUILD_DIR=<a build dir with check_bench>)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${SANDBOX_INSIDE:-}" != 1 ]; then
  exec "$top/tools/sandbox.sh" "$0" "$@"
fi

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 64)
build=${BENCH_BUILD_DIR:-$top/build/x64}
prog=$build/tests/net/check_bench.exe
demo=$build/tools/demo/unsigned/CorvaneDemoPackage.exe
pki=$build/pki
for f in "$prog" "$demo" "$pki/publisher.key"; do
  [ -f "$f" ] || { echo "bench-check: $f not found (build first: tools/build.sh x64)" >&2; exit 1; }
done
objcopy=x86_64-w64-mingw32-objcopy objdump=x86_64-w64-mingw32-objdump
work=$SANDBOX_RUN_DIR/checkbench
mkdir -p "$work"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The padding goes in a section of its own after the image's last one.
end=0
while read -r _ _ size vma _; do
  e=$((16#$vma + 16#$size)); [ $e -gt $end ] && end=$e
done < <("$objdump" -h "$demo" | grep -E '^ +[0-9]+ ')
pad_at=$(printf '0x%x' $(( (end + 0xffff) / 0x10000 * 0x10000 )))

packages=()
for mib in "${sizes[@]}"; do
  out=$work/package-${mib}MiB.exe
  pad=$(( mib * 1048576 - $(stat -c %s "$demo") - 4096 ))
  [ $pad -gt 0 ] || pad=1
  head -c "$pad" /dev/urandom > "$work/pad"
  "$objcopy" --add-section .pad="$work/pad" --set-section-flags .pad=readonly,data \
    --change-section-address .pad="$pad_at" "$demo" "$out"
  "$top/tools/sign.sh" --cert "$pki/publisher-chain.pem" --key "$pki/publisher.key" "$out" >/dev/null
  packages+=("$(winpath "$out")")
done
echo "bench-check: $(wine --version 2>/dev/null), $(nproc) cores"
wine "$(winpath "$prog")" "${packages[@]}"

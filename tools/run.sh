#!/usr/bin/env bash
# The demo: sets up, builds, then runs the installer end to end inside the
# sandbox against the embedded local update service (tools/demo/service.py),
# on this display when there is one, otherwise on a private Xvfb. It prints
# what happens and exits 0 once the installer has opened the demo package.
#
# Usage: tools/run.sh [--fail [download|query|untrusted]] [--no-build]
#   --fail      the first download breaks off (or the first query fails, or
#               the first package comes from another publisher and is
#               refused), so the Failed look shows; Retry is pressed after a
#               few seconds (or press it yourself) and the second attempt
#               goes through.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

fail=none build=1
while [ $# -gt 0 ]; do
  case $1 in
    --fail)
      fail=download
      if [ $# -gt 1 ] && [[ $2 == download || $2 == query || $2 == untrusted ]]; then fail=$2; shift; fi ;;
    --no-build) build=0 ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run: unknown option $1 (try --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ $build = 1 ]; then
  "$top/tools/setup.sh"
  "$top/tools/build.sh" x64
fi
bin=$top/build/x64
installer=$bin/app/CorvaneOfficeInstaller_CN.exe
untrusted=$bin/tools/demo/forged/other.exe
for f in "$installer" "$bin/tools/demo/corvane_watch.exe" "$bin/tools/demo/CorvaneDemoPackage.exe" "$untrusted"; do
  [ -f "$f" ] || { echo "run: $f is missing; build first (tools/build.sh x64)" >&2; exit 1; }
done

winpath() { printf 'Z:%s' "${1//\//\\}"; }

export SANDBOX_SERVER=$top/tools/demo/service.py
export SANDBOX_SERVER_ARGS="--package $bin/tools/demo/CorvaneDemoPackage.exe --untrusted-package $untrusted --fail $fail"
[ -n "${DISPLAY:-}" ] && export SANDBOX_DISPLAY=host
watch_args=(--timeout 120)
[ $fail != none ] && watch_args+=(--retry 1 --pause-ms 3000)

echo "run: starting the installer against the local update service (failure: $fail)"
# shellcheck disable=SC2016
exec "$top/tools/sandbox.sh" bash -c '
  wine "$1" "$2" "${@:3}"; rc=$?
  echo "run: what the update service saw:"
  sed "s/^/  /" "$SANDBOX_RUN_DIR/server.log"
  if [ $rc = 0 ]; then echo "run: done: the installer downloaded and opened the package"
  else echo "run: the installer did not open the package (watcher exit code $rc)" >&2; fi
  exit $rc' run "$(winpath "$bin/tools/demo/corvane_watch.exe")" "$(winpath "$installer")" "${watch_args[@]}"

#!/usr/bin/env bash
# Takes a screenshot of each look of the installer (Connecting, Downloading,
# the cancel question, Failed, Offline) inside the sandbox, in Wine's virtual
# desktop so that the caption and the frame are drawn, and writes them to
# docs/looks/ (or the folder given).
#
# Usage: tools/demo/screenshots.sh [OUTDIR]     (after tools/build.sh x64)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mkdir -p "${1:-$top/docs/looks}" && cd "${1:-$top/docs/looks}" && pwd)
bin=${BUILD_DIR:-$top/build/x64}

if [ "${SHOTS_INSIDE:-}" != 1 ]; then
  for f in app/CorvaneOfficeInstaller_CN.exe tools/demo/corvane_watch.exe tools/demo/CorvaneDemoPackage.exe; do
    [ -f "$bin/$f" ] || { echo "screenshots: $bin/$f is missing; build first" >&2; exit 1; }
  done
  export SANDBOX_SERVER=$top/tools/demo/service.py
  # A slow query and a slow download that breaks off once, so that each look lasts.
  export SANDBOX_SERVER_ARGS="--package $bin/tools/demo/CorvaneDemoPackage.exe --fail download --query-delay 3 --seconds 10"
  unset SANDBOX_DISPLAY
  SHOTS_INSIDE=1 exec "$top/tools/sandbox.sh" "$0" "$out"
fi

winpath() { printf 'Z:%s' "${1//\//\\}"; }
watch=$(winpath "$bin/tools/demo/corvane_watch.exe")
installer=$(winpath "$bin/app/CorvaneOfficeInstaller_CN.exe")

shot() {
  sleep 0.4   # let the window repaint
  /usr/bin/import -window root "$SANDBOX_RUN_DIR/root.png"
  /usr/bin/convert "$SANDBOX_RUN_DIR/root.png" -crop 800x600+0+0 +repage "$out/$1.png"
  echo "screenshots: $out/$1.png"
}

# Runs the watcher, and with it the installer, in the virtual desktop.
run() {
  wine explorer /desktop=corvane,800x600 "$watch" "$installer" "$@" 2>/dev/null
}

taken=""
rm -f "$out/connecting.png.new"
while IFS= read -r line; do
  echo "$line"
  case $line in
    "watch: done"*) break ;;
    *"look: Connecting"*) [ -f "$out/connecting.png.new" ] || { shot connecting; touch "$out/connecting.png.new"; } ;;
    *"look: Question"*) shot question ;;
    *"look: Failed"*) shot failed ;;
    *"downloading: "[2-4][0-9]"%"*)
      case $taken in *downloading*) ;; *) shot downloading; taken+=" downloading" ;; esac ;;
  esac
done < <(run --cancel-no --retry 1 --pause-ms 2500)

ip route del default
while IFS= read -r line; do
  echo "$line"
  case $line in "watch: done"*) break ;; *"look: Offline"*) shot offline ;; esac
done < <(run --pause-ms 2500)
ip route add default via 192.0.2.254 dev sbx0
rm -f "$out/connecting.png.new"

for look in connecting downloading question failed offline; do
  [ -f "$out/$look.png" ] || { echo "screenshots: no picture of the $look look" >&2; exit 1; }
done

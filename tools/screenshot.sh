#!/usr/bin/env bash
# Saves a PNG of the installer as it looks after a few seconds: the exe runs
# in the sandbox, inside Wine's virtual desktop (Wine draws the caption and
# the frame only there when no window manager runs).
# Usage: tools/screenshot.sh OUT.png [seconds]   (default: 4 seconds)
# Environment: CORVANE_EXE (default build/x64/app/CorvaneOfficeInstaller_CN.exe);
#   SCREENSHOT_LOOK=downloading makes the sandbox's test server hand out a
#   package that arrives slowly, so the picture shows the Downloading look
#   (otherwise the server's default answers lead to the Failed look);
#   WINEPREFIX and the other settings of tools/sandbox.sh.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 OUT.png [seconds]" >&2; exit 2; }
out=$(realpath -m "$1")
seconds=${2:-4}
exe=$(realpath "${CORVANE_EXE:-$top/build/x64/app/CorvaneOfficeInstaller_CN.exe}")
[ -f "$exe" ] || { echo "screenshot: $exe not built (tools/build.sh x64)" >&2; exit 1; }

if [ "${SCREENSHOT_INSIDE:-}" != 1 ]; then
  export SCREENSHOT_INSIDE=1
  exec "$top/tools/sandbox.sh" "$0" "$out" "$seconds"
fi

# Inside the sandbox: its own display, wineserver and test server.
if [ "${SCREENSHOT_LOOK:-}" = downloading ]; then
  ctl() { curl -sf -X POST --data "$2" "http://127.0.0.1/__ctl/$1" >/dev/null; }
  ctl case '{"path": "/api/1/update/pcoffice/packageurl",
             "case": {"body": "{\"resultCode\":0,\"url\":\"http://update.corvane.example/pkg/setup.exe\"}"}}'
  ctl case '{"path": "/pkg/setup.exe",
             "case": {"body_size": 200000, "chunk_size": 4096, "chunk_delay": 0.2}}'
fi
wine explorer /desktop=shot,800x600 "$exe" >/dev/null 2>&1 &
wine_pid=$!
trap 'kill "$wine_pid" 2>/dev/null; wait "$wine_pid" 2>/dev/null || true' EXIT
sleep "$seconds"
/usr/bin/import -display "$DISPLAY" -window root "$SANDBOX_RUN_DIR/screen.png"
# Keep the virtual desktop only: the rest of the screen is the bare root.
/usr/bin/convert "$SANDBOX_RUN_DIR/screen.png" -trim +repage "$out"
echo "screenshot: $out"

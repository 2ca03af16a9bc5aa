#!/usr/bin/env bash
# Sets up, builds and runs the installer inside the sandbox, on this
# display when there is one, otherwise on a private Xvfb.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh"
"$top/tools/build.sh" x64
[ -n "${DISPLAY:-}" ] && export SANDBOX_DISPLAY=host
exec "$top/tools/sandbox.sh" wine "$top/build/x64/app/CorvaneOfficeInstaller_CN.exe"

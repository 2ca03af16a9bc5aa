#!/usr/bin/env bash
# The project's test command: set up the machine, build both targets, then
# run every test program under Wine inside the sandbox (tools/sandbox.sh).
# Extra arguments go to ctest, e.g. tools/test.sh -R net_
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup.sh"
"$top/tools/build.sh" all
echo "test: running the tests under Wine"
"$top/tools/sandbox.sh" ctest --test-dir "$top/build/x64" --output-on-failure "$@"

#!/usr/bin/env bash
# Runs a command in a sandbox that talks to nothing but itself:
#   - a private network namespace: lo, plus a veth pair (both ends inside)
#     with 192.0.2.1/24 and a default route via the unused 192.0.2.254, so
#     that Wine's connection check answers "online" while no packet can leave;
#   - a private /etc/hosts that sends the update and help hosts to 127.0.0.1;
#   - the project's HTTP test server on port 80 (tests/server/testserver.py);
#   - its own Xvfb display, unless SANDBOX_DISPLAY=host and $DISPLAY is set;
#   - one persistent wineserver for the whole run, started inside the
#     namespace (Wine's sockets live in the wineserver process);
#   - the build's test root (build/x64/pki, tools/testpki.sh) trusted in the
#     Wine prefix, when the build has made one.
# Everything it started is stopped when the command ends, however it ends.
#
# Usage: tools/sandbox.sh COMMAND [ARGS...]
# Environment: WINEPREFIX (default build/wineprefix), CORVANE_UPDATE_HOST,
#   CORVANE_HELP_HOST, SANDBOX_DISPLAY=host, SANDBOX_SERVER (another server
#   script on port 80, e.g. the demo's), SANDBOX_SERVER_ARGS, SANDBOX_TRUST_ROOT
#   (another root certificate, DER).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

if [ "${SANDBOX_INSIDE:-}" != 1 ]; then
  [ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
  command -v unshare >/dev/null || { echo "sandbox: unshare not found (run tools/setup.sh)" >&2; exit 1; }
  map=()
  [ "$(id -u)" = 0 ] || map=(--map-root-user)
  export SANDBOX_INSIDE=1
  exec unshare --net --mount --fork --kill-child "${map[@]}" "$0" "$@"
fi

say() { echo "sandbox: $*" >&2; }
update_host=${CORVANE_UPDATE_HOST:-update.corvane.example}
help_host=${CORVANE_HELP_HOST:-www.corvane.example}
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# winedbg off: a program that crashes ends at once instead of hanging the run
# in a debugger that waits for a console nobody reads.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d}
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# One sandbox per prefix at a time: a second one would share the first one's
# wineserver, which lives in the first one's namespace and dies with it.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9> "$WINEPREFIX.lock"
if ! flock -n 9; then
  say "waiting for another sandbox that uses $WINEPREFIX"
  flock 9
fi
run_dir=$(mktemp -d /tmp/corvane-sandbox.XXXXXX)
export SANDBOX_RUN_DIR=$run_dir

pids=()
cleanup() {
  local rc=$?
  set +e
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  umount /etc/hosts 2>/dev/null
  rm -rf "$run_dir"
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Network: online, but only towards ourselves.
ip link set lo up
ip link add sbx0 type veth peer name sbx1
ip addr add 192.0.2.1/24 dev sbx0
ip link set sbx0 up
ip link set sbx1 up
ip route add default via 192.0.2.254 dev sbx0

printf '127.0.0.1 localhost %s %s\n::1 localhost\n' "$update_host" "$help_host" > "$run_dir/hosts"
mount --bind "$run_dir/hosts" /etc/hosts

# Display.
if [ "${SANDBOX_DISPLAY:-}" = host ] && [ -n "${DISPLAY:-}" ]; then
  say "using display $DISPLAY"
else
  exec 3> "$run_dir/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac >"$run_dir/xvfb.log" 2>&1 9>&- &
  pids+=($!)
  exec 3>&-
  for _ in $(seq 100); do [ -s "$run_dir/display" ] && break; sleep 0.1; done
  [ -s "$run_dir/display" ] || { say "Xvfb did not start: $(cat "$run_dir/xvfb.log")"; exit 1; }
  export DISPLAY=:$(head -n 1 "$run_dir/display")
fi

# Test server.
server=${SANDBOX_SERVER:-$top/tests/server/testserver.py}
if [ -f "$server" ]; then
  # shellcheck disable=SC2086
  python3 "$server" --port 80 --ready-file "$run_dir/server.ready" ${SANDBOX_SERVER_ARGS:-} \
    >"$run_dir/server.log" 2>&1 9>&- &
  pids+=($!)
  for _ in $(seq 100); do [ -e "$run_dir/server.ready" ] && break; sleep 0.1; done
  [ -e "$run_dir/server.ready" ] || { say "test server did not start: $(cat "$run_dir/server.log")"; exit 1; }
fi

# Wine.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "creating the Wine prefix $WINEPREFIX (once)"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 9>&-
  wineserver -w
fi
wineserver -p 9>&-
wine cmd /c exit >/dev/null 2>&1 9>&- || true   # warm up: later programs start at once
# On our own Xvfb no window manager runs: Wine would wait two seconds for one
# each time a window is shown or hidden unless its windows are unmanaged. On
# the host's display the window manager is there and decorates them.
x11_key='HKCU\Software\Wine\X11 Driver'
if [ "${SANDBOX_DISPLAY:-}" = host ] && [ -n "${DISPLAY:-}" ]; then
  if grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg delete "$x11_key" /v Managed /f >/dev/null 2>&1 9>&- || true
  fi
elif ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add "$x11_key" /v Managed /d N /f >/dev/null 2>&1 9>&- || true
fi
# The first program that makes a window starts Wine's desktop process, which
# keeps that program's standard output and error open for as long as it runs:
# a test runner would wait for the end of that test's output until the
# sandbox ends. Start it here, with nothing to hold.
wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 9>&- || true

# The build's test root, trusted in this Wine prefix alone (the machine's own
# trust store is never touched), so that the test publisher's signatures pass.
trust_root=${SANDBOX_TRUST_ROOT:-$top/build/x64/pki/root.der}
trust_tool=$top/build/x64/tools/pki/corvane_trust_root.exe
if [ -f "$trust_root" ] && [ -f "$trust_tool" ]; then
  winpath() { printf 'Z:%s' "${1//\//\\}"; }
  wine "$(winpath "$trust_tool")" "$(winpath "$trust_root")" 9>&- \
    || { say "could not trust the test root $trust_root in $WINEPREFIX"; exit 1; }
fi

"$@" 9>&-

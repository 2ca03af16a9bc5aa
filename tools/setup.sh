#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need from Debian's
# archive and unpacks JsonCpp's source package into .deps/. Safe to run again:
# when everything is in place it only checks and returns.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  googletest wine wine64 xvfb x11-utils xauth fonts-wqy-microhei locales
  iproute2 util-linux curl python3 python3-pil dpkg-dev imagemagick time openssl osslsigncode
)
jsoncpp_version=1.9.5

# Another apt-get may be running on this machine: wait for the dpkg lock.
apt_opts=(-q -o DPkg::Lock::Timeout=600)
# `apt-get update` takes the package lists' lock, which that option does not
# cover: retry while another apt-get holds it.
update_lists() {
  local log tries=0
  log=$(mktemp)
  echo "setup: updating package lists"
  until apt-get "${apt_opts[@]}" update >"$log" 2>&1; do
    if grep -q 'Could not get lock' "$log" && [ $((tries += 1)) -le 60 ]; then
      [ $tries -gt 1 ] || echo "setup: waiting for another apt-get to finish"
      sleep 10
      continue
    fi
    cat "$log" >&2
    rm -f "$log"
    echo "setup: updating the package lists failed" >&2
    exit 1
  done
  rm -f "$log"
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

need_update=0
# Source entries for `apt-get source`, derived from the entries this machine
# installs binary packages from (tools/deb-src.sh): the same archive, mirror
# or proxy, suites, components and keys, whatever they are.
eval "$(apt-config shell apt_list Dir::Etc::SourceList/f apt_parts Dir::Etc::SourceParts/d)"
changed=$("$top/tools/deb-src.sh" "$apt_list" "$apt_parts" "${apt_parts%/}/corvane-deb-src")
[ -z "$changed" ] || echo "setup: source entries written: ${changed//$'\n'/ }"
# The source package lists are needed only when JsonCpp is fetched.
if [ ! -f "$top/.deps/jsoncpp/src/lib_json/json_value.cpp" ]; then need_update=1; fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  update_lists
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine picks its locale from LANG; the Chinese texts need zh_CN.UTF-8 to exist.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

if [ ! -f "$top/.deps/jsoncpp/src/lib_json/json_value.cpp" ]; then
  echo "setup: fetching the JsonCpp source package"
  tmp=$(mktemp -d); chmod 755 "$tmp"
  (cd "$tmp" && apt-get "${apt_opts[@]}" source --download-only "libjsoncpp=${jsoncpp_version}*" >/dev/null 2>&1 \
     || apt-get "${apt_opts[@]}" source --download-only libjsoncpp >/dev/null 2>&1) \
    || { echo "setup: apt-get source libjsoncpp failed (are the source entries above reachable?)" >&2; exit 1; }
  dsc=$(ls "$tmp"/*.dsc | head -n 1)
  (cd "$tmp" && dpkg-source -x "$dsc" jsoncpp >/dev/null 2>&1)
  mkdir -p "$top/.deps"
  rm -rf "$top/.deps/jsoncpp"
  mv "$tmp/jsoncpp" "$top/.deps/jsoncpp"
  rm -rf "$tmp"
  grep -q "${jsoncpp_version}" "$top/.deps/jsoncpp/include/json/version.h" \
    || echo "setup: note: JsonCpp is not ${jsoncpp_version}" >&2
fi
echo "setup: ready"

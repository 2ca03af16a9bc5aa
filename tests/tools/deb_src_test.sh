#!/usr/bin/env bash
# tools/deb-src.sh against sample package sources in a temporary folder: the
# one-line format of a classic installation, the deb822 format of Debian 12's
# containers, both at once, and the file an older setup wrote.
# Usage: deb_src_test.sh PATH-TO-deb-src.sh
set -uo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect NAME FILE EXPECTED: FILE holds exactly EXPECTED ("" = must not exist).
expect() {
  if [ -z "$3" ]; then
    [ ! -e "$2" ] || fail "$1: $(basename "$2") should not exist"
  elif [ ! -f "$2" ]; then
    fail "$1: $(basename "$2") was not written"
  elif ! diff -u <(printf '%s\n' "$3") "$2" >"$tmp/diff"; then
    fail "$1: $(basename "$2") differs:"; cat "$tmp/diff"
  fi
}

one_line='# the archive, through a mirror
deb http://mirror.example/debian bookworm main contrib
deb-src http://mirror.example/debian bookworm main contrib
deb [arch=amd64 signed-by=/usr/share/keyrings/extra.gpg] http://extra.example/apt stable main # note
#deb http://old.example/debian bullseye main
deb http://mirror.example/debian bookworm-updates main
deb http://mirror.example/debian bookworm-updates main'
one_line_src='deb-src [arch=amd64 signed-by=/usr/share/keyrings/extra.gpg] http://extra.example/apt stable main
deb-src http://mirror.example/debian bookworm-updates main'

deb822='Types: deb
# http://snapshot.example/archive/debian/20250520T000000Z
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main
Enabled: no

types: deb deb-src
URIs: http://both.example/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://inline.example/debian
Suites: bookworm
Components: main non-free-firmware
Architectures: amd64
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mDMEZabc
 -----END PGP PUBLIC KEY BLOCK-----'
deb822_src='Types: deb-src
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://inline.example/debian
Suites: bookworm
Components: main non-free-firmware
Architectures: amd64
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mDMEZabc
 -----END PGP PUBLIC KEY BLOCK-----'

old_setup='Types: deb-src
URIs: http://archive.example/debian
Suites: bookworm
Components: main'

# Each case: name, sources.list, sources.list.d/debian.sources, expected OUT.sources, expected OUT.list.
run_case() {
  local name=$1 list=$2 sources=$3 want_sources=$4 want_list=$5
  local etc=$tmp/$name
  mkdir -p "$etc/sources.list.d"
  [ -n "$list" ] && printf '%s\n' "$list" >"$etc/sources.list"
  [ -n "$sources" ] && printf '%s\n' "$sources" >"$etc/sources.list.d/debian.sources"
  # Not read: another extension, and the output of an older setup.
  echo 'deb http://disabled.example/debian bookworm main' >"$etc/sources.list.d/off.list.disabled"
  printf '%s\n' "$old_setup" >"$etc/sources.list.d/corvane-deb-src.sources"
  local out=$etc/sources.list.d/corvane-deb-src
  "$script" "$etc/sources.list" "$etc/sources.list.d" "$out" >"$tmp/printed" || fail "$name: exit code $?"
  expect "$name" "$out.sources" "$want_sources"
  expect "$name" "$out.list" "$want_list"
  # A second run finds everything in place: it writes and prints nothing.
  touch -d '2001-01-01' "$etc"/sources.list.d/corvane-deb-src.* 2>/dev/null
  printed=$("$script" "$etc/sources.list" "$etc/sources.list.d" "$out")
  [ -z "$printed" ] || fail "$name: second run rewrote $printed"
  [ -z "$(find "$etc/sources.list.d" -name 'corvane-deb-src.*' -newer "$etc/sources.list.d/off.list.disabled")" ] \
    || fail "$name: second run touched its files"
}

run_case one-line "$one_line" "" "" "$one_line_src"
run_case deb822 "" "$deb822" "$deb822_src" ""
run_case both "$one_line" "$deb822" "$deb822_src" "$one_line_src"
run_case none "" "" "" ""

if [ $failures -gt 0 ]; then echo "$failures failure(s)"; exit 1; fi
echo "all cases passed"

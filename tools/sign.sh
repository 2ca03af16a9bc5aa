#!/usr/bin/env bash
# Signs Windows programs in place with an Authenticode signature (SHA-256),
# with osslsigncode. A signature already on a file is replaced. The signature
# carries the certificates given with the signer's, so that the installer can
# build the chain without fetching anything: give the whole chain up to (not
# necessarily including) the root.
#
# Usage: tools/sign.sh (--pkcs12 FILE | --cert CHAIN.pem --key KEY.pem)
#                      [--pass-file FILE] [--timestamp URL] FILE.exe...
#   --pkcs12     the publisher's certificate, chain and key in one PKCS#12 file
#   --cert/--key the publisher's certificate followed by its CA certificates
#                (PEM), and its private key (PEM)
#   --pass-file  a file holding the password of the key or of the PKCS#12 file
#   --timestamp  an RFC 3161 time-stamping service, so that the signature stays
#                valid after the certificate expires (it is asked over the
#                network; nothing else this command does is)
set -euo pipefail

usage() { sed -n '7,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
pkcs12='' cert='' key='' pass='' timestamp=''
files=()
while [ $# -gt 0 ]; do
  case $1 in
    --pkcs12) pkcs12=${2:?}; shift ;;
    --cert) cert=${2:?}; shift ;;
    --key) key=${2:?}; shift ;;
    --pass-file) pass=${2:?}; shift ;;
    --timestamp) timestamp=${2:?}; shift ;;
    -h|--help) usage ;;
    -*) echo "sign: unknown option $1" >&2; usage ;;
    *) files+=("$1") ;;
  esac
  shift
done
[ ${#files[@]} -gt 0 ] || usage
command -v osslsigncode >/dev/null || { echo "sign: osslsigncode not found (run tools/setup.sh)" >&2; exit 1; }

signer=()
if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || { echo "sign: give either --pkcs12 or --cert and --key" >&2; exit 2; }
  signer=(-pkcs12 "$pkcs12")
elif [ -n "$cert" ] && [ -n "$key" ]; then
  signer=(-certs "$cert" -key "$key")
else
  echo "sign: no signer given" >&2; usage
fi
[ -z "$pass" ] || signer+=(-readpass "$pass")
[ -z "$timestamp" ] || signer+=(-ts "$timestamp")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for file in "${files[@]}"; do
  [ -f "$file" ] || { echo "sign: $file not found" >&2; exit 1; }
  rm -f "$work"/*
  src=$file
  # A build may have signed it with the test publisher already.
  if osslsigncode remove-signature -in "$file" -out "$work/bare" >/dev/null 2>&1; then src=$work/bare; fi
  if ! osslsigncode sign "${signer[@]}" -h sha256 -in "$src" -out "$work/signed" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "sign: signing $file failed" >&2
    exit 1
  fi
  cat "$work/signed" > "$file"
  echo "sign: signed $file"
done

#!/usr/bin/env bash
# Makes the packages that the installer must refuse, from an unsigned program
# and the test PKI (tools/testpki.sh), for the tests and the demo:
#   unsigned.exe    no signature at all
#   other.exe       signed by another publisher under the same root
#   lookalike.exe   signed by a self-signed certificate with the publisher's name
#   nocodesign.exe  the publisher's name and CA, but a certificate for TLS servers
#   orphan.exe      the publisher's name, by a CA found in no store, whose
#                   address the certificate names (nothing may fetch it)
#   changed.exe     the publisher's, with one byte changed after signing
#   appended.exe    the publisher's, with bytes appended after signing
#
# Usage: tools/pki/forge.sh UNSIGNED.exe PKIDIR OUTDIR
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
src=${1:?usage: $0 UNSIGNED.exe PKIDIR OUTDIR} pki=${2:?} out=${3:?}
mkdir -p "$out"

signed() {  # name signer
  cp "$src" "$out/$1.exe"
  "$top/tools/sign.sh" --cert "$pki/$2-chain.pem" --key "$pki/$2.key" "$out/$1.exe" >/dev/null
}

cp "$src" "$out/unsigned.exe"
signed other other
signed lookalike lookalike
signed nocodesign nocodesign
signed orphan orphan
signed changed publisher
# A byte of the code, well past the headers that the signature leaves out.
python3 - "$out/changed.exe" <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(0x600)
    b = f.read(1)
    f.seek(0x600)
    f.write(bytes([b[0] ^ 0xFF]))
PY
signed appended publisher
printf 'appended after signing' >> "$out/appended.exe"
echo "forge: packages to refuse made in $out"

#!/usr/bin/env bash
# Makes the test PKI that the build signs with and the tests forge with, with
# openssl, into one folder of the build tree (never committed, never trusted by
# this machine: only the sandbox's Wine prefix trusts its root).
#
#   root            the test root (root.pem, root.der)
#   ca              the issuing CA under the root
#   publisher       the project's test publisher: code signing, issued by ca
#   other           another publisher under the same root
#   lookalike       self-signed, with the publisher's exact subject name
#   nocodesign      the publisher's exact name under ca, but for TLS servers only
#   orphan          the publisher's exact name, issued by a CA that no store
#                   holds (orphan-ca) and that names an issuer address
#
# Each signer X comes as X.key and X-chain.pem (its certificate, then the CA
# certificates a signature should carry). Addresses in the certificates are
# under .example; the sandbox sends that host to its own test server, so that
# a test sees any fetch of them.
#
# Usage: tools/testpki.sh OUTDIR     (does nothing when OUTDIR/done exists)
set -euo pipefail
out=${1:?usage: $0 OUTDIR}
[ -f "$out/done" ] && exit 0
command -v openssl >/dev/null || { echo "testpki: openssl not found (run tools/setup.sh)" >&2; exit 1; }

publisher_subject='/C=CN/ST=Shanghai/L=Shanghai/O=Corvane Software Co., Ltd./OU=Release Engineering/CN=Corvane Software Co., Ltd.'
other_subject='/C=CN/ST=Shanghai/L=Shanghai/O=Other Software Co., Ltd./CN=Other Software Co., Ltd.'
pki_url=http://update.corvane.example/pki

work=$(mktemp -d "${out%/}.tmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > ext.cnf <<EOF
[req]
distinguished_name = dn
prompt = no
[dn]

[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[codesign]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
authorityInfoAccess = caIssuers;URI:$pki_url/ca.cer
crlDistributionPoints = URI:$pki_url/ca.crl

[selfsigned]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash

[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[orphan]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
authorityInfoAccess = caIssuers;URI:$pki_url/orphan-ca.cer
EOF

key() { openssl genrsa -out "$1.key" 2048 2>/dev/null; }
selfsigned() {  # name subject section
  key "$1"
  openssl req -new -x509 -sha256 -days 3650 -key "$1.key" -subj "$2" \
    -config ext.cnf -extensions "$3" -out "$1.pem"
}
issue() {  # name subject section issuer
  key "$1"
  openssl req -new -sha256 -key "$1.key" -subj "$2" -config ext.cnf -out "$1.csr"
  openssl x509 -req -sha256 -days 3650 -in "$1.csr" -CA "$4.pem" -CAkey "$4.key" \
    -set_serial "0x$(openssl rand -hex 8)" -extfile ext.cnf -extensions "$3" -out "$1.pem" 2>/dev/null
}

selfsigned root '/C=CN/O=Corvane Test PKI/CN=Corvane Test Root' ca
issue ca '/C=CN/O=Corvane Test PKI/CN=Corvane Test Code Signing CA' ca root
issue publisher "$publisher_subject" codesign ca
issue other "$other_subject" codesign ca
selfsigned lookalike "$publisher_subject" selfsigned
issue nocodesign "$publisher_subject" server ca
selfsigned orphan-ca '/C=CN/O=Corvane Test PKI/CN=Corvane Orphan CA' ca
issue orphan "$publisher_subject" orphan orphan-ca

openssl x509 -in root.pem -outform DER -out root.der
for signer in publisher other nocodesign; do cat "$signer.pem" ca.pem > "$signer-chain.pem"; done
# The look-alike carries only itself; the orphan's signature lacks its CA.
cp lookalike.pem lookalike-chain.pem
cp orphan.pem orphan-chain.pem

mkdir -p "$out"
cp ./*.key ./*.pem root.der "$out/"
touch "$out/done"
echo "testpki: test PKI made in $out"

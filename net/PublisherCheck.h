// The publisher check: which downloaded packages may be opened.
#pragma once

#include <string>

// Whether the package file at `path` may be opened. When this program's own
// file carries an Authenticode signature, the package must carry one too, and
// all of these must hold: the signature and the file's hash are intact; the
// signer's certificate chain is trusted by the system without any error; the
// signer's certificate allows code signing; and the signer's whole subject
// name equals that of this program's own signer. An unsigned program (a
// developer's build) opens any package.
//
// Never reaches the network: the chain is built from this machine's stores
// and the certificates that the signature carries. Takes up to a few tenths
// of a second for a large package, so it runs on a worker thread. The file is
// held open against writers while it is checked.
bool IsTrustedPackage(const wchar_t* path);

// The subject of the signer of a signed program file, as the system writes a
// name ("C=CN, O=..., CN=..."); empty when the file carries no readable
// signature. For telling people who signed what.
std::wstring SignerName(const wchar_t* path);

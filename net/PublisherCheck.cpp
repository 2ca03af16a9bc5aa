// The publisher check. The package URL comes over plain HTTP, so whoever sits
// on the network path can swap the package; only a package signed by this
// program's own publisher is let through.
#include "net/PublisherCheck.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// One owner per handle; each is closed exactly once, on every path.
struct CertFree {
    void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
struct ChainFree {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct StoreClose {
    void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct MsgClose {
    void operator()(HCRYPTMSG msg) const { CryptMsgClose(msg); }
};
using Cert = std::unique_ptr<const CERT_CONTEXT, CertFree>;
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;
using Store = std::unique_ptr<void, StoreClose>;
using Msg = std::unique_ptr<void, MsgClose>;

class ReadLock {
public:
    // Others may read the file, nobody may change or delete it meanwhile.
    explicit ReadLock(const wchar_t* path)
        : file_(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr))
    {
    }
    ~ReadLock()
    {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
    }
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;
    HANDLE Handle() const { return file_; }

private:
    HANDLE file_;
};

// The signature embedded in a program file: the certificates it carries and
// the certificate of its (first) signer.
struct Signature {
    Store store;
    Cert signer;
};

// False when the file carries no Authenticode signature. `sig->signer` is
// set when the signer's certificate is in it. Reads the signature only, not
// the whole file.
bool ReadSignature(const wchar_t* path, Signature* sig)
{
    HCERTSTORE store = nullptr;
    HCRYPTMSG msg = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &msg, nullptr))
        return false;
    sig->store.reset(store);
    Msg message(msg);
    DWORD size = 0;
    if (CryptMsgGetParam(msg, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size)) {
        std::vector<BYTE> info(size);
        if (CryptMsgGetParam(msg, CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size))
            sig->signer.reset(
                CertGetSubjectCertificateFromStore(store, kEncoding, reinterpret_cast<PCERT_INFO>(info.data())));
    }
    return true;
}

struct OwnSigner {
    bool isSigned = false;
    std::vector<BYTE> subject;  // the encoded name; empty when it cannot be read
};

// This program's own signer, read once per process. A program that carries a
// signature at all checks every package, whether or not its own signature
// would still pass today (an expired certificate, a root this machine lacks):
// the check must not switch itself off.
const OwnSigner& Own()
{
    static const OwnSigner own = [] {
        OwnSigner result;
        std::vector<wchar_t> path(32768);
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        Signature sig;
        // A file that cannot be named cannot be shown to be unsigned.
        result.isSigned = n == 0 || n >= path.size() || ReadSignature(path.data(), &sig);
        if (sig.signer) {
            const CERT_NAME_BLOB& name = sig.signer->pCertInfo->Subject;
            result.subject.assign(name.pbData, name.pbData + name.cbData);
        }
        return result;
    }();
    return own;
}

bool AllowsCodeSigning(PCCERT_CONTEXT cert)
{
    // The extension itself: a certificate without one would otherwise count
    // as good for every use.
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size) || size == 0)
        return false;
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<PCERT_ENHKEY_USAGE>(buffer.data());
    if (!CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage, &size))
        return false;
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
        if (std::strcmp(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_CODE_SIGNING) == 0)
            return true;
    }
    return false;
}

// The signer's chain from this machine's stores and the certificates that the
// signature carries, with no download of issuers, revocation lists or roots.
// Built before the system's own verification, which under Wine fetches a
// missing issuer from the address a certificate names whatever it is told:
// once this chain is complete, that one finds every issuer locally too.
Chain LocalChain(const Signature& sig)
{
    LPSTR codeSigning = const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING);
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = &codeSigning;
    const DWORD flags =
        CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_DISABLE_AIA | CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, sig.signer.get(), nullptr, sig.store.get(), &para, flags, nullptr, &chain))
        return nullptr;
    return Chain(chain);
}

// No error anywhere in the chain (an untrusted or missing root, a time, a
// signature, a usage) and the base policy content with it.
bool ChainTrusted(PCCERT_CHAIN_CONTEXT chain)
{
    if (!chain || chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR)
        return false;
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, chain, &policy, &status) && status.dwError == 0;
}

// The system's verification of the signature and of the file's hash against
// it. Its chain verdict is read again from the verify state, because Wine's
// WinVerifyTrust returns success for an untrusted chain of SHA-256
// certificates; on Windows the two agree. Its signer must be the certificate
// that was judged before.
bool SignatureIntact(const wchar_t* path, HANDLE file, PCCERT_CONTEXT judged)
{
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path;
    fileInfo.hFile = file;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
    bool intact = false;
    if (WinVerifyTrust(noWindow, &action, &data) == ERROR_SUCCESS) {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        CRYPT_PROVIDER_CERT* cert = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
        intact = cert && cert->pCert &&
                 CertCompareCertificate(X509_ASN_ENCODING, cert->pCert->pCertInfo, judged->pCertInfo) &&
                 ChainTrusted(signer->pChainContext);
    }
    // The state exists after any verify, whatever it returned.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(noWindow, &action, &data);
    return intact;
}

bool CheckPackage(const wchar_t* path)
{
    const OwnSigner& own = Own();
    if (!own.isSigned)
        return true;
    if (own.subject.empty() || !path)
        return false;
    ReadLock lock(path);
    Signature sig;
    if (lock.Handle() == INVALID_HANDLE_VALUE || !ReadSignature(path, &sig) || !sig.signer)
        return false;
    // Cheapest first: a stranger's package is turned away before any chain
    // is built or any byte hashed.
    const CERT_NAME_BLOB& name = sig.signer->pCertInfo->Subject;
    if (name.cbData != own.subject.size() || std::memcmp(name.pbData, own.subject.data(), name.cbData) != 0)
        return false;
    if (!AllowsCodeSigning(sig.signer.get()))
        return false;
    Chain chain = LocalChain(sig);
    if (!ChainTrusted(chain.get()))
        return false;
    return SignatureIntact(path, lock.Handle(), sig.signer.get());
}

}  // namespace

bool IsTrustedPackage(const wchar_t* path)
{
    // On the download's worker: memory that runs out refuses the package
    // instead of ending the process.
    try {
        return CheckPackage(path);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::wstring SignerName(const wchar_t* path)
{
    Signature sig;
    if (!path || !ReadSignature(path, &sig) || !sig.signer)
        return std::wstring();
    CERT_NAME_BLOB* name = &sig.signer->pCertInfo->Subject;
    DWORD flags = CERT_X500_NAME_STR;
    DWORD size = CertNameToStrW(X509_ASN_ENCODING, name, flags, nullptr, 0);
    if (size <= 1)
        return std::wstring();
    std::wstring text(size, L'\0');
    CertNameToStrW(X509_ASN_ENCODING, name, flags, &text[0], size);
    text.resize(size - 1);
    return text;
}

// Trusts a test root certificate in the Root store of the machine this
// program runs on: under Wine, of the one Wine prefix it runs in, which is how
// tools/sandbox.sh uses it. Wine reads the Linux trust store into its root
// store at every start but never writes it back, so the prefix holds nothing
// but what is added here. Never run it on a real Windows machine.
//
// Usage: corvane_trust_root ROOT.der
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane_trust_root ROOT.der\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<BYTE> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        std::fprintf(stderr, "corvane_trust_root: cannot read %ls\n", argv[1]);
        return 1;
    }
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root) {
        std::fprintf(stderr, "corvane_trust_root: cannot open the Root store (error %lu)\n", GetLastError());
        return 1;
    }
    BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_USE_EXISTING, nullptr);
    DWORD error = GetLastError();
    CertCloseStore(root, 0);
    if (!added) {
        std::fprintf(stderr, "corvane_trust_root: cannot add %ls (error %lu)\n", argv[1], error);
        return 1;
    }
    return 0;
}

#include "client/ClientInfo.h"

#include <vector>

namespace {

int SystemIsServerR2() { return GetSystemMetrics(SM_SERVERR2); }

}  // namespace

CString OsNameFromVersion(DWORD major, DWORD minor, BYTE productType, WORD suiteMask,
                          int (*isServerR2)()) {
    const bool workstation = productType == VER_NT_WORKSTATION;
    if (major == 5) {
        switch (minor) {
        case 0: return L"Windows 2000/5.0";
        case 1: return L"Windows XP/5.1";
        case 2:
            if (workstation) return L"Windows XP Professional x64 Edition/5.2";
            if (suiteMask & VER_SUITE_WH_SERVER) return L"Windows Home Server/5.2";
            if (isServerR2 && isServerR2() != 0) return L"Windows Server 2003 R2/5.2";
            return L"Windows Server 2003/5.2";
        }
    } else if (major == 6) {
        switch (minor) {
        case 0: return workstation ? L"Windows Vista/6.0" : L"Windows Server 2008/6.0";
        case 1: return workstation ? L"Windows 7/6.1" : L"Windows Server 2008 R2/6.1";
        case 2: return workstation ? L"Windows 8/6.2" : L"Windows Server 2012/6.2";
        }
    }
    return CString();
}

CString GetOsName() {
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
#pragma GCC diagnostic pop
    return OsNameFromVersion(info.dwMajorVersion, info.dwMinorVersion, info.wProductType, info.wSuiteMask,
                             SystemIsServerR2);
}

CString GetProductVersion() {
    CString version;
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return version;
    std::vector<BYTE> block(size, 0);
    if (GetFileVersionInfoW(path, 0, size, block.data())) {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
            length >= sizeof(VS_FIXEDFILEINFO)) {
            version.Format(L"%i.%i.%i.%i", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                           HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
        }
    }
    return version;
}

CString GetUserAgent() {
    CString os = GetOsName();
    wchar_t locale[260] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SNAME, locale, 260);
    CString version = GetProductVersion();
    CString agent;
    agent.Format(L"Corvane/5.0 (pc, %s, %s) CorvaneDownloader/%s.PROD", os.GetString(), locale,
                 version.GetString());
    return agent;
}

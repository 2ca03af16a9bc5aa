#include "app/SingleInstance.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>

bool IsAnotherInstanceRunning()
{
    const DWORD self = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;

    bool found = false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;  // 568 bytes in a 64-bit build, 556 in a 32-bit one
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            continue;
        found = std::wcscmp(entry.szExeFile, L"CorvaneOfficeInstaller_CN.exe") == 0;
    }
    CloseHandle(snapshot);
    return found;
}

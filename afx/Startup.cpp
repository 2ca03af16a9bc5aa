// The process's first instructions. A web installer runs from the folder the
// browser saved it to, where a planted DLL named like a system DLL would be
// loaded before the real one; so DLLs come from System32 only:
//   - the static imports, through the PE load-config directory's
//     DependentLoadFlags, which the loader honours before any code runs;
//   - everything loaded later, through SetDefaultDllDirectories, called by
//     our own entry point before the C runtime runs static initialisers.
#include <windows.h>

#include "afx/App.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// The load-config directory in the layout the loader reads. The headers of
// this toolchain stop at SEHandlerCount and call the DependentLoadFlags
// word "Reserved1"; only the fields up to it are given, the rest stay zero.
struct LoadConfigDirectory {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    ULONG_PTR DeCommitFreeBlockThreshold;
    ULONG_PTR DeCommitTotalFreeThreshold;
    ULONG_PTR LockPrefixTable;
    ULONG_PTR MaximumAllocationSize;
    ULONG_PTR VirtualMemoryThreshold;
#ifdef _WIN64
    ULONG_PTR ProcessAffinityMask;
    DWORD ProcessHeapFlags;
#else
    DWORD ProcessHeapFlags;
    DWORD ProcessAffinityMask;
#endif
    WORD CSDVersion;
    WORD DependentLoadFlags;
    ULONG_PTR EditList;
    ULONG_PTR SecurityCookie;
};

}  // namespace

// GNU ld points the load-config data directory at this symbol (its name
// carries one more underscore on i686, added by the compiler). The size
// ends before the SafeSEH table fields: an i686 image that declared an
// empty handler table would have every exception handler refused.
extern "C" {
extern const LoadConfigDirectory _load_config_used;
__attribute__((used)) const LoadConfigDirectory _load_config_used = {
    sizeof(LoadConfigDirectory), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    LOAD_LIBRARY_SEARCH_SYSTEM32, 0, 0,
};
}

extern "C" int WinMainCRTStartup(void);

// The image's entry point (set with -e by the exe's link options).
extern "C" int CorvaneStartup(void)
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    // Present from Windows 8, and on Windows 7 with its loader update.
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDirectories)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    else
        ::SetDllDirectoryW(L"");  // at least drop the current folder
    return WinMainCRTStartup();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    return AfxWinMain(instance);
}

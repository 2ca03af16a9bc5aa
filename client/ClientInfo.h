// The client description sent as the update query's User-Agent:
// "Corvane/5.0 (pc, <OS>, <locale>) CorvaneDownloader/<version>.PROD".
// An ingredient that cannot be read is an empty text; the line is built anyway.
#pragma once

#include <windows.h>

#include "afx/String.h"

CString GetUserAgent();
// "Windows 7/6.1" and the like, from GetVersionExW; empty when not known.
CString GetOsName();
// The product version of the running exe's own version resource, "7.1.11.5418".
CString GetProductVersion();

// The operating-system table itself. `isServerR2` stands for
// GetSystemMetrics(SM_SERVERR2) and is asked only where the table needs it
// (a 5.2 system that is neither a workstation nor a Home Server).
CString OsNameFromVersion(DWORD major, DWORD minor, BYTE productType, WORD suiteMask,
                          int (*isServerR2)());

// The file-status query of the framework's file class.
#pragma once

#include <windows.h>

struct CFileStatus {
    FILETIME m_ctime = {};
    FILETIME m_atime = {};
    FILETIME m_mtime = {};
    ULONGLONG m_size = 0;
    DWORD m_attribute = 0;
    wchar_t m_szFullName[MAX_PATH] = {};
};

class CFile {
public:
    // Fills `rStatus` for the file or folder at `lpszFileName`. Fails when
    // nothing is there, and for any path of MAX_PATH (260) characters or
    // more, which the status record cannot hold.
    static BOOL GetStatus(const wchar_t* lpszFileName, CFileStatus& rStatus);
};

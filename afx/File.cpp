#include "afx/File.h"

#include <cwchar>

BOOL CFile::GetStatus(const wchar_t* lpszFileName, CFileStatus& rStatus) {
    rStatus = CFileStatus();
    if (!lpszFileName || !*lpszFileName) return FALSE;
    DWORD length = GetFullPathNameW(lpszFileName, MAX_PATH, rStatus.m_szFullName, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        rStatus.m_szFullName[0] = 0;
        return FALSE;
    }
    // A wildcard would make the lookup below answer for some other file.
    if (wcspbrk(lpszFileName, L"*?")) return FALSE;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(rStatus.m_szFullName, &data);
    if (find == INVALID_HANDLE_VALUE) return FALSE;
    FindClose(find);
    rStatus.m_ctime = data.ftCreationTime;
    rStatus.m_atime = data.ftLastAccessTime;
    rStatus.m_mtime = data.ftLastWriteTime;
    rStatus.m_size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    rStatus.m_attribute = data.dwFileAttributes;
    return TRUE;
}

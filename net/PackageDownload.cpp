// The package download: one GET straight over WinINet into the target file,
// in reads of 1024 bytes with a progress report after each.
#include <climits>
#include <cwchar>

#include "afx/File.h"
#include "net/HttpAdapter.h"

namespace {

// wcstol's reading: leading blanks and a sign allowed, the first other
// character ends the number, out-of-range values saturate. `valid` tells
// whether there were digits at all.
long ParseHeaderNumber(const wchar_t* text, bool* valid) {
    wchar_t* end = nullptr;
    long value = wcstol(text, &end, 10);
    *valid = end != text;
    return value;
}

// The header's text, or an empty text when the reply lacks the header.
void QueryHeader(HINTERNET request, DWORD info, wchar_t (&text)[32]) {
    text[0] = L'\0';
    DWORD size = sizeof text;
    if (!HttpQueryInfoW(request, info, text, &size, nullptr)) text[0] = L'\0';
}

}  // namespace

int CKoHttpAdapter::DownloadPackage(const wchar_t* url, const wchar_t* targetPath) {
    kind = Download;
    if (!url || !targetPath) {
        ReportResult(nullptr);
        return 0;
    }
    HINTERNET root = InternetOpenW(L"HTTP Download", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!root) {
        ReportResult(nullptr);
        return 0;
    }
    InterlockedExchangePointer(&internetHandle, root);

    // Closes what is still ours. After CancelDownload took the root out of
    // internetHandle and closed it, WinINet has closed the request under it
    // as well: closing either again could hit a handle value that WinINet
    // has since handed to someone else.
    HINTERNET request = nullptr;
    auto closeHandles = [&] {
        HINTERNET mine = InterlockedExchangePointer(&internetHandle, nullptr);
        if (mine) {
            if (request) InternetCloseHandle(request);
            InternetCloseHandle(mine);
        }
        request = nullptr;
    };

    DWORD timeout = 50000;
    InternetSetOptionExW(root, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout, 0);
    InternetSetOptionExW(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout, 0);

    if (!cancelled) request = InternetOpenUrlW(root, url, nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    if (!request) {
        closeHandles();
        ReportResult(nullptr);
        return 0;
    }

    wchar_t text[32];
    bool valid = false;
    QueryHeader(request, HTTP_QUERY_STATUS_CODE, text);
    long status = ParseHeaderNumber(text, &valid);
    httpStatus = valid ? static_cast<int>(status) : 0;
    if (httpStatus != 200) {
        closeHandles();
        ReportResult(nullptr);
        return 0;
    }

    // Without a length there is nothing to tell a whole package from one
    // whose connection broke off, and a length beyond 32 bits can never be
    // matched: either way the download fails before it touches the file.
    QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, text);
    long expected = ParseHeaderNumber(text, &valid);
    if (!valid || expected < 0 || expected == LONG_MAX) {
        closeHandles();
        ReportResult(nullptr);
        return 0;
    }

    CFileStatus fileStatus;
    if (CFile::GetStatus(targetPath, fileStatus)) DeleteFileW(targetPath);
    HANDLE file = CreateFileW(targetPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        closeHandles();
        ReportResult(nullptr);
        return 0;
    }

    char buffer[1024] = {};
    INTERNET_BUFFERSW record;
    ZeroMemory(&record, sizeof record);
    record.dwStructSize = sizeof record;
    record.lpvBuffer = buffer;
    int total = 0;
    for (;;) {
        if (cancelled) break;
        if (paused) {
            Sleep(300);
            continue;
        }
        record.dwBufferLength = sizeof buffer;
        BOOL ok = InternetReadFileExW(request, &record, 0, 0);
        if (!ok && GetLastError() == ERROR_IO_PENDING) ok = TRUE;
        DWORD got = ok ? record.dwBufferLength : 0;
        if (got > 0) {
            DWORD written = 0;
            WriteFile(file, buffer, got, &written, nullptr);
            total += static_cast<int>(written);
        }
        ReportProgress(total, static_cast<int>(expected));
        if (!ok || got == 0) break;
    }
    CloseHandle(file);

    // A file that cannot be looked up cannot be shown to be whole.
    bool whole = CFile::GetStatus(targetPath, fileStatus) &&
                 static_cast<DWORD>(fileStatus.m_size) == static_cast<DWORD>(expected);
    closeHandles();
    ReportResult(whole && !cancelled ? const_cast<wchar_t*>(targetPath) : nullptr);
    return 0;
}

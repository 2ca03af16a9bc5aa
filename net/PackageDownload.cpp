// The package download: one GET straight over WinINet into the target file,
// in reads of 1024 bytes with a progress report after each.
#include <cerrno>
#include <climits>
#include <cwchar>
#include <new>
#include <string>

#include "afx/File.h"
#include "net/HttpAdapter.h"
#include "net/PublisherCheck.h"

namespace {

// How long the download waits for the network before it gives up: on
// connecting, sending, the reply's headers and every read of its body.
DWORD stallTimeoutMs = kDownloadStallTimeoutMs;

// wcstol's reading (leading blanks and a sign allowed, the first other
// character ends the number), but 64 bits wide and with overflow reported,
// so that 2147483647 itself is told apart from a larger number. `valid`
// tells whether there were digits and the value fit.
long long ParseHeaderNumber(const wchar_t* text, bool* valid) {
    wchar_t* end = nullptr;
    errno = 0;
    long long value = wcstoll(text, &end, 10);
    *valid = end != text && errno != ERANGE;
    return value;
}

// The header's text, or an empty text when the reply lacks the header.
void QueryHeader(HINTERNET request, DWORD info, wchar_t (&text)[32]) {
    text[0] = L'\0';
    DWORD size = sizeof text;
    if (!HttpQueryInfoW(request, info, text, &size, nullptr)) text[0] = L'\0';
}

// The GET that InternetOpenUrlW would send, with the same bytes on the
// wire, but taken apart so that the time-outs sit on the request handle
// before anything is sent: WinINet under Wine ignores send and receive
// time-outs on the root handle, and a server that stalls would otherwise
// hold the download for as long as it keeps the connection open. Closing
// the root handle closes the connection and request handles under it.
HINTERNET OpenPackageRequest(HINTERNET root, const wchar_t* url) {
    URL_COMPONENTSW parts;
    ZeroMemory(&parts, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url, 0, 0, &parts)) return nullptr;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return nullptr;
    DWORD flags = INTERNET_FLAG_RELOAD;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;

    std::wstring host, user, password, object;
    try {
        host.assign(parts.lpszHostName, parts.dwHostNameLength);
        user.assign(parts.lpszUserName ? parts.lpszUserName : L"", parts.dwUserNameLength);
        password.assign(parts.lpszPassword ? parts.lpszPassword : L"", parts.dwPasswordLength);
        object.assign(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
        object.append(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);
        if (object.empty()) object = L"/";
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    HINTERNET connection = InternetConnectW(root, host.c_str(), parts.nPort, user.empty() ? nullptr : user.c_str(),
                                            password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP,
                                            flags, 0);
    if (!connection) return nullptr;
    const wchar_t* accept[] = {L"*/*", nullptr};
    HINTERNET request = HttpOpenRequestW(connection, nullptr, object.c_str(), nullptr, nullptr, accept, flags, 0);
    if (!request) return nullptr;
    DWORD timeout = stallTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        InternetSetOptionW(request, option, &timeout, sizeof timeout);
    }
    if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return nullptr;
    return request;
}

}  // namespace

void SetDownloadStallTimeoutForTests(DWORD ms) { stallTimeoutMs = ms; }

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
    // has since handed to someone else. The root takes the connection and
    // request handles under it along.
    auto closeHandles = [&] { CloseInternetHandleInBackground(InterlockedExchangePointer(&internetHandle, nullptr)); };

    HINTERNET request = cancelled ? nullptr : OpenPackageRequest(root, url);
    if (!request) {
        closeHandles();
        ReportResult(nullptr);
        return 0;
    }

    wchar_t text[32];
    bool valid = false;
    QueryHeader(request, HTTP_QUERY_STATUS_CODE, text);
    long long status = ParseHeaderNumber(text, &valid);
    if (status > INT_MAX) status = INT_MAX;
    if (status < INT_MIN) status = INT_MIN;
    httpStatus = valid ? static_cast<int>(status) : 0;
    if (httpStatus != 200) {
        closeHandles();
        ReportResult(nullptr);
        return 0;
    }

    // Without a length there is nothing to tell a whole package from one
    // whose connection broke off; a length beyond 32 bits can never be
    // counted; an empty reply is no package. Each fails before the file is
    // touched.
    QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, text);
    const long long length = ParseHeaderNumber(text, &valid);
    if (!valid || length <= 0 || length > INT_MAX) {
        closeHandles();
        ReportResult(nullptr);
        return 0;
    }
    const int expected = static_cast<int>(length);

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
    // A body that runs on past its announced length (a chunked reply that
    // also names a length) is cut at that length and fails: the file never
    // holds more than was announced, and an endless body is not drained.
    bool overrun = false;
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
        DWORD room = static_cast<DWORD>(expected - total);
        if (got > room) overrun = true;
        DWORD keep = got > room ? room : got;
        if (keep > 0) {
            DWORD written = 0;
            WriteFile(file, buffer, keep, &written, nullptr);
            total += static_cast<int>(written);
        }
        ReportProgress(total, expected);
        if (!ok || got == 0 || overrun) break;
    }
    CloseHandle(file);

    // A file that cannot be looked up cannot be shown to be whole.
    bool whole = !overrun && CFile::GetStatus(targetPath, fileStatus) && fileStatus.m_size == static_cast<ULONGLONG>(expected);
    closeHandles();
    // Nothing but a package of this program's own publisher is opened, or
    // even kept in the setup folder.
    if (whole && !cancelled && !IsTrustedPackage(targetPath)) {
        DeleteFileW(targetPath);
        whole = false;
    }
    ReportResult(whole && !cancelled ? const_cast<wchar_t*>(targetPath) : nullptr);
    return 0;
}

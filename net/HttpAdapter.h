// One HTTP exchange of a network task and the records it reports with.
#pragma once

#include <windows.h>
#include <wininet.h>

enum NetTaskKind : int {
    PackageUrl = 1,
    Download = 2,
};

struct NetTaskResult {
    int kind;
    UINT taskId;
    int httpStatus;
    int resultCode;
    void* data;
};

typedef void (*ResultCallback)(void* owner, NetTaskResult* result);
typedef void (*ProgressCallback)(void* owner, UINT taskId, int bytesDone, int bytesTotal);

class CKoHttpAdapter {
public:
    virtual ~CKoHttpAdapter() = default;

    // The two jobs; each reports exactly once through ReportResult, after it
    // has closed its internet handles (and its file).
    int QueryPackageUrl();
    int DownloadPackage(const wchar_t* url, const wchar_t* targetPath);
    // Hands the result to onResult while the creating manager is alive;
    // after the manager is gone the report is dropped.
    void ReportResult(void* data);
    void ReportProgress(int bytesDone, int bytesTotal);

    void* owner = nullptr;
    volatile LONG paused = 0;
    volatile LONG cancelled = 0;
    int kind = 0;
    UINT taskId = 0;
    int resultCode = -1;
    int httpStatus = 0;
    ResultCallback onResult = nullptr;
    ProgressCallback onProgress = nullptr;
    // The root handle of a running download. Whichever side closes it first
    // (the download at its end, or CancelDownload) takes it out with
    // InterlockedExchangePointer, so it is closed exactly once.
    HINTERNET internetHandle = nullptr;
    // Which manager created the task: reports and registry calls go only to
    // that manager while it lives (see NetManager.cpp).
    LONG managerSerial = 0;
};

// Closes a root internet handle, and everything opened under it, on a pool
// thread. A request whose body was not read to its end makes WinINet under
// Wine read whatever keeps arriving before the close returns, for as long as
// the server stays ahead of it; neither the window nor a report waits for that.
void CloseInternetHandleInBackground(HINTERNET handle);

// A download that gets nothing from the network for this long (connecting,
// sending, waiting for the reply or any read of its body) fails.
const DWORD kDownloadStallTimeoutMs = 50000;
// Test programs shorten the wait; the installer never calls this.
void SetDownloadStallTimeoutForTests(DWORD ms);

// A newly malloc'ed UTF-16 copy of a NUL-terminated UTF-8 text; null for null.
wchar_t* Utf8ToWide(const char* text);
// A newly malloc'ed copy of a NUL-terminated UTF-16 text; null for null or
// when memory runs out. Texts that cross threads travel as such copies.
wchar_t* CopyWideText(const wchar_t* text);

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

    int QueryPackageUrl();
    int DownloadPackage(const wchar_t* url, const wchar_t* targetPath);
    void ReportResult(void* data);

    void* owner = nullptr;
    volatile LONG paused = 0;
    volatile LONG cancelled = 0;
    int kind = 0;
    UINT taskId = 0;
    int resultCode = -1;
    int httpStatus = 0;
    ResultCallback onResult = nullptr;
    ProgressCallback onProgress = nullptr;
    HINTERNET internetHandle = nullptr;
};

// A newly malloc'ed UTF-16 copy of a NUL-terminated UTF-8 text; null for null.
wchar_t* Utf8ToWide(const char* text);

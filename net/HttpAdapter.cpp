#include "net/HttpAdapter.h"

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "net/NetManager.h"

void CKoHttpAdapter::ReportResult(void* data) {
    NetTaskResult result;
    result.kind = kind;
    result.taskId = taskId;
    result.httpStatus = httpStatus;
    result.resultCode = resultCode;
    result.data = data;
    NetGate gate;
    if (onResult && NetGate::OwnerAlive(this)) onResult(owner, &result);
}

void CKoHttpAdapter::ReportProgress(int bytesDone, int bytesTotal) {
    if (!onProgress) return;
    NetGate gate;
    if (NetGate::OwnerAlive(this)) onProgress(owner, taskId, bytesDone, bytesTotal);
}

namespace {

DWORD WINAPI CloseInternetHandleWork(void* handle) {
    InternetCloseHandle(static_cast<HINTERNET>(handle));
    return 0;
}

}  // namespace

void CloseInternetHandleInBackground(HINTERNET handle) {
    if (handle && !QueueUserWorkItem(CloseInternetHandleWork, handle, WT_EXECUTELONGFUNCTION))
        InternetCloseHandle(handle);
}

wchar_t* Utf8ToWide(const char* text) {
    if (!text) return nullptr;
    int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::vector<wchar_t> wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
    if (length > 0 && MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length) == 0) wide[0] = L'\0';
    wide.back() = L'\0';
    return CopyWideText(wide.data());
}

wchar_t* CopyWideText(const wchar_t* text) {
    if (!text) return nullptr;
    const size_t size = (wcslen(text) + 1) * sizeof(wchar_t);
    wchar_t* copy = static_cast<wchar_t*>(malloc(size));
    if (copy) memcpy(copy, text, size);
    return copy;
}

// Download benchmark, one way per run (tools/bench.sh runs them side by side):
//   net_bench job    URL FILE   the real download task, reporting into a real
//                               progress bar in a real window
//   net_bench bare64k URL FILE  a bare WinINet loop with 64 KiB reads
//   net_bench bare1k  URL FILE  a bare loop with 1024-byte reads, one write and
//                               one PBM_SETPOS sent to the same kind of bar per read
// Prints "<mode> <bytes> <seconds>" and exits 0 when the whole file arrived.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "net/NetManager.h"

namespace {

const UINT WM_BENCH_DONE = WM_APP + 1;

struct Bench {
    HWND window = nullptr;
    HWND bar = nullptr;
    const wchar_t* url = nullptr;
    const wchar_t* path = nullptr;
    long long bytes = 0;
    bool ok = false;
};

Bench bench;

void CreateBenchWindow() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    bench.window = CreateWindowExW(0, L"STATIC", L"net_bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 120,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    bench.bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 360, 20, bench.window,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(bench.bar, PBM_SETRANGE32, 0, 100);
}

int Position(long long done, long long total) {
    return total > 0 ? static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total)) : 0;
}

DWORD WINAPI BareLoop(LPVOID param) {
    const DWORD block = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(param));
    HINTERNET root = InternetOpenW(L"HTTP Download", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = root ? InternetOpenUrlW(root, bench.url, nullptr, 0, INTERNET_FLAG_RELOAD, 0) : nullptr;
    HANDLE file = CreateFileW(bench.path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    long long total = 0;
    if (request && HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
        total = _wtoi64(text);
    static char buffer[65536];
    DWORD got = 0;
    while (request && file != INVALID_HANDLE_VALUE && InternetReadFile(request, buffer, block, &got) && got > 0) {
        DWORD written = 0;
        WriteFile(file, buffer, got, &written, nullptr);
        bench.bytes += written;
        if (block == 1024) SendMessageW(bench.bar, PBM_SETPOS, Position(bench.bytes, total), 0);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (request) InternetCloseHandle(request);
    if (root) InternetCloseHandle(root);
    bench.ok = total > 0 && bench.bytes == total;
    PostMessageW(bench.window, WM_BENCH_DONE, 0, 0);
    return 0;
}

}  // namespace

// The window's two callbacks, as the installer's dialog has them.
void OnNetTaskResult(void*, NetTaskResult* result) {
    bench.ok = result->data != nullptr && result->httpStatus == 200;
    PostMessageW(bench.window, WM_BENCH_DONE, 0, 0);
}

void OnDownloadProgress(void*, UINT, int bytesDone, int bytesTotal) {
    bench.bytes = bytesDone;
    SendMessageW(bench.bar, PBM_SETPOS, Position(bytesDone, bytesTotal), 0);
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: net_bench job|bare64k|bare1k URL FILE\n");
        return 2;
    }
    std::wstring mode = argv[1];
    bench.url = argv[2];
    bench.path = argv[3];
    CreateBenchWindow();
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);

    CKoNetManager* manager = nullptr;
    if (mode == L"job") {
        manager = new CKoNetManager(&bench);
        if (!manager->StartDownload(bench.url, bench.path)) return 1;
    } else if (mode == L"bare64k" || mode == L"bare1k") {
        UINT_PTR block = mode == L"bare64k" ? 65536 : 1024;
        HANDLE thread = CreateThread(nullptr, 0, BareLoop, reinterpret_cast<LPVOID>(block), 0, nullptr);
        if (!thread) return 1;
        CloseHandle(thread);
    } else {
        return 2;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_BENCH_DONE) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    QueryPerformanceCounter(&end);
    delete manager;
    std::printf("%ls %lld %.3f\n", mode.c_str(), bench.bytes,
                static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart));
    DestroyWindow(bench.window);
    return bench.ok ? 0 : 1;
}

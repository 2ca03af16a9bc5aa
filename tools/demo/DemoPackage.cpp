// The demo package: what the demo's update service hands out in place of the
// full office package. It shows that it was started, leaves a mark next to
// itself and ends by itself after a few seconds.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/demo/DemoMark.h"

namespace {

const UINT_PTR kTick = 1;
int g_secondsLeft = 5;
HWND g_text = nullptr;

void ShowCountdown()
{
    wchar_t text[160];
    std::swprintf(text, 160, L"澈岚Office演示安装包已启动。\n本窗口将在 %d 秒后自动关闭。", g_secondsLeft);
    SetWindowTextW(g_text, text);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        g_text = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 30, 360, 60,
                                 hwnd, nullptr, reinterpret_cast<CREATESTRUCTW*>(lp)->hInstance, nullptr);
        SendMessageW(g_text, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ShowCountdown();
        SetTimer(hwnd, kTick, 1000, nullptr);
        return 0;
    case WM_TIMER:
        if (--g_secondsLeft <= 0)
            DestroyWindow(hwnd);
        else
            ShowCountdown();
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kTick);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// What the package sees of the installer's window as it starts: the
// installer is meant to hide it before it opens the package.
const char* InstallerWindow()
{
    HWND dlg = FindWindowW(L"#32770", L"澈岚Office安装程序");
    return !dlg ? "none" : IsWindowVisible(dlg) ? "visible" : "hidden";
}

// The mark is written before the window shows, so a watcher that sees it
// knows the package runs.
void LeaveMark()
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    path = path.substr(0, path.find_last_of(L'\\') + 1) + CORVANE_DEMO_MARK;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f)
        return;
    std::string line = "pid=" + std::to_string(GetCurrentProcessId()) + "\r\nexe=";
    fwrite(line.data(), 1, line.size(), f);
    char utf8[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, exe, -1, utf8, sizeof utf8, nullptr, nullptr);
    fputs(utf8, f);
    fputs("\r\ninstaller_window=", f);
    fputs(InstallerWindow(), f);
    fputs("\r\n", f);
    fclose(f);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    wchar_t seconds[16] = {};
    if (GetEnvironmentVariableW(CORVANE_DEMO_SECONDS_VAR, seconds, 16) > 0) {
        int s = _wtoi(seconds);
        if (s > 0)
            g_secondsLeft = s;
    }
    LeaveMark();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"CorvaneDemoPackage";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"澈岚Office演示安装包",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 400, 160,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 1;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

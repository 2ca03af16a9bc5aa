#include "tests/flow/driver/FlowDriver.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>

namespace flow {

const wchar_t kTitle[] = L"澈岚Office安装程序";
const wchar_t kConnecting[] = L"正在连接互联网以下载安装文件。";
const wchar_t kNoInternet[] = L"无法连接到互联网。";
const wchar_t kDownloading[] = L"正在下载澈岚Office…";
const wchar_t kDownloadFailed[] = L"澈岚Office下载失败。";
const wchar_t kFirewallHint[] =
    L"检查电脑是否连接到互联网以及防火墙是否允许访问CorvaneOfficeInstaller_CN.exe，然后重试。";
const wchar_t kCancelCaption[] = L"确认取消安装";
const wchar_t kCancelPrompt[] = L"澈岚Office尚未完成安装。\n要取消安装吗？";
const wchar_t kPackageName[] = L"CorvaneOfficeInstaller_CN.exe";

namespace {

// Cross-process sends must not hang the test when the installer is stuck.
const UINT kSendTimeoutMs = 3000;

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring TextOf(HWND hwnd)
{
    if (!hwnd)
        return L"";
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
        return L"";
    std::wstring text(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
        return L"";
    text.resize(got);
    return text;
}

bool StyleVisible(HWND hwnd)
{
    return hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

struct FindArgs {
    DWORD pid;
    HWND owner;              // null: an unowned dialog of pid
    const wchar_t* caption;  // null: any caption
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp)
{
    FindArgs* a = reinterpret_cast<FindArgs*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != a->pid || ClassOf(hwnd) != L"#32770")
        return TRUE;
    if (GetWindow(hwnd, GW_OWNER) != a->owner)
        return TRUE;
    if (a->caption && TextOf(hwnd) != a->caption)
        return TRUE;
    a->found = hwnd;
    return FALSE;
}

std::wstring Escape(const std::wstring& s)
{
    std::wstring out;
    for (wchar_t c : s)
        out += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
    return out;
}

}  // namespace

std::string Narrow(const std::wstring& w)
{
    if (w.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

Look Classify(const Snapshot& s)
{
    if (!s.dialog)
        return Look::Gone;
    if (s.question)
        return Look::Question;
    if (!s.dialogVisible)
        return Look::Hidden;
    bool none = !s.detail && !s.help && !s.retry && !s.close;
    if (s.status.empty() && none)
        return Look::Starting;
    if (s.status == kConnecting && none)
        return Look::Connecting;
    if (s.status == kDownloading && none)
        return Look::Downloading;
    if (s.status == kNoInternet && s.detail && s.close && !s.help && !s.retry)
        return Look::Offline;
    if (s.status == kDownloadFailed && s.detail && s.help && s.retry && !s.close)
        return Look::Failed;
    return Look::Other;
}

const char* LookName(Look look)
{
    switch (look) {
    case Look::Gone: return "Gone";
    case Look::Hidden: return "Hidden";
    case Look::Starting: return "Starting";
    case Look::Connecting: return "Connecting";
    case Look::Downloading: return "Downloading";
    case Look::Offline: return "Offline";
    case Look::Failed: return "Failed";
    case Look::Question: return "Question";
    case Look::Other: return "Other";
    }
    return "?";
}

std::string Describe(const Snapshot& s)
{
    if (!s.dialog)
        return "no dialog";
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  " [window %s, detail %d, help %d, retry %d, close %d, progress %d%s%s]",
                  s.dialogVisible ? "shown" : "hidden", s.detail, s.help, s.retry, s.close,
                  s.progress, s.marquee ? " marquee" : "", s.question ? ", question open" : "");
    return std::string(LookName(Classify(s))) + ": \"" + Narrow(Escape(s.status)) + "\"" + buf;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return pred();
        Sleep(20);
    }
}

// ---- processes ----

Process::~Process()
{
    Kill();
    if (process_)
        CloseHandle(process_);
}

bool Process::Start(const std::wstring& exe, std::string* error)
{
    Kill();
    if (process_)
        CloseHandle(process_);
    process_ = nullptr;
    pid_ = 0;
    std::wstring cmd = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    // Now and then Wine 8 loses a new process while it starts, before any of
    // its code runs, and CreateProcessW fails with ERROR_INTERNAL_ERROR (seen
    // once in about a hundred starts here). That is the platform's start, not
    // the program's: try it again a few times. Any other failure, or the same
    // one every time, still fails.
    BOOL created = FALSE;
    DWORD lastError = 0;
    for (int attempt = 0; attempt < 3 && !created; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        created = CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        lastError = created ? 0 : GetLastError();
        if (!created && lastError != ERROR_INTERNAL_ERROR)
            break;
    }
    if (!created) {
        if (error)
            *error = "CreateProcessW(" + Narrow(exe) + ") failed with error " + std::to_string(lastError);
        return false;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool Process::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::WaitExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    if (exitCode)
        *exitCode = code;
    return true;
}

void Process::Kill()
{
    if (Running()) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
}

std::vector<DWORD> ProcessesNamed(const wchar_t* exeName)
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        if (pe.th32ProcessID != GetCurrentProcessId() && lstrcmpW(pe.szExeFile, exeName) == 0)
            ids.push_back(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return ids;
}

int KillProcessesNamed(const wchar_t* exeName)
{
    int n = 0;
    for (DWORD pid : ProcessesNamed(exeName)) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!h)
            continue;
        if (TerminateProcess(h, 99)) {
            WaitForSingleObject(h, 5000);
            ++n;
        }
        CloseHandle(h);
    }
    return n;
}

// ---- the dialog ----

bool Dialog::Find()
{
    if (Exists())
        return true;
    FindArgs a = {pid_, nullptr, nullptr, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&a));
    hwnd_ = a.found;
    return hwnd_ != nullptr;
}

bool Dialog::WaitFound(DWORD timeoutMs)
{
    return WaitUntil([this] { return Find(); }, timeoutMs);
}

HWND Dialog::Control(int id) const
{
    return Exists() ? GetDlgItem(hwnd_, id) : nullptr;
}

std::wstring Dialog::Text(int id) const { return TextOf(Control(id)); }
bool Dialog::Visible(int id) const { return StyleVisible(Control(id)); }

int Dialog::ProgressPos() const
{
    DWORD_PTR pos = 0;
    HWND bar = Control(kIdProgress);
    if (!bar || !SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &pos))
        return -1;
    return static_cast<int>(pos);
}

bool Dialog::Marquee() const
{
    HWND bar = Control(kIdProgress);
    return bar && (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
}

HWND Dialog::Focus() const
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    DWORD tid = Exists() ? GetWindowThreadProcessId(hwnd_, nullptr) : 0;
    if (!tid || !GetGUIThreadInfo(tid, &gti))
        return nullptr;
    return gti.hwndFocus;
}

Snapshot Dialog::Read()
{
    Snapshot s;
    if (!Find())
        return s;
    s.dialog = true;
    s.dialogVisible = IsWindowVisible(hwnd_) != FALSE;
    s.title = TextOf(hwnd_);
    s.status = Text(kIdStatus);
    s.detail = Visible(kIdDetail);
    s.help = Visible(kIdHelpLink);
    s.retry = Visible(kIdRetry);
    s.close = Visible(kIdCancel);
    s.progress = ProgressPos();
    s.marquee = Marquee();
    s.question = Question() != nullptr;
    // The window may have gone while it was read.
    if (!IsWindow(hwnd_))
        return Snapshot();
    return s;
}

bool Dialog::WaitLook(Look look, DWORD timeoutMs, std::string* message)
{
    Snapshot last;
    bool ok = WaitUntil([&] {
        last = Read();
        return Classify(last) == look;
    }, timeoutMs);
    if (!ok && message)
        *message = std::string("expected the ") + LookName(look) + " look within " +
                   std::to_string(timeoutMs) + " ms, saw " + Describe(last);
    return ok;
}

bool Dialog::Click(int id, std::string* message)
{
    HWND button = Control(id);
    if (!button || !StyleVisible(button) || !IsWindowEnabled(button)) {
        if (message)
            *message = "button " + std::to_string(id) + " is not there to click: " + Describe(Read());
        return false;
    }
    PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

// Keys are posted to the dialog itself, so that its own key handling (the
// message loop's dialog navigation) turns them into commands: Esc into
// IDCANCEL, Enter into the default command (IDOK) unless a push button has
// the focus. A control with the focus would eat Enter otherwise: Wine's
// SysLink, for one, answers it with NM_RETURN.
static void PostKey(HWND dlg, UINT vk)
{
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(dlg, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(dlg, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

void Dialog::PressEnter()
{
    if (Exists())
        PostKey(hwnd_, VK_RETURN);
}

void Dialog::PressEscape()
{
    if (Exists())
        PostKey(hwnd_, VK_ESCAPE);
}

void Dialog::CloseBox()
{
    if (Exists())
        PostMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool Dialog::ClickHelpLink(std::string* message)
{
    HWND link = Control(kIdHelpLink);
    if (!link || !IsWindowVisible(link)) {
        if (message)
            *message = "the help link is not shown: " + Describe(Read());
        return false;
    }
    RECT rc = {};
    GetClientRect(link, &rc);
    // The link's words start at the control's left edge.
    LPARAM at = MAKELPARAM(8, (rc.bottom - rc.top) / 2);
    PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(link, WM_LBUTTONUP, 0, at);
    return true;
}

HWND Dialog::Question() const
{
    if (!Exists())
        return nullptr;
    FindArgs a = {pid_, hwnd_, kCancelCaption, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&a));
    return a.found;
}

std::wstring Dialog::QuestionText() const
{
    HWND box = Question();
    if (!box)
        return L"";
    // The message is the longest static text of the box (the icon is a static too).
    std::wstring best;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) != L"Static")
            continue;
        std::wstring t = TextOf(c);
        if (t.size() > best.size())
            best = t;
    }
    return best;
}

bool Dialog::Answer(int button)
{
    HWND box = Question();
    if (!box)
        return false;
    HWND b = GetDlgItem(box, button);
    if (!b)
        return false;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(b));
    return true;
}

}  // namespace flow

// Drives the installer from outside, the way a user would: starts its
// process, finds its dialog, reads the controls and presses its buttons and
// keys. Everything goes through window messages across processes, so the
// driver needs nothing from the installer but its window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace flow {

// Texts the installer shows, as the user sees them.
extern const wchar_t kTitle[];
extern const wchar_t kConnecting[];
extern const wchar_t kNoInternet[];
extern const wchar_t kDownloading[];
extern const wchar_t kDownloadFailed[];
extern const wchar_t kFirewallHint[];
extern const wchar_t kCancelCaption[];
extern const wchar_t kCancelPrompt[];
extern const wchar_t kPackageName[];  // the installer's and the package's file name

enum ControlId {
    kIdOk = 1,
    kIdCancel = 2,
    kIdRetry = 4,
    kIdStatus = 1000,
    kIdDetail = 1001,
    kIdHelpLink = 1002,
    kIdProgress = 1003,
    kIdBanner = 1004,
};

// What one look of the window consists of, read in one go.
struct Snapshot {
    bool dialog = false;       // the dialog window exists
    bool dialogVisible = false;
    std::wstring title;
    std::wstring status;
    bool detail = false, help = false, retry = false, close = false;  // visible?
    int progress = -1;         // PBM_GETPOS
    bool marquee = false;      // PBS_MARQUEE set
    bool question = false;     // the cancel question is open
};

enum class Look { Gone, Hidden, Starting, Connecting, Downloading, Offline, Failed, Question, Other };

// The look a snapshot shows; the cancel question wins over what lies under it.
Look Classify(const Snapshot& s);
const char* LookName(Look look);
std::string Describe(const Snapshot& s);  // one line, for failure messages

// Polls pred every 20 ms until it holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs);

std::string Narrow(const std::wstring& w);  // UTF-8

// A process of the installer (or of any program) that the driver started.
// The process is ended on destruction when it still runs.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts exe; the error text is set when it fails.
    bool Start(const std::wstring& exe, std::string* error);
    bool Running() const;
    // Waits for the end; false on timeout. The exit code is stored.
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void Kill();
    DWORD Id() const { return pid_; }

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Ends every process with this exact file name (left-overs of a test: the
// installer, the opened package). Returns how many were ended.
int KillProcessesNamed(const wchar_t* exeName);
// Process ids of the running processes with this exact file name.
std::vector<DWORD> ProcessesNamed(const wchar_t* exeName);

// The installer's dialog: the top-level #32770 of one process with the
// installer's title.
class Dialog {
public:
    explicit Dialog(DWORD pid) : pid_(pid) {}

    // Looks for the dialog (again); true when it is there now.
    bool Find();
    bool WaitFound(DWORD timeoutMs);
    HWND Hwnd() const { return hwnd_; }
    bool Exists() const { return hwnd_ && IsWindow(hwnd_); }

    Snapshot Read();
    Look CurrentLook() { return Classify(Read()); }
    // Waits for a look; on timeout the message says what was seen instead.
    bool WaitLook(Look look, DWORD timeoutMs, std::string* message);

    HWND Control(int id) const;
    std::wstring Text(int id) const;
    bool Visible(int id) const;
    int ProgressPos() const;
    bool Marquee() const;
    HWND Focus() const;

    // Presses a visible button the way a click does (BN_CLICKED to the
    // dialog). Posted, because the handler may open a modal question.
    bool Click(int id, std::string* message = nullptr);
    void PressEnter();    // the Enter key, through the dialog's own key handling
    void PressEscape();   // the Esc key
    void CloseBox();      // the caption's close box
    // Clicks the help link inside its text with the mouse.
    bool ClickHelpLink(std::string* message = nullptr);

    // The cancel question owned by the dialog, or null.
    HWND Question() const;
    std::wstring QuestionText() const;
    // Answers it with IDYES or IDNO; false when no question is open.
    bool Answer(int button);

private:
    DWORD pid_;
    HWND hwnd_ = nullptr;
};

}  // namespace flow

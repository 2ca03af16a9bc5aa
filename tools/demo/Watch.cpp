// Follows one run of the installer from outside and tells what happens:
// each look as it appears, the percentage, the launch of the package.
// tools/run.sh runs it; it can also press Retry and try the cancel question,
// so that a whole run can be shown without a hand on the mouse.
//
// Usage: corvane_watch INSTALLER.exe [--retry N] [--pause-ms MS]
//                      [--cancel-no] [--timeout SECONDS]
//   --retry N     press Retry in the Failed look, up to N times
//   --pause-ms    wait this long in a look before acting on it
//   --cancel-no   open the cancel question once during the download, answer No
// Exit: 0 when the package was opened, 1 when the run ended otherwise,
// 2 on a timeout or a usage error.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <string>

#include "net/PublisherCheck.h"
#include "tests/flow/driver/FlowDriver.h"
#include "tools/demo/DemoMark.h"

using flow::Look;

namespace {

// One line per event: a line break inside a text shows as " / ".
void Say(std::string line)
{
    for (size_t at; (at = line.find('\n')) != std::string::npos;)
        line.replace(at, 1, " / ");
    std::printf("watch: %s\n", line.c_str());
    std::fflush(stdout);
}

std::wstring SetupFolder()
{
    wchar_t appdata[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appdata);
    return std::wstring(appdata) + L"\\CorvaneOfficeCN\\Setup";
}

std::string ReadMark(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string all, line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!all.empty())
            all += ", ";
        all += line;
    }
    return all;
}

// Who signed the package and who signed the installer, read from the two
// files. Said when the window hides or goes after a download: the installer
// gets there only once its own check of the package's publisher has passed,
// and opens the package right after.
void SayPublishers(const std::wstring& installer, const std::wstring& package)
{
    std::wstring own = SignerName(installer.c_str());
    if (own.empty()) {
        Say("publisher: the installer is unsigned (a developer's build): it checks no package");
        return;
    }
    std::wstring signer = SignerName(package.c_str());
    if (signer.empty()) {
        Say("publisher: the package file carries no signature");
        return;
    }
    Say("publisher: the package is signed by " + flow::Narrow(signer));
    Say(signer == own ? "publisher: matched the installer's own signer; checked before the package is opened"
                      : "publisher: not the installer's own signer, " + flow::Narrow(own));
}

// What is left in the setup folder when a download failed: a partial file
// after a broken transfer, nothing after a refused package.
void SayPackageFile(const std::wstring& package)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(package.c_str(), GetFileExInfoStandard, &data))
        Say("setup folder: no package file (a package that fails the publisher check is deleted)");
    else
        Say("setup folder: a package file of " + std::to_string(data.nFileSizeLow) + " bytes");
}

DWORD MarkPid(const std::string& mark)
{
    size_t at = mark.find("pid=");
    return at == std::string::npos ? 0 : std::strtoul(mark.c_str() + at + 4, nullptr, 10);
}

}  // namespace

int Watch(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvane_watch INSTALLER.exe [--retry N] [--pause-ms MS] [--cancel-no] [--timeout S]\n");
        return 2;
    }
    std::wstring exe = argv[1];
    int retries = 0, pauseMs = 0, timeoutS = 120;
    bool cancelNo = false;
    for (int i = 2; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--retry" && i + 1 < argc)
            retries = _wtoi(argv[++i]);
        else if (a == L"--pause-ms" && i + 1 < argc)
            pauseMs = _wtoi(argv[++i]);
        else if (a == L"--timeout" && i + 1 < argc)
            timeoutS = _wtoi(argv[++i]);
        else if (a == L"--cancel-no")
            cancelNo = true;
        else {
            std::fprintf(stderr, "corvane_watch: unknown argument %s\n", flow::Narrow(a).c_str());
            return 2;
        }
    }

    // A mark from an earlier run must not pass for this one.
    std::wstring mark = SetupFolder() + L"\\" + CORVANE_DEMO_MARK;
    std::wstring package = SetupFolder() + L"\\" + flow::kPackageName;
    DeleteFileW(mark.c_str());

    flow::Process installer;
    std::string error;
    if (!installer.Start(exe, &error)) {
        Say(error);
        return 1;
    }
    Say("installer started (process " + std::to_string(installer.Id()) + ")");
    flow::Dialog dlg(installer.Id());

    DWORD start = GetTickCount();
    Look last = Look::Gone;
    int lastPercent = -100;
    bool seen = false, shown = false, askedCancel = false, publisherSaid = false;
    auto sayPublishersOnce = [&] {
        if (!publisherSaid && GetFileAttributesW(package.c_str()) != INVALID_FILE_ATTRIBUTES)
            SayPublishers(exe, package);
        publisherSaid = true;
    };
    for (;;) {
        if (GetTickCount() - start > static_cast<DWORD>(timeoutS) * 1000) {
            Say("gave up after " + std::to_string(timeoutS) + " s; the installer is ended");
            installer.Kill();
            return 2;
        }
        if (!installer.Running())
            break;
        flow::Snapshot s = dlg.Read();
        Look look = flow::Classify(s);
        if (look == Look::Gone && !seen) {
            Sleep(20);
            continue;
        }
        seen = true;
        // Before its first showing the dialog is hidden too: that is no look yet.
        if (look == Look::Hidden && !shown) {
            Sleep(20);
            continue;
        }
        shown = true;
        if (look != last) {
            last = look;
            std::string line = std::string("look: ") + flow::LookName(look);
            if (!s.status.empty() && look != Look::Question && look != Look::Hidden)
                line += " \"" + flow::Narrow(s.status) + "\"";
            if (look == Look::Connecting && s.marquee)
                line += " (marquee)";
            if (look == Look::Question)
                line += " \"" + flow::Narrow(dlg.QuestionText()) + "\"";
            if (look == Look::Hidden)
                line += " (the window is hidden: the package is being opened)";
            Say(line);
            if (look == Look::Hidden || look == Look::Gone)
                sayPublishersOnce();
            if (look == Look::Failed)
                SayPackageFile(package);
            if (look == Look::Other)
                Say("unexpected window state: " + flow::Describe(s));
        }
        if (look == Look::Downloading && s.progress != lastPercent &&
            (s.progress - lastPercent >= 10 || s.progress == 100 || s.progress < lastPercent)) {
            lastPercent = s.progress;
            Say("downloading: " + std::to_string(s.progress) + "%");
        }
        if (look == Look::Downloading && cancelNo && !askedCancel && s.progress >= 30) {
            askedCancel = true;
            Say("pressing Close to see the cancel question");
            dlg.PressEscape();
        }
        if (look == Look::Question && askedCancel) {
            Sleep(pauseMs);
            Say("answering No: the download goes on");
            dlg.Answer(IDNO);
            flow::WaitUntil([&] { return !dlg.Question(); }, 5000);
        }
        if (look == Look::Failed) {
            if (retries > 0) {
                --retries;
                Sleep(pauseMs);
                Say("pressing Retry");
                lastPercent = -100;
                dlg.Click(flow::kIdRetry);
                flow::WaitUntil([&] { return dlg.CurrentLook() != Look::Failed; }, 5000);
            } else if (installer.Running()) {
                Say("the download failed; press Retry in the window to try again, or Close to stop");
                // From here the user decides; keep watching.
                while (installer.Running() && dlg.CurrentLook() == Look::Failed)
                    Sleep(100);
                continue;
            }
        }
        if (look == Look::Offline) {
            // Nothing more can happen in this look: the installer offers no Retry.
            Sleep(pauseMs);
            Say("the installer sees no internet connection; pressing Close");
            dlg.Click(flow::kIdCancel);
            installer.WaitExit(5000);
        }
        Sleep(20);
    }
    // The window may have gone between two looks.
    if (last != Look::Failed && last != Look::Offline)
        sayPublishersOnce();
    DWORD code = 0;
    installer.WaitExit(5000, &code);
    Say("installer ended (exit code " + std::to_string(code) + ")");

    // The package is opened by the shell just before the dialog ends; give
    // it a moment to start.
    std::string markText;
    flow::WaitUntil([&] {
        markText = ReadMark(mark);
        return !markText.empty();
    }, 15000);
    if (markText.empty()) {
        Say("the package was not opened");
        return 1;
    }
    Say("package launched: " + markText);
    if (DWORD pid = MarkPid(markText)) {
        if (HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid)) {
            if (WaitForSingleObject(h, 30000) == WAIT_OBJECT_0)
                Say("package ended by itself");
            CloseHandle(h);
        }
    }
    return 0;
}

// The last line tells a reader of the output that the watch is over (the
// virtual desktop's process may keep the output pipe open after that).
int wmain(int argc, wchar_t** argv)
{
    int code = Watch(argc, argv);
    Say("done (exit code " + std::to_string(code) + ")");
    return code;
}

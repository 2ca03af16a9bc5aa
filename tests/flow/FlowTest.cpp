// The installer's flow end to end: the real exe under Wine, served by the
// test server, worked through its window like a user would.
// winsock2.h must come before windows.h.
#include "tests/common/TestServer.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "BuildConfig.h"
#include "TestPaths.h"
#include "tests/flow/driver/FlowDriver.h"
#include "tools/demo/DemoMark.h"

using flow::Dialog;
using flow::Look;
using flow::Process;

namespace {

const char kQueryPath[] = "/api/1/update/pcoffice/packageurl";
const char kPackagePath[] = "/pkg/CorvaneOfficeInstaller_CN.exe";
const DWORD kLookMs = 20000;  // a look that follows from one exchange with the server
const DWORD kAtOnceMs = 3000; // "at once": the dialog ends without further work

std::string ReadFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Base64(const std::string& in)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += {digits[v >> 18], digits[(v >> 12) & 63], digits[(v >> 6) & 63], digits[v & 63]};
    }
    if (i + 1 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16;
        out += {digits[v >> 18], digits[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += {digits[v >> 18], digits[(v >> 12) & 63], digits[(v >> 6) & 63], '='};
    }
    return out;
}

void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

// One of the packages a signed installer must refuse (tools/pki/forge.sh).
std::wstring ForgedPackage(const wchar_t* file)
{
    return std::wstring(TEST_FORGED_DIR) + L"\\" + file;
}

std::wstring AppData()
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path);
    return path;
}

std::string Query(const std::string& url)
{
    return R"({"body": "{\"resultCode\":0,\"url\":\")" + url + R"(\"}\n"})";
}

// How many recorded requests went to a path.
int CountRequests(const std::string& path)
{
    int n = 0;
    for (const TestServer::Request& r : TestServer::Requests())
        n += r.path == path;
    return n;
}

// Takes the sandbox's default route away, or brings it back; true only when
// the server reports that it did (Wine's connection check follows the route).
bool SetOnline(bool online)
{
    return online ? TestServer::Online() : TestServer::Offline();
}

class InstallerFlow : public ::testing::Test {
protected:
    void SetUp() override
    {
        flow::KillProcessesNamed(flow::kPackageName);
        ASSERT_TRUE(TestServer::Reset()) << "the test server does not answer on port 80 (run inside tools/sandbox.sh)";
        root_ = AppData() + L"\\CorvaneOfficeCN";
        setup_ = root_ + L"\\Setup";
        package_ = setup_ + L"\\" + flow::kPackageName;
        mark_ = setup_ + L"\\" + CORVANE_DEMO_MARK;
        RemoveTree(root_);
        ASSERT_FALSE(FileExists(root_));
        SetEnvironmentVariableW(CORVANE_DEMO_SECONDS_VAR, L"2");
        demo_ = ReadFile(TEST_DEMO_PACKAGE);
        ASSERT_FALSE(demo_.empty()) << "the demo package was not built";
    }

    void TearDown() override
    {
        installer_.Kill();
        flow::KillProcessesNamed(flow::kPackageName);
        TestServer::Reset();
    }

    // The query answers with the package URL; the package is the demo
    // package, sent in pieces of `chunk` bytes every `delay` seconds.
    void ServeDemo(int chunk = 32768, double delay = 0.02)
    {
        ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
        ASSERT_TRUE(TestServer::SetCase(kPackagePath, DemoCase(chunk, delay)));
    }

    // `extra`: more keys of the server's case, each with its leading comma.
    std::string DemoCase(int chunk, double delay, const std::string& extra = "") const
    {
        return PackageCase(demo_, chunk, delay, extra);
    }

    static std::string PackageCase(const std::string& package, int chunk = 32768, double delay = 0.02,
                                   const std::string& extra = "")
    {
        return R"({"body_b64": ")" + Base64(package) + R"(", "chunk_size": )" + std::to_string(chunk) +
               R"(, "chunk_delay": )" + std::to_string(delay) + extra + "}";
    }

    static std::string PackageUrl() { return std::string("http://update.corvane.example") + kPackagePath; }

    // Throws on failure: a failed assertion would only leave this helper, and
    // the test would go on with a dialog that is not there. GoogleTest
    // reports the exception as the test's failure.
    void Start(const wchar_t* exe = TEST_INSTALLER_EXE)
    {
        std::string error;
        if (!installer_.Start(exe, &error))
            throw std::runtime_error("the installer did not start: " + error);
        dlg_.reset(new Dialog(installer_.Id()));
        if (!dlg_->WaitFound(kLookMs))
            throw std::runtime_error("the installer showed no dialog");
    }

    void ExpectLook(Look look, DWORD ms = kLookMs)
    {
        std::string message;
        EXPECT_TRUE(dlg_->WaitLook(look, ms, &message)) << message;
    }

    // Waits for the process to end; fails if the cancel question showed meanwhile.
    void ExpectEndsWithoutQuestion(DWORD ms = kAtOnceMs)
    {
        bool asked = false;
        bool ended = flow::WaitUntil([&] {
            asked = asked || dlg_->Question() != nullptr;
            return !installer_.Running();
        }, ms);
        EXPECT_TRUE(ended) << "the installer still runs: " << flow::Describe(dlg_->Read());
        EXPECT_FALSE(asked) << "the cancel question was asked";
    }

    void OpenQuestion()
    {
        dlg_->PressEscape();
        ASSERT_TRUE(flow::WaitUntil([&] { return dlg_->Question() != nullptr; }, kLookMs))
            << "no cancel question: " << flow::Describe(dlg_->Read());
        EXPECT_EQ(flow::Narrow(dlg_->QuestionText()), flow::Narrow(flow::kCancelPrompt));
    }

    void Answer(int button)
    {
        ASSERT_TRUE(dlg_->Answer(button));
        ASSERT_TRUE(flow::WaitUntil([&] { return dlg_->Question() == nullptr; }, kAtOnceMs));
    }

    void WaitDownloading(int atLeast)
    {
        ExpectLook(Look::Downloading);
        EXPECT_TRUE(flow::WaitUntil([&] { return dlg_->ProgressPos() >= atLeast; }, kLookMs))
            << flow::Describe(dlg_->Read());
    }

    void ExpectFailedLook()
    {
        ExpectLook(Look::Failed);
        EXPECT_EQ(flow::Narrow(dlg_->Text(flow::kIdDetail)), flow::Narrow(flow::kFirewallHint));
    }

    // The mark the demo package leaves when the shell has opened it.
    std::string WaitMark(DWORD ms = kLookMs)
    {
        std::string mark;
        flow::WaitUntil([&] {
            mark = ReadFile(mark_);
            return mark.find("installer_window=") != std::string::npos;
        }, ms);
        return mark;
    }

    // The package opened is the one served (by default the demo package,
    // signed by the installer's own publisher).
    void ExpectLaunched(const std::string* served = nullptr)
    {
        std::string mark = WaitMark();
        ASSERT_FALSE(mark.empty()) << "the package was not opened";
        std::string exe = flow::Narrow(package_);
        EXPECT_NE(mark.find("exe=" + exe), std::string::npos) << mark << "expected exe=" << exe;
        EXPECT_EQ(mark.find("installer_window=visible"), std::string::npos)
            << "the installer's window was still shown when the package started: " << mark;
        EXPECT_TRUE(installer_.WaitExit(kLookMs)) << "the dialog did not end after the launch";
        EXPECT_TRUE(ReadFile(package_) == (served ? *served : demo_)) << "the package file is not what the server sent";
    }

    Process installer_;
    std::unique_ptr<Dialog> dlg_;
    std::wstring root_, setup_, package_, mark_;
    std::string demo_;
};

TEST_F(InstallerFlow, OnlineStartDownloadsOpensThePackageAndEnds)
{
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, R"({"delay": 1.0, "body": "{\"resultCode\":0,\"url\":\")" +
                                                    PackageUrl() + R"(\"}\n"})"));
    ASSERT_TRUE(TestServer::SetCase(kPackagePath, DemoCase(8192, 0.03)));
    Start();

    ExpectLook(Look::Connecting);
    flow::Snapshot s = dlg_->Read();
    EXPECT_EQ(flow::Narrow(s.title), flow::Narrow(flow::kTitle));
    EXPECT_TRUE(s.marquee) << "the Connecting look runs no marquee";

    ExpectLook(Look::Downloading);
    EXPECT_FALSE(dlg_->Marquee());
    // The position only rises, through many values, up to the end. The
    // window may end between two looks, so 100 itself need not be seen.
    int last = 0, falls = 0, values = 0;
    while (installer_.Running()) {
        flow::Snapshot now = dlg_->Read();
        if (!now.dialog)
            break;
        if (now.progress >= 0 && now.progress != last) {
            falls += now.progress < last;
            last = now.progress;
            ++values;
        }
        if (!now.dialogVisible) {
            EXPECT_EQ(now.progress, 100) << "the window was hidden before the bar was full";
            break;
        }
        Sleep(5);
    }
    EXPECT_EQ(falls, 0);
    EXPECT_GE(values, 5) << "the bar did not rise step by step";
    EXPECT_GE(last, 90);

    ExpectLaunched();
    std::vector<TestServer::Request> reqs = TestServer::Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].method + " " + reqs[0].path, std::string("POST ") + kQueryPath);
    EXPECT_EQ(reqs[1].method + " " + reqs[1].path, std::string("GET ") + kPackagePath);
}

// Offline at start, closed in each of the three ways: no question, no request.
TEST_F(InstallerFlow, OfflineAtStartAsksNothingAndEndsAtOnce)
{
    ServeDemo();
    struct Way { const char* name; void (*close)(Dialog&); };
    const Way ways[] = {
        {"Close button", [](Dialog& d) { d.Click(flow::kIdCancel); }},
        {"Esc", [](Dialog& d) { d.PressEscape(); }},
        {"close box", [](Dialog& d) { d.CloseBox(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ASSERT_TRUE(SetOnline(false)) << "the route could not be taken away";
        Start();
        ExpectLook(Look::Offline);
        EXPECT_FALSE(dlg_->Marquee());
        EXPECT_EQ(dlg_->ProgressPos(), 0);
        EXPECT_EQ(flow::Narrow(dlg_->Text(flow::kIdDetail)), flow::Narrow(flow::kFirewallHint));
        EXPECT_EQ(dlg_->Focus(), dlg_->Control(flow::kIdCancel)) << "Close is not focused";
        Sleep(500);
        way.close(*dlg_);
        ExpectEndsWithoutQuestion();
        EXPECT_TRUE(TestServer::Requests().empty()) << "an offline installer reached the server";
        TestServer::Reset();
    }
}

// Each kind of failure shows the Failed look and starts no download after a failed query.
TEST_F(InstallerFlow, FailedQueryOrDownloadShowsTheFailedLook)
{
    struct Case { const char* name; std::string query; std::string package; int gets; };
    const std::string goodQuery = Query(PackageUrl());
    const Case cases[] = {
        {"query result code 1", R"({"body": "{\"resultCode\":1}\n"})", "", 0},
        {"query url empty", R"({"body": "{\"resultCode\":0,\"url\":\"\"}\n"})", "", 0},
        {"query status 500", R"({"status": 500, "body": "{\"resultCode\":0}\n"})", "", 0},
        {"download status 404", goodQuery, R"({"status": 404, "body": "gone"})", 1},
        {"download broken off", goodQuery, R"({"body_size": 50000, "truncate": 20000})", 1},
        {"download empty", goodQuery, R"({"body": ""})", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(TestServer::Reset());
        ASSERT_TRUE(TestServer::SetCase(kQueryPath, c.query));
        if (!c.package.empty()) {
            ASSERT_TRUE(TestServer::SetCase(kPackagePath, c.package));
        }
        Start();
        ExpectFailedLook();
        EXPECT_EQ(CountRequests(kQueryPath), 1);
        EXPECT_EQ(CountRequests(kPackagePath), c.gets);
        EXPECT_FALSE(FileExists(mark_));
        installer_.Kill();
    }
}

TEST_F(InstallerFlow, RetryQueriesAgainAndDownloadsIntoTheSameFile)
{
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
    ASSERT_TRUE(TestServer::SetSequence(kPackagePath, R"([{"body_size": 60000, "truncate": 30000}, )" +
                                                          DemoCase(32768, 0.02) + "]"));
    Start();
    ExpectFailedLook();
    EXPECT_EQ(ReadFile(package_).size(), 30000u) << "the broken-off download left no partial file";

    ASSERT_TRUE(dlg_->Click(flow::kIdRetry));
    ExpectLaunched();
    EXPECT_EQ(CountRequests(kQueryPath), 2) << "Retry did not ask the service again";
    EXPECT_EQ(CountRequests(kPackagePath), 2);
}

TEST_F(InstallerFlow, RetryWhileOfflineShowsTheOfflineLook)
{
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, R"({"body": "{\"resultCode\":1}\n"})"));
    Start();
    ExpectFailedLook();
    ASSERT_TRUE(SetOnline(false)) << "the route could not be taken away";
    ASSERT_TRUE(dlg_->Click(flow::kIdRetry));
    ExpectLook(Look::Offline);
    Sleep(500);
    EXPECT_EQ(CountRequests(kQueryPath), 1) << "Retry while offline asked the service";
    dlg_->Click(flow::kIdCancel);
    ExpectEndsWithoutQuestion();
}

TEST_F(InstallerFlow, CancelDeclinedPausesTheDownloadThenGoesOn)
{
    ServeDemo(4096, 0.05);
    Start();
    WaitDownloading(5);
    OpenQuestion();
    // The question holds the download: the bar stands still while it is open.
    Sleep(300);
    int held = dlg_->ProgressPos();
    Sleep(1500);
    EXPECT_EQ(dlg_->ProgressPos(), held) << "the download went on while the question was open";
    EXPECT_EQ(flow::Narrow(dlg_->Text(flow::kIdStatus)), flow::Narrow(flow::kDownloading));

    Answer(IDNO);
    ExpectLook(Look::Downloading);
    EXPECT_TRUE(flow::WaitUntil([&] { return dlg_->ProgressPos() > held; }, kLookMs)) << "the download did not go on";
    ExpectLaunched();
}

TEST_F(InstallerFlow, CancelConfirmedStopsTheDownloadAndKeepsThePartialFile)
{
    ServeDemo(4096, 0.05);
    Start();
    WaitDownloading(5);
    OpenQuestion();
    Answer(IDYES);
    EXPECT_TRUE(installer_.WaitExit(kAtOnceMs)) << "the dialog did not end: " << flow::Describe(dlg_->Read());
    size_t partial = ReadFile(package_).size();
    EXPECT_GT(partial, 0u);
    EXPECT_LT(partial, demo_.size()) << "the download was not stopped";
    Sleep(1000);
    EXPECT_FALSE(FileExists(mark_)) << "a cancelled package was opened";
    EXPECT_EQ(CountRequests(kPackagePath), 1);
}

// A server that stops sending never holds the user: Yes to the cancel
// question ends the dialog within a second, whether the stall comes before
// the reply's headers or within its body.
TEST_F(InstallerFlow, CancelConfirmedDuringAStallEndsWithinASecond)
{
    struct Case { const char* name; std::string package; Look look; };
    const Case cases[] = {
        {"before the headers", R"({"delay": 120, "body_size": 50000})", Look::Connecting},
        {"within the body", DemoCase(4096, 0.01, R"(, "stall_after": 20000, "stall": 120)"), Look::Downloading},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(TestServer::Reset());
        ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
        ASSERT_TRUE(TestServer::SetCase(kPackagePath, c.package));
        Start();
        ASSERT_TRUE(flow::WaitUntil([&] { return CountRequests(kPackagePath) == 1; }, kLookMs));
        ExpectLook(c.look);
        Sleep(1500);  // well into the stall
        OpenQuestion();
        Answer(IDYES);
        EXPECT_TRUE(flow::WaitUntil([&] { return !dlg_->Exists(); }, 1000))
            << "the dialog did not end within a second: " << flow::Describe(dlg_->Read());
        EXPECT_TRUE(installer_.WaitExit(kAtOnceMs)) << "the installer still runs";
        EXPECT_FALSE(FileExists(mark_));
        installer_.Kill();
    }
}

// A download's success that is already queued when the user answers Yes
// opens nothing: while the question is open the window stays as it is, and
// Yes ends it. The test posts the message the success sends.
TEST_F(InstallerFlow, SuccessQueuedBeforeYesOpensNothing)
{
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
    ASSERT_TRUE(TestServer::SetCase(kPackagePath, DemoCase(4096, 0.01, R"(, "stall_after": 20000, "stall": 120)")));
    Start();
    WaitDownloading(1);
    OpenQuestion();
    const UINT kDownloadDone = WM_USER + 2;
    ASSERT_TRUE(PostMessageW(dlg_->Hwnd(), kDownloadDone, 0, 0));
    Sleep(1000);
    flow::Snapshot s = dlg_->Read();
    EXPECT_TRUE(s.dialogVisible) << "the window was hidden to open the package while the question was open";
    EXPECT_TRUE(s.question) << "the question went away";
    Answer(IDYES);
    EXPECT_TRUE(flow::WaitUntil([&] { return !dlg_->Exists(); }, 1000)) << flow::Describe(dlg_->Read());
    EXPECT_TRUE(installer_.WaitExit(kAtOnceMs));
    EXPECT_FALSE(FileExists(mark_));
}

// The shipped time-out, at its real length: a download that gets nothing for
// 50 seconds, before the reply's headers or within its body, shows the Failed
// look within 55, and Retry installs into the same file. (Slow; CTest runs it
// as a test of its own, labelled "slow".)
class StallTimeout : public InstallerFlow {};

TEST_F(StallTimeout, FailsWithinFiftyFiveSecondsThenRetryInstalls)
{
    struct Case { const char* name; std::string stalling; int stallPos; };
    const size_t stallAt = demo_.size() / 4;
    const Case cases[] = {
        {"before the headers", R"({"delay": 120, "body_size": 50000})", -1},
        {"within the body", DemoCase(4096, 0.01, R"(, "stall_after": )" + std::to_string(stallAt) + R"(, "stall": 120)"),
         static_cast<int>((stallAt - 1024) * 100 / demo_.size())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(TestServer::Reset());
        flow::KillProcessesNamed(flow::kPackageName);
        RemoveTree(root_);
        ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
        ASSERT_TRUE(TestServer::SetSequence(kPackagePath, "[" + c.stalling + ", " + DemoCase(32768, 0.02) + "]"));
        Start();
        if (c.stallPos < 0) {
            ASSERT_TRUE(flow::WaitUntil([&] { return CountRequests(kPackagePath) == 1; }, kLookMs));
        } else {
            WaitDownloading(c.stallPos);
        }
        const DWORD stalled = GetTickCount();
        ExpectLook(Look::Failed, 60000);
        const DWORD took = GetTickCount() - stalled;
        EXPECT_GE(took, 45000u);
        EXPECT_LE(took, 55000u);

        ASSERT_TRUE(dlg_->Click(flow::kIdRetry));
        ExpectLaunched();
        EXPECT_EQ(CountRequests(kPackagePath), 2);
    }
}

// With no download running (only the query, or after a failure) a Yes ends at once.
TEST_F(InstallerFlow, CancelWithoutDownloadEndsAtOnce)
{
    // While the query waits for its slow reply.
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, R"({"delay": 8, "body": "{\"resultCode\":1}\n"})"));
    Start();
    ExpectLook(Look::Connecting);
    OpenQuestion();
    Answer(IDYES);
    EXPECT_TRUE(installer_.WaitExit(kAtOnceMs)) << "Yes during the query did not end the dialog";

    // In the Failed look: No keeps it, Yes ends.
    ASSERT_TRUE(TestServer::Reset());
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, R"({"body": "{\"resultCode\":1}\n"})"));
    Start();
    ExpectFailedLook();
    OpenQuestion();
    Answer(IDNO);
    ExpectLook(Look::Failed, 1000);
    dlg_->CloseBox();
    ASSERT_TRUE(flow::WaitUntil([&] { return dlg_->Question() != nullptr; }, kLookMs));
    Answer(IDYES);
    EXPECT_TRUE(installer_.WaitExit(kAtOnceMs)) << "Yes in the Failed look did not end the dialog";
}

TEST_F(InstallerFlow, ConnectionLostWhileAskingThenYesLeavesTheDownloadHeld)
{
    ServeDemo(4096, 0.05);
    Start();
    WaitDownloading(5);
    OpenQuestion();
    ASSERT_TRUE(SetOnline(false)) << "the route could not be taken away";
    Answer(IDYES);
    // Nothing more happens: the dialog stays and the download stays paused.
    int held = dlg_->ProgressPos();
    Sleep(1500);
    EXPECT_TRUE(installer_.Running()) << "the dialog ended although the cancel could not be made";
    EXPECT_EQ(dlg_->ProgressPos(), held) << "the paused download went on";
    ExpectLook(Look::Downloading, 1000);
    // The next Close finds no connection and ends without asking.
    dlg_->PressEscape();
    ExpectEndsWithoutQuestion();
    EXPECT_FALSE(FileExists(mark_));
}

TEST_F(InstallerFlow, SecondStartEndsAtOnceWhileTheFirstCopyRuns)
{
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, R"({"delay": 8, "body": "{\"resultCode\":1}\n"})"));
    Start();
    ExpectLook(Look::Connecting);

    Process second;
    std::string error;
    ASSERT_TRUE(second.Start(TEST_INSTALLER_EXE, &error)) << error;
    EXPECT_TRUE(second.WaitExit(10000)) << "the second copy keeps running";
    EXPECT_TRUE(installer_.Running()) << "the first copy ended";
    EXPECT_EQ(CountRequests(kQueryPath), 1) << "the second copy asked the service";
}

TEST_F(InstallerFlow, SecondStartEndsAtOnceWhileTheOpenedPackageRuns)
{
    SetEnvironmentVariableW(CORVANE_DEMO_SECONDS_VAR, L"60");
    ServeDemo();
    Start();
    ExpectLaunched();
    ASSERT_FALSE(flow::ProcessesNamed(flow::kPackageName).empty()) << "the package does not run";

    TestServer::Reset();
    Process again;
    std::string error;
    ASSERT_TRUE(again.Start(TEST_INSTALLER_EXE, &error)) << error;
    EXPECT_TRUE(again.WaitExit(10000)) << "the new copy does not see the running package";
    EXPECT_TRUE(TestServer::Requests().empty());
}

// A signed installer opens only a package of its own publisher: anything else
// is deleted from the setup folder and the Failed look shows.
TEST_F(InstallerFlow, PackageOfAnyOtherPublisherIsRefusedAndRemoved)
{
    struct Case { const wchar_t* file; const char* what; };
    const Case cases[] = {
        {L"unsigned.exe", "no signature"},
        {L"other.exe", "another publisher under the same root"},
        {L"lookalike.exe", "self-signed look-alike with the publisher's exact name"},
        {L"changed.exe", "a byte changed after signing"},
        {L"appended.exe", "bytes appended after signing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string forged = ReadFile(ForgedPackage(c.file));
        ASSERT_FALSE(forged.empty()) << "the forged package was not made";
        ASSERT_TRUE(TestServer::Reset());
        ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
        ASSERT_TRUE(TestServer::SetCase(kPackagePath, PackageCase(forged)));
        Start();
        ExpectFailedLook();
        EXPECT_EQ(CountRequests(kPackagePath), 1);
        EXPECT_FALSE(FileExists(package_)) << "the refused package stayed in the setup folder";
        Sleep(500);
        EXPECT_FALSE(FileExists(mark_)) << "the refused package was opened";
        EXPECT_EQ(TestServer::Requests().size(), 2u) << "the check reached the network";
        installer_.Kill();
    }
}

TEST_F(InstallerFlow, RetryAfterARefusedPackageOpensTheRightOne)
{
    std::string other = ReadFile(ForgedPackage(L"other.exe"));
    ASSERT_FALSE(other.empty()) << "the forged package was not made";
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
    ASSERT_TRUE(TestServer::SetSequence(kPackagePath, "[" + PackageCase(other) + ", " + DemoCase(32768, 0.02) + "]"));
    Start();
    ExpectFailedLook();
    EXPECT_FALSE(FileExists(package_));
    ASSERT_TRUE(dlg_->Click(flow::kIdRetry));
    ExpectLaunched();
    EXPECT_EQ(CountRequests(kPackagePath), 2);
}

// A developer's unsigned build checks nothing: it opens an unsigned package.
TEST_F(InstallerFlow, UnsignedInstallerOpensAnUnsignedPackage)
{
    std::string unsignedPackage = ReadFile(TEST_UNSIGNED_DEMO_PACKAGE);
    ASSERT_FALSE(unsignedPackage.empty()) << "the unsigned demo package was not kept";
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, Query(PackageUrl())));
    ASSERT_TRUE(TestServer::SetCase(kPackagePath, PackageCase(unsignedPackage)));
    Start(TEST_UNSIGNED_INSTALLER_EXE);
    ExpectLaunched(&unsignedPackage);
}

// While the default handler of https addresses is replaced by a recorder.
class HelpLink : public InstallerFlow {
protected:
    void SetUp() override
    {
        InstallerFlow::SetUp();
        record_ = AppData() + L"\\corvane-help-record.txt";
        DeleteFileW(record_.c_str());
        // Wine's shell opens URLs by HKEY_CLASSES_ROOT\https\shell\open\command
        // (HKCU\Software\Classes is not consulted), so that is the key to borrow.
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"https\\shell\\open\\command", 0, nullptr, 0,
                                  KEY_READ | KEY_WRITE, nullptr, &key_, nullptr), ERROR_SUCCESS);
        wchar_t old[1024] = {};
        DWORD size = sizeof old - sizeof(wchar_t), type = 0;
        hadOld_ = RegQueryValueExW(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
        old_ = old;
        std::wstring cmd = L"\"" TEST_URL_RECORDER L"\" \"" + record_ + L"\" \"%1\"";
        SetDefault(cmd);
    }

    void TearDown() override
    {
        if (key_) {
            if (hadOld_)
                SetDefault(old_);
            else
                RegDeleteValueW(key_, nullptr);
            RegCloseKey(key_);
        }
        DeleteFileW(record_.c_str());
        InstallerFlow::TearDown();
    }

    void SetDefault(const std::wstring& value)
    {
        RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    HKEY key_ = nullptr;
    bool hadOld_ = false;
    std::wstring old_, record_;
};

TEST_F(HelpLink, OpensTheHelpAddress)
{
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, R"({"body": "{\"resultCode\":1}\n"})"));
    Start();
    ExpectFailedLook();
    std::string message;
    ASSERT_TRUE(dlg_->ClickHelpLink(&message)) << message;
    std::string record;
    EXPECT_TRUE(flow::WaitUntil([&] {
        record = ReadFile(record_);
        return !record.empty();
    }, kLookMs)) << "the help link opened nothing";
    EXPECT_EQ(record, flow::Narrow(CORVANE_HELP_URL) + "\n");
    ExpectLook(Look::Failed, 1000);
}

// The Enter key gives the default command IDOK: the dialog ends at once, in
// any look, without the question, also while a download runs.
TEST_F(InstallerFlow, EnterEndsTheDialogAtOnce)
{
    struct Case { const char* name; Look look; };
    const Case cases[] = {{"connecting", Look::Connecting}, {"downloading", Look::Downloading}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(TestServer::Reset());
        if (c.look == Look::Connecting) {
            ASSERT_TRUE(TestServer::SetCase(kQueryPath, R"({"delay": 8, "body": "{\"resultCode\":1}\n"})"));
        } else {
            ServeDemo(4096, 0.05);
        }
        Start();
        ExpectLook(c.look);
        dlg_->PressEnter();
        ExpectEndsWithoutQuestion();
        EXPECT_FALSE(FileExists(mark_));
    }
}

}  // namespace

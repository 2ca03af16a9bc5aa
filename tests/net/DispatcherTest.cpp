// The dispatcher's rules: ids, the current download, forgetting, a thread
// that does not start, and workers that outlive their manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "afx/Thread.h"
#include "net/NetManager.h"
#include "tests/common/TestServer.h"
#include "tests/net/TestCallbacks.h"

namespace {

const char kQueryPath[] = "/api/1/update/pcoffice/packageurl";
const char kSlow[] = "{\"body_size\": 400000, \"chunk_size\": 16384, \"chunk_delay\": 0.05}";

std::wstring Url(const char* path) {
    std::string p(path);
    return L"http://update.corvane.example" + std::wstring(p.begin(), p.end());
}

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TestServer::Reset()) << "test server not reachable";
        dir = ScratchDir(L"corvane-net-dispatcher");
    }
    void TearDown() override { afxBeginThreadFilter = nullptr; }
    std::wstring Target(const wchar_t* name) { return dir + L"\\" + name; }

    Recorder recorder;
    std::wstring dir;
};

TEST_F(DispatcherTest, IdsOfLiveTasksAreDistinctAndNonzero) {
    TestServer::SetCase(kQueryPath, "{\"delay\": 0.5, \"body\": \"{}\\n\"}");
    CKoNetManager manager(&recorder);
    std::vector<UINT> ids;
    for (int i = 0; i < 8; ++i) ids.push_back(manager.StartPackageUrlQuery());  // within a few ms
    for (UINT id : ids) EXPECT_NE(id, 0u);
    std::vector<UINT> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (UINT id : ids) EXPECT_TRUE(recorder.WaitResult(id, nullptr));
}

TEST_F(DispatcherTest, CancelFindsNoDownloadWhileOnlyTheQueryRuns) {
    TestServer::SetCase(kQueryPath, "{\"delay\": 0.5, \"body\": \"{\\\"resultCode\\\":0,\\\"url\\\":\\\"http://h/a\\\"}\\n\"}");
    CKoNetManager manager(&recorder);
    UINT id = manager.StartPackageUrlQuery();
    EXPECT_EQ(manager.CancelDownload(), 0);
    manager.PauseDownload(1);
    RecordedResult r = {};
    ASSERT_TRUE(recorder.WaitResult(id, &r));
    EXPECT_EQ(r.text, L"http://h/a");
}

TEST_F(DispatcherTest, SecondDownloadBecomesTheCurrentOne) {
    TestServer::SetCase("/pkg/first.exe", kSlow);
    TestServer::SetCase("/pkg/second.exe", kSlow);
    CKoNetManager manager(&recorder);
    std::wstring first = Target(L"first.exe"), second = Target(L"second.exe");
    UINT a = manager.StartDownload(Url("/pkg/first.exe").c_str(), first.c_str());
    UINT b = manager.StartDownload(Url("/pkg/second.exe").c_str(), second.c_str());
    ASSERT_TRUE(recorder.WaitProgress(a, 3));
    ASSERT_TRUE(recorder.WaitProgress(b, 3));
    EXPECT_EQ(manager.CancelDownload(), 1);
    RecordedResult ra = {}, rb = {};
    ASSERT_TRUE(recorder.WaitResult(b, &rb));
    EXPECT_TRUE(rb.dataNull);
    // The first one can no longer be steered and runs to its end.
    manager.PauseDownload(1);
    ASSERT_TRUE(recorder.WaitResult(a, &ra));
    EXPECT_FALSE(ra.dataNull);
    EXPECT_EQ(ra.text, first);
}

TEST_F(DispatcherTest, ForgottenTasksStillFinishButCannotBeSteered) {
    TestServer::SetCase("/pkg/f.exe", kSlow);
    CKoNetManager manager(&recorder);
    std::wstring target = Target(L"forgotten.exe");
    UINT id = manager.StartDownload(Url("/pkg/f.exe").c_str(), target.c_str());
    ASSERT_TRUE(recorder.WaitProgress(id, 3));
    manager.ForgetAllTasks();
    manager.PauseDownload(1);
    EXPECT_EQ(manager.CancelDownload(), 0);
    RecordedResult r = {};
    ASSERT_TRUE(recorder.WaitResult(id, &r));
    EXPECT_FALSE(r.dataNull);
    // A new task after the forgotten one finished is found again.
    UINT next = manager.StartDownload(Url("/pkg/f.exe").c_str(), target.c_str());
    ASSERT_TRUE(recorder.WaitProgress(next, 1));
    EXPECT_EQ(manager.CancelDownload(), 1);
    ASSERT_TRUE(recorder.WaitResult(next, nullptr));
}

BOOL RefuseThread(AFX_THREADPROC, LPVOID) { return FALSE; }

TEST_F(DispatcherTest, FailedThreadStartLeavesNothing) {
    TestServer::SetCase("/pkg/f.exe", kSlow);
    CKoNetManager manager(&recorder);
    std::wstring target = Target(L"never.exe");
    DeleteFileW(target.c_str());
    afxBeginThreadFilter = RefuseThread;
    EXPECT_EQ(manager.StartPackageUrlQuery(), 0u);
    EXPECT_EQ(manager.StartDownload(Url("/pkg/f.exe").c_str(), target.c_str()), 0u);
    afxBeginThreadFilter = nullptr;
    EXPECT_EQ(manager.CancelDownload(), 0);
    Sleep(500);
    EXPECT_TRUE(recorder.Results().empty());
    EXPECT_TRUE(TestServer::Requests().empty());
    EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
    // The manager works on afterwards.
    UINT id = manager.StartDownload(Url("/pkg/f.exe").c_str(), target.c_str());
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(recorder.WaitProgress(id, 1));
    EXPECT_EQ(manager.CancelDownload(), 1);
    ASSERT_TRUE(recorder.WaitResult(id, nullptr));
}

TEST_F(DispatcherTest, WorkerThatOutlivesItsManagerReportsToNobody) {
    TestServer::SetCase(kQueryPath, "{\"delay\": 1, \"body\": \"{\\\"resultCode\\\":0,\\\"url\\\":\\\"http://h/a\\\"}\\n\"}");
    TestServer::SetCase("/pkg/f.exe", kSlow);
    std::wstring target = Target(L"late.exe");
    Recorder later;
    UINT query, download;
    {
        CKoNetManager manager(&recorder);
        query = manager.StartPackageUrlQuery();
        download = manager.StartDownload(Url("/pkg/f.exe").c_str(), target.c_str());
        ASSERT_TRUE(recorder.WaitProgress(download, 3));
    }
    size_t progressAtEnd = recorder.Progress(download).size();
    // A new manager (another window) must not receive the old tasks' reports.
    CKoNetManager next(&later);
    EXPECT_EQ(next.CancelDownload(), 0);
    // Both old workers finish meanwhile: the query after its delay, the
    // download after its 400 KB (about 1.3 s); wait for the server to see both.
    Sleep(3000);
    EXPECT_EQ(recorder.ResultCount(query), 0u);
    EXPECT_EQ(recorder.ResultCount(download), 0u);
    EXPECT_EQ(recorder.Progress(download).size(), progressAtEnd);
    EXPECT_TRUE(later.Results().empty());
    EXPECT_EQ(TestServer::Requests().size(), 2u);
    // The old download really ended (the file is free again).
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// Progress reports that wait in SendMessage for the window's thread while
// that thread destroys the manager: the destructor must serve them, not
// deadlock against them.
void SendToWindow(Recorder* recorder, UINT, int, int) { SendMessageW(recorder->hookWindow, WM_NULL, 0, 0); }

TEST_F(DispatcherTest, DestructorServesWorkersThatSendToTheWindow) {
    // Paced so that no download can end, and report to a live manager, before
    // the manager is deleted.
    TestServer::SetCase("/pkg/fast.exe", "{\"body_size\": 3000000, \"chunk_size\": 65536, \"chunk_delay\": 0.05}");
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    recorder.hookWindow = window;
    recorder.onProgressHook = SendToWindow;
    std::vector<std::wstring> targets;
    MSG msg;
    for (int round = 0; round < 5; ++round) {
        targets.push_back(Target((L"sending" + std::to_wstring(round) + L".exe").c_str()));
        CKoNetManager* manager = new CKoNetManager(&recorder);
        UINT id = manager->StartDownload(Url("/pkg/fast.exe").c_str(), targets.back().c_str());
        // Let some reports through, serving them as a window's thread does.
        DWORD until = GetTickCount() + 300;
        while (GetTickCount() < until) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(1);
        }
        EXPECT_FALSE(recorder.Progress(id).empty());
        DWORD before = GetTickCount();
        delete manager;
        EXPECT_LT(GetTickCount() - before, 2000u);
    }
    // The orphaned workers go on without the window until their files are done.
    DWORD until = GetTickCount() + 60000;
    size_t free = 0;
    while (free < targets.size() && GetTickCount() < until) {
        free = 0;
        for (const std::wstring& t : targets) {
            HANDLE h = CreateFileW(t.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                CloseHandle(h);
                ++free;
            }
        }
        Sleep(50);
    }
    EXPECT_EQ(free, targets.size());
    EXPECT_TRUE(recorder.Results().empty());
    recorder.onProgressHook = nullptr;
    DestroyWindow(window);
}

}  // namespace

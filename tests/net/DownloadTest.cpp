// The package download against the test server, through the dispatcher.
#include <gtest/gtest.h>

#include <string>

#include "net/NetManager.h"
#include "tests/common/TestServer.h"
#include "tests/net/TestCallbacks.h"

namespace {

const std::wstring kBase = L"http://update.corvane.example";

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TestServer::Reset()) << "test server not reachable";
        dir = ScratchDir(L"corvane-net-download");
        target = dir + L"\\CorvaneOfficeInstaller_CN.exe";
        DeleteFileW(target.c_str());
    }

    // A test that shortened the stall time-out gives it back even when it fails half-way.
    void TearDown() override { SetDownloadStallTimeoutForTests(kDownloadStallTimeoutMs); }

    UINT Start(const std::string& path, const std::string& serverCase) {
        EXPECT_TRUE(TestServer::SetCase(path.substr(0, path.find('?')), serverCase));
        UINT id = manager.StartDownload((kBase + std::wstring(path.begin(), path.end())).c_str(), target.c_str());
        EXPECT_NE(id, 0u);
        return id;
    }

    RecordedResult Finish(UINT id) {
        RecordedResult r = {};
        EXPECT_TRUE(recorder.WaitResult(id, &r)) << "no report";
        Sleep(100);
        EXPECT_EQ(recorder.ResultCount(id), 1u);
        return r;
    }

    std::string Target() {
        std::string data;
        return ReadWholeFile(target, &data) ? data : std::string("<missing>");
    }

    Recorder recorder;
    CKoNetManager manager{&recorder};
    std::wstring dir, target;
};

TEST_F(DownloadTest, WholePackage) {
    const int size = 300000;
    ASSERT_TRUE(WriteWholeFile(target, "an older package"));
    UINT id = Start("/pkg/whole.exe?v=7", "{\"body_size\": 300000, \"chunk_size\": 65536}");
    RecordedResult r = Finish(id);
    EXPECT_EQ(r.kind, Download);
    EXPECT_EQ(r.httpStatus, 200);
    EXPECT_EQ(r.resultCode, -1);
    ASSERT_FALSE(r.dataNull);
    EXPECT_EQ(r.text, target);
    EXPECT_TRUE(Target() == TestServer::GeneratedBody(size)) << "file differs from the served bytes";

    std::vector<RecordedProgress> progress = recorder.Progress(id);
    ASSERT_GE(progress.size(), static_cast<size_t>(size / 1024 + 1));
    int last = 0;
    for (const RecordedProgress& p : progress) {
        EXPECT_EQ(p.total, size);
        EXPECT_GE(p.done, last);
        EXPECT_LE(p.done - last, 1024);
        last = p.done;
    }
    // The read that finds the end reports the final total once more.
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[progress.size() - 1].done, size);
    EXPECT_EQ(progress[progress.size() - 2].done, size);

    // The very bytes that InternetOpenUrlW sends for this URL.
    std::vector<TestServer::Request> requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "GET /pkg/whole.exe?v=7 HTTP/1.1\r\nAccept: */*\r\nHost: update.corvane.example\r\n"
              "User-Agent: HTTP Download\r\n\r\n");
}

TEST_F(DownloadTest, RedirectFollowed) {
    TestServer::SetCase("/pkg/real.exe", "{\"body_size\": 5000}");
    UINT id = Start("/pkg/moved.exe", "{\"redirect\": \"http://update.corvane.example/pkg/real.exe\"}");
    RecordedResult r = Finish(id);
    EXPECT_EQ(r.httpStatus, 200);
    EXPECT_FALSE(r.dataNull);
    EXPECT_TRUE(Target() == TestServer::GeneratedBody(5000));
    std::vector<TestServer::Request> requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].path, "/pkg/real.exe");
}

// Replies that must not count as a package, and what they leave at the path.
TEST_F(DownloadTest, FailedReplies) {
    struct Case {
        const char* name;
        const char* serverCase;
        int httpStatus;
        const char* fileAfter;  // null: the partial body of `partial` bytes
        int partial;
    };
    const Case cases[] = {
        {"status 404", "{\"status\": 404, \"body\": \"gone\"}", 404, "older", 0},
        {"status 500", "{\"status\": 500, \"body\": \"\"}", 500, "older", 0},
        {"body breaks off", "{\"body_size\": 300000, \"truncate\": 100000}", 200, nullptr, 100000},
        {"no Content-Length", "{\"body_size\": 3000, \"content_length\": null}", 200, "older", 0},
        {"chunked, no Content-Length", "{\"body_size\": 3000, \"chunked\": true}", 200, "older", 0},
        {"Content-Length not a number", "{\"body_size\": 3000, \"content_length\": \"many\"}", 200, "older", 0},
        {"Content-Length beyond 32 bits", "{\"body_size\": 3000, \"content_length\": 4294967296000}", 200, "older", 0},
        {"Content-Length 2147483648", "{\"body_size\": 3000, \"content_length\": 2147483648}", 200, "older", 0},
        // The largest length is taken: the file is written until the body ends short.
        {"Content-Length 2147483647", "{\"body_size\": 3000, \"content_length\": 2147483647}", 200, nullptr, 3000},
        {"empty package", "{\"body\": \"\"}", 200, "older", 0},
        {"chunked, empty, with Content-Length 0", "{\"body\": \"\", \"chunked\": true, \"content_length\": 0}", 200,
         "older", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteWholeFile(target, "older"));
        RecordedResult r = Finish(Start("/pkg/bad.exe", c.serverCase));
        EXPECT_EQ(r.httpStatus, c.httpStatus);
        EXPECT_TRUE(r.dataNull);
        std::string expected = c.fileAfter ? std::string(c.fileAfter) : TestServer::GeneratedBody(c.partial);
        EXPECT_TRUE(Target() == expected) << "file holds " << Target().size() << " bytes";
    }
}

// A body that goes on past its announced length never makes the file longer
// than that, and is not drained: a plain reply ends where its length says, a
// chunked one that also names a length fails at that length.
TEST_F(DownloadTest, BodyPastItsLength) {
    struct Case {
        const char* name;
        bool chunked;
        bool whole;
    };
    const Case cases[] = {{"plain", false, true}, {"chunked", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string serverCase = std::string("{\"body_size\": 241000, \"content_length\": 241000, \"endless\": true, ") +
                                 "\"chunk_size\": 65536, \"chunked\": " +
                                 (c.chunked ? "true" : "false") + "}";
        DWORD start = GetTickCount();
        RecordedResult r = Finish(Start("/pkg/long.exe", serverCase));
        EXPECT_LT(GetTickCount() - start, 5000u) << "the download drained the body";
        EXPECT_EQ(r.dataNull, !c.whole);
        EXPECT_TRUE(Target() == TestServer::GeneratedBody(241000)) << "file holds " << Target().size() << " bytes";
        for (const RecordedProgress& p : recorder.Progress(r.taskId)) EXPECT_LE(p.done, 241000);
    }
}

// A server that stops sending, before its headers or within the body, fails
// the download once the stall time-out passes; the file is free afterwards,
// and a new download into it succeeds.
TEST_F(DownloadTest, StalledServerFailsAfterTheTimeout) {
    struct Case {
        const char* name;
        const char* serverCase;
        int httpStatus;
        size_t stallAt;  // bytes before the stall; a read that waits for more may hold back up to 1024 of them
    };
    const Case cases[] = {
        {"before the headers", "{\"delay\": 60, \"body_size\": 3000}", 0, 0},
        {"within the body", "{\"body_size\": 300000, \"stall_after\": 100000, \"stall\": 60}", 200, 100000},
    };
    const DWORD timeoutMs = 2000;
    SetDownloadStallTimeoutForTests(timeoutMs);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteWholeFile(target, "older"));
        DWORD start = GetTickCount();
        RecordedResult r = Finish(Start("/pkg/stall.exe", c.serverCase));
        DWORD took = GetTickCount() - start;
        EXPECT_GE(took, timeoutMs - 200);
        EXPECT_LT(took, timeoutMs + 3000);
        EXPECT_EQ(r.httpStatus, c.httpStatus);
        EXPECT_TRUE(r.dataNull);
        std::string partial = Target();
        if (c.stallAt == 0) {
            EXPECT_EQ(partial, "older");
        } else {
            EXPECT_LE(partial.size(), c.stallAt);
            EXPECT_GT(partial.size() + 1024, c.stallAt);
            EXPECT_TRUE(partial == TestServer::GeneratedBody(partial.size()));
        }

        RecordedResult again = Finish(Start("/pkg/again.exe", "{\"body_size\": 5000}"));
        EXPECT_FALSE(again.dataNull);
        EXPECT_TRUE(Target() == TestServer::GeneratedBody(5000));
    }
}

TEST_F(DownloadTest, NothingToConnectTo) {
    ASSERT_TRUE(WriteWholeFile(target, "older"));
    ASSERT_TRUE(TestServer::Refuse(3));
    Sleep(300);
    UINT id = manager.StartDownload((kBase + L"/pkg/x.exe").c_str(), target.c_str());
    RecordedResult r = Finish(id);
    EXPECT_EQ(r.httpStatus, 0);
    EXPECT_TRUE(r.dataNull);
    EXPECT_EQ(Target(), "older");
    for (int i = 0; i < 100 && !TestServer::Reset(); ++i) Sleep(100);
}

TEST_F(DownloadTest, TargetIsADirectory) {
    CreateDirectoryW(target.c_str(), nullptr);
    RecordedResult r = Finish(Start("/pkg/dir.exe", "{\"body_size\": 3000}"));
    RemoveDirectoryW(target.c_str());
    EXPECT_EQ(r.httpStatus, 200);
    EXPECT_TRUE(r.dataNull);
    EXPECT_TRUE(recorder.Progress(r.taskId).empty());
}

// 16 KiB every 50 ms: slow enough to steer while data flows.
const char kSlow[] = "{\"body_size\": 800000, \"chunk_size\": 16384, \"chunk_delay\": 0.05}";

TEST_F(DownloadTest, PauseStopsReadingAndReporting) {
    UINT id = Start("/pkg/slow.exe", kSlow);
    ASSERT_TRUE(recorder.WaitProgress(id, 5));
    manager.PauseDownload(1);
    Sleep(400);  // a read already under way may still report
    size_t paused = recorder.Progress(id).size();
    Sleep(1200);
    EXPECT_EQ(recorder.Progress(id).size(), paused) << "reported while paused";
    manager.PauseDownload(0);
    RecordedResult r = Finish(id);
    EXPECT_FALSE(r.dataNull);
    EXPECT_TRUE(Target() == TestServer::GeneratedBody(800000));
}

TEST_F(DownloadTest, CancelWhilePaused) {
    UINT id = Start("/pkg/slow.exe", kSlow);
    ASSERT_TRUE(recorder.WaitProgress(id, 5));
    manager.PauseDownload(1);
    Sleep(400);
    DWORD before = GetTickCount();
    EXPECT_EQ(manager.CancelDownload(), 1);
    RecordedResult r = Finish(id);
    EXPECT_LT(GetTickCount() - before, 2000u);
    EXPECT_EQ(r.httpStatus, 200);
    EXPECT_TRUE(r.dataNull);
    // Gone from the registry: nothing left to cancel.
    EXPECT_EQ(manager.CancelDownload(), 0);
}

TEST_F(DownloadTest, CancelWhileDataFlows) {
    UINT id = Start("/pkg/slow.exe", kSlow);
    ASSERT_TRUE(recorder.WaitProgress(id, 5));
    EXPECT_EQ(manager.CancelDownload(), 1);
    RecordedResult r = Finish(id);
    EXPECT_TRUE(r.dataNull);
    std::vector<RecordedProgress> progress = recorder.Progress(id);
    ASSERT_FALSE(progress.empty());
    EXPECT_LT(progress.back().done, 800000);
}

}  // namespace

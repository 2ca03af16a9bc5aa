// Memory that runs out anywhere in the package URL query: every allocation
// the query makes is failed in turn, and each run must still end in exactly
// one report, never in a terminated process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "net/NetManager.h"
#include "tests/common/TestServer.h"
#include "tests/net/TestCallbacks.h"

namespace {

// Allocations on `armedThread` count down; the one that reaches zero fails.
std::atomic<DWORD> armedThread{0};
std::atomic<long> allocationsLeft{0};
std::atomic<bool> failed{false};

void* Allocate(size_t size) {
    if (armedThread.load() == GetCurrentThreadId() && allocationsLeft.fetch_sub(1) == 1) {
        failed = true;
        throw std::bad_alloc();
    }
    void* p = malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

void Disarm() { armedThread = 0; }

// The report is the end of the query: the recorder's own allocations must not fail.
void DisarmThenRecord(void* owner, NetTaskResult* result) {
    Disarm();
    OnNetTaskResult(owner, result);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

namespace {

TEST(QueryMemory, EachFailedAllocationEndsInOneReport) {
    ASSERT_TRUE(TestServer::Reset()) << "test server not reachable";
    ASSERT_TRUE(TestServer::SetCase("/api/1/update/pcoffice/packageurl",
                                    "{\"body\": \"{\\\"resultCode\\\":0,\\\"url\\\":\\\"http://h/p.exe\\\"}\\n\"}"));
    Recorder recorder;
    CKoNetManager manager(&recorder);
    long point = 1;
    for (;; ++point) {
        // The query runs on this thread, as its worker would run it.
        CKoHttpAdapter adapter;
        adapter.owner = &recorder;
        adapter.taskId = static_cast<UINT>(point);
        adapter.onResult = DisarmThenRecord;
        adapter.managerSerial = manager.Serial();
        failed = false;
        allocationsLeft = point;
        armedThread = GetCurrentThreadId();
        adapter.QueryPackageUrl();
        Disarm();

        SCOPED_TRACE("allocation " + std::to_string(point));
        ASSERT_EQ(recorder.ResultCount(adapter.taskId), 1u);
        RecordedResult r = {};
        recorder.WaitResult(adapter.taskId, &r, 0);
        // Whatever failed, a URL that is reported is the one the service sent.
        if (!r.dataNull && !r.textNull) {
            EXPECT_EQ(r.text, L"http://h/p.exe");
        }
        if (!failed) break;
    }
    // The last run failed nothing: it got the URL, and the runs before it
    // went through every allocation the query makes.
    RecordedResult last = {};
    recorder.WaitResult(static_cast<UINT>(point), &last, 0);
    EXPECT_EQ(last.text, L"http://h/p.exe");
    EXPECT_GT(point, 20) << "the query allocated less than expected: is the failure hook in place?";
}

}  // namespace

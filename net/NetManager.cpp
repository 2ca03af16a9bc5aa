#include "net/NetManager.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "afx/Thread.h"

CKoNetManager* theNetManager = nullptr;

namespace {

// The gate and the id list are never destroyed: when the dialog ends, the
// process runs its static destructors while workers may still be running.
CRITICAL_SECTION& Gate() {
    static CRITICAL_SECTION* gate = [] {
        CRITICAL_SECTION* cs = new CRITICAL_SECTION;
        InitializeCriticalSection(cs);
        return cs;
    }();
    return *gate;
}

// Ids of every task whose adapter exists, forgotten ones included: a
// forgotten worker still removes its adapter by id when it ends, so a new
// task must never reuse an id that a live one holds.
SRWLOCK idLock = SRWLOCK_INIT;
std::vector<UINT>& LiveIds() {
    static std::vector<UINT>* ids = new std::vector<UINT>;
    return *ids;
}
LONG lastSerial = 0;

bool IdInUse(UINT id) { return std::find(LiveIds().begin(), LiveIds().end(), id) != LiveIds().end(); }

void ReleaseTaskId(UINT id) {
    AcquireSRWLockExclusive(&idLock);
    std::vector<UINT>& ids = LiveIds();
    auto it = std::find(ids.begin(), ids.end(), id);
    if (it != ids.end()) ids.erase(it);
    ReleaseSRWLockExclusive(&idLock);
}

// The window's thread takes the gate here. A worker may hold it while it
// waits in SendMessage for this very thread (progress reports set the
// window's controls), so between tries this thread handles sent messages.
void EnterGateFromWindowThread() {
    while (!TryEnterCriticalSection(&Gate())) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void FreeDownloadParams(NetTask* task) {
    DownloadParams* params = static_cast<DownloadParams*>(task->params);
    if (params) {
        free(params->url);
        free(params->targetPath);
        free(params);
    }
    task->params = nullptr;
}

// A task that did not get its thread leaves nothing behind.
void DiscardTask(CKoNetManager* manager, NetTask* task) {
    FreeDownloadParams(task);
    manager->RemoveAdapter(task->adapter);
    ReleaseTaskId(task->taskId);
    delete task->adapter;
    free(task);
}

// The window's result callback, as the dispatcher installs it.
void WindowResultCallback(void* owner, NetTaskResult* result) {
    if (owner) OnNetTaskResult(owner, result);
}

bool StartWorker(NetTask* task) {
    return AfxBeginThread(RunNetTask, task, THREAD_PRIORITY_NORMAL, 0, 0,
                          nullptr) != nullptr;
}

}  // namespace

NetGate::NetGate() { EnterCriticalSection(&Gate()); }

NetGate::~NetGate() { LeaveCriticalSection(&Gate()); }

bool NetGate::OwnerAlive(const CKoHttpAdapter* adapter) {
    return theNetManager && adapter && theNetManager->Serial() == adapter->managerSerial;
}

CKoNetManager::CKoNetManager(void* owner) : owner(owner) {
    InitializeCriticalSection(&lock);
    serial = InterlockedIncrement(&lastSerial);
    EnterGateFromWindowThread();
    theNetManager = this;
    LeaveCriticalSection(&Gate());
}

CKoNetManager::~CKoNetManager() {
    // Once theNetManager is cleared under the gate, no worker reaches this
    // manager or its owner again; their reports are dropped.
    EnterGateFromWindowThread();
    if (theNetManager == this) theNetManager = nullptr;
    owner = nullptr;
    EnterCriticalSection(&lock);
    adapters.clear();
    LeaveCriticalSection(&lock);
    LeaveCriticalSection(&Gate());
    DeleteCriticalSection(&lock);
    std::vector<CKoHttpAdapter*>().swap(adapters);
}

NetTask* CKoNetManager::CreateTask(NetTaskKind kind, ResultCallback onResult, ProgressCallback onProgress) {
    // Ids start from the millisecond clock but step past 0, ids of live
    // tasks, and the current download's id (which may belong to a download
    // that never started): pause and cancel must find only that download.
    AcquireSRWLockExclusive(&idLock);
    UINT id = timeGetTime();
    while (id == 0 || id == currentDownloadId || IdInUse(id)) ++id;
    bool reserved = true;
    try {
        LiveIds().push_back(id);
    } catch (const std::bad_alloc&) {
        reserved = false;
    }
    ReleaseSRWLockExclusive(&idLock);

    // Without memory for its records or its registry entry the task does not
    // start, as when its thread cannot be had.
    NetTask* task = reserved ? static_cast<NetTask*>(calloc(1, sizeof(NetTask))) : nullptr;
    CKoHttpAdapter* adapter = task ? new (std::nothrow) CKoHttpAdapter : nullptr;
    bool registered = false;
    if (adapter) {
        adapter->owner = owner;
        adapter->taskId = id;
        adapter->onResult = onResult;
        adapter->onProgress = onProgress;
        adapter->managerSerial = serial;
        EnterCriticalSection(&lock);
        try {
            adapters.push_back(adapter);
            registered = true;
        } catch (const std::bad_alloc&) {
        }
        LeaveCriticalSection(&lock);
    }
    if (!registered) {
        delete adapter;
        free(task);
        if (reserved) ReleaseTaskId(id);
        return nullptr;
    }
    task->kind = kind;
    task->taskId = id;
    task->adapter = adapter;
    task->params = nullptr;
    return task;
}

UINT CKoNetManager::StartPackageUrlQuery() {
    NetTask* task = CreateTask(PackageUrl, WindowResultCallback, nullptr);
    if (!task) return 0;
    UINT id = task->taskId;
    if (StartWorker(task)) return id;
    DiscardTask(this, task);
    return 0;
}

UINT CKoNetManager::StartDownload(const wchar_t* url, const wchar_t* targetPath) {
    NetTask* task = CreateTask(Download, WindowResultCallback, OnDownloadProgress);
    if (!task) return 0;
    currentDownloadId = task->taskId;
    UINT id = task->taskId;
    DownloadParams* params = static_cast<DownloadParams*>(calloc(1, sizeof(DownloadParams)));
    if (params) {
        params->url = CopyWideText(url);
        params->targetPath = CopyWideText(targetPath);
        task->params = params;
        // A copy that could not be made would start a download of nothing.
        bool copied = (!url || params->url) && (!targetPath || params->targetPath);
        if (copied && StartWorker(task)) return id;
    }
    DiscardTask(this, task);
    return 0;
}

void CKoNetManager::PauseDownload(int pause) {
    EnterCriticalSection(&lock);
    for (CKoHttpAdapter* adapter : adapters) {
        if (adapter->taskId == currentDownloadId) {
            InterlockedExchange(&adapter->paused, pause);
            break;
        }
    }
    LeaveCriticalSection(&lock);
}

int CKoNetManager::CancelDownload() {
    CKoHttpAdapter* found = nullptr;
    HINTERNET handle = nullptr;
    EnterCriticalSection(&lock);
    for (CKoHttpAdapter* adapter : adapters) {
        if (adapter->taskId == currentDownloadId) {
            found = adapter;
            InterlockedExchange(&adapter->cancelled, 1);
            handle = InterlockedExchangePointer(&adapter->internetHandle, nullptr);
            break;
        }
    }
    LeaveCriticalSection(&lock);
    if (!found) return 0;
    // Closing the root closes the download's request handle with it; the
    // download knows from the emptied internetHandle not to close either.
    CloseInternetHandleInBackground(handle);
    return 1;
}

void CKoNetManager::ForgetAllTasks() {
    EnterCriticalSection(&lock);
    adapters.clear();
    LeaveCriticalSection(&lock);
}

void CKoNetManager::RemoveAdapter(CKoHttpAdapter* adapter) {
    if (!adapter) return;
    EnterCriticalSection(&lock);
    for (auto it = adapters.begin(); it != adapters.end(); ++it) {
        if ((*it)->taskId == adapter->taskId) {
            adapters.erase(it);
            break;
        }
    }
    LeaveCriticalSection(&lock);
}

UINT RunNetTask(void* param) {
    NetTask* task = static_cast<NetTask*>(param);
    CKoHttpAdapter* adapter = task->adapter;
    if (task->kind == PackageUrl) {
        adapter->QueryPackageUrl();
    } else if (task->kind == Download) {
        DownloadParams* params = static_cast<DownloadParams*>(task->params);
        adapter->DownloadPackage(params ? params->url : nullptr, params ? params->targetPath : nullptr);
        FreeDownloadParams(task);
    }
    {
        NetGate gate;
        if (NetGate::OwnerAlive(adapter)) theNetManager->RemoveAdapter(adapter);
    }
    ReleaseTaskId(task->taskId);
    delete adapter;
    free(task);
    return 0;
}

// The task dispatcher: every network job runs on a worker thread of its own
// and reports through the installer window's two callbacks.
#pragma once

#include <windows.h>

#include <vector>

#include "net/HttpAdapter.h"

// The installer window's callbacks. The dispatcher installs them in every
// task itself; they are defined by the window (ui/), and test programs that
// link the network code without the window define their own.
void OnNetTaskResult(void* owner, NetTaskResult* result);
void OnDownloadProgress(void* owner, UINT taskId, int bytesDone, int bytesTotal);

struct DownloadParams {
    wchar_t* url;
    wchar_t* targetPath;
};

struct NetTask {
    NetTaskKind kind;
    UINT taskId;
    CKoHttpAdapter* adapter;
    void* params;
};

class CKoNetManager {
public:
    explicit CKoNetManager(void* owner);
    virtual ~CKoNetManager();

    UINT StartPackageUrlQuery();
    UINT StartDownload(const wchar_t* url, const wchar_t* targetPath);
    void PauseDownload(int pause);
    int CancelDownload();
    void ForgetAllTasks();
    void RemoveAdapter(CKoHttpAdapter* adapter);

    LONG Serial() const { return serial; }

private:
    NetTask* CreateTask(NetTaskKind kind, ResultCallback onResult, ProgressCallback onProgress);

    void* owner;
    UINT currentDownloadId = 0;
    std::vector<CKoHttpAdapter*> adapters;
    CRITICAL_SECTION lock;
    LONG serial;
};

// The one manager of the process; null when there is none. Workers read it,
// and call into the manager and the window, only inside NetGate.
extern CKoNetManager* theNetManager;

// The process-wide gate between finishing workers and the manager's
// destructor. A worker holds it while it removes its adapter and while its
// callbacks run; the destructor clears theNetManager under it, so a worker
// that outlives the manager or the window touches neither.
class NetGate {
public:
    NetGate();
    ~NetGate();
    NetGate(const NetGate&) = delete;
    NetGate& operator=(const NetGate&) = delete;
    // Whether the manager that created `adapter` is still alive.
    static bool OwnerAlive(const CKoHttpAdapter* adapter);
};

UINT RunNetTask(void* task);

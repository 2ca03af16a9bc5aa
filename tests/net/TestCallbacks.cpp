#include "tests/net/TestCallbacks.h"


#include "net/NetManager.h"

Recorder::Recorder() {
    InitializeCriticalSection(&m_lock);
    InitializeConditionVariable(&m_changed);
}

Recorder::~Recorder() { DeleteCriticalSection(&m_lock); }

void Recorder::AddResult(const RecordedResult& r) {
    EnterCriticalSection(&m_lock);
    m_results.push_back(r);
    LeaveCriticalSection(&m_lock);
    WakeAllConditionVariable(&m_changed);
}

void Recorder::AddProgress(const RecordedProgress& p) {
    EnterCriticalSection(&m_lock);
    m_progress.push_back(p);
    LeaveCriticalSection(&m_lock);
    WakeAllConditionVariable(&m_changed);
}

bool Recorder::WaitResult(UINT taskId, RecordedResult* out, DWORD ms) {
    DWORD end = GetTickCount() + ms;
    EnterCriticalSection(&m_lock);
    for (;;) {
        for (const RecordedResult& r : m_results) {
            if (r.taskId == taskId) {
                if (out) *out = r;
                LeaveCriticalSection(&m_lock);
                return true;
            }
        }
        DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) break;
        SleepConditionVariableCS(&m_changed, &m_lock, end - now);
    }
    LeaveCriticalSection(&m_lock);
    return false;
}

bool Recorder::WaitProgress(UINT taskId, size_t count, DWORD ms) {
    DWORD end = GetTickCount() + ms;
    EnterCriticalSection(&m_lock);
    for (;;) {
        size_t n = 0;
        for (const RecordedProgress& p : m_progress) n += p.taskId == taskId;
        if (n >= count) break;
        DWORD now = GetTickCount();
        if (static_cast<LONG>(end - now) <= 0) {
            LeaveCriticalSection(&m_lock);
            return false;
        }
        SleepConditionVariableCS(&m_changed, &m_lock, end - now);
    }
    LeaveCriticalSection(&m_lock);
    return true;
}

std::vector<RecordedResult> Recorder::Results() {
    EnterCriticalSection(&m_lock);
    std::vector<RecordedResult> copy = m_results;
    LeaveCriticalSection(&m_lock);
    return copy;
}

std::vector<RecordedProgress> Recorder::Progress(UINT taskId) {
    std::vector<RecordedProgress> out;
    EnterCriticalSection(&m_lock);
    for (const RecordedProgress& p : m_progress)
        if (p.taskId == taskId) out.push_back(p);
    LeaveCriticalSection(&m_lock);
    return out;
}

size_t Recorder::ResultCount(UINT taskId) {
    size_t n = 0;
    for (const RecordedResult& r : Results()) n += r.taskId == taskId;
    return n;
}

void OnNetTaskResult(void* owner, NetTaskResult* result) {
    Recorder* recorder = static_cast<Recorder*>(owner);
    RecordedResult r = {owner, result->kind, result->taskId, result->httpStatus, result->resultCode,
                        result->data == nullptr, true, std::wstring()};
    if (result->data && result->kind == PackageUrl) {
        wchar_t* text = *static_cast<wchar_t**>(result->data);
        r.textNull = text == nullptr;
        if (text) r.text = text;
    } else if (result->data && result->kind == Download) {
        r.textNull = false;
        r.text = static_cast<const wchar_t*>(result->data);
    }
    recorder->AddResult(r);
}

void OnDownloadProgress(void* owner, UINT taskId, int bytesDone, int bytesTotal) {
    Recorder* recorder = static_cast<Recorder*>(owner);
    recorder->AddProgress({taskId, bytesDone, bytesTotal});
    if (recorder->onProgressHook) recorder->onProgressHook(recorder, taskId, bytesDone, bytesTotal);
}

std::wstring ScratchDir(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + name;
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool ReadWholeFile(const std::wstring& path, std::string* out) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    out->clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out->append(buf, got);
    CloseHandle(h);
    return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& data) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == data.size();
}

// What the network tasks reported, as the test programs' own versions of
// the window's two callbacks record it (the owner is a Recorder).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RecordedResult {
    void* owner;
    int kind;
    UINT taskId;
    int httpStatus;
    int resultCode;
    bool dataNull;       // data was null
    bool textNull;       // PackageUrl: the variable data points to was null
    std::wstring text;   // PackageUrl: the URL; Download: the reported path
};

struct RecordedProgress {
    UINT taskId;
    int done;
    int total;
};

class Recorder {
public:
    Recorder();
    ~Recorder();
    // Waits until a result for `taskId` came; false after `ms` milliseconds.
    bool WaitResult(UINT taskId, RecordedResult* out, DWORD ms = 30000);
    // Waits until at least `count` progress reports for `taskId` came.
    bool WaitProgress(UINT taskId, size_t count, DWORD ms = 30000);
    std::vector<RecordedResult> Results();
    std::vector<RecordedProgress> Progress(UINT taskId);
    size_t ResultCount(UINT taskId);

    void AddResult(const RecordedResult& r);
    void AddProgress(const RecordedProgress& p);

    // Called on the worker thread inside each progress report, when set.
    void (*onProgressHook)(Recorder*, UINT taskId, int done, int total) = nullptr;
    HWND hookWindow = nullptr;

private:
    CRITICAL_SECTION m_lock;
    CONDITION_VARIABLE m_changed;
    std::vector<RecordedResult> m_results;
    std::vector<RecordedProgress> m_progress;
};

// A fresh scratch folder under %TEMP% for one test program.
std::wstring ScratchDir(const wchar_t* name);
bool ReadWholeFile(const std::wstring& path, std::string* out);
bool WriteWholeFile(const std::wstring& path, const std::string& data);

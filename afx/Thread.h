// Worker threads. A CWinThread started by AfxBeginThread runs one procedure
// and, by default, deletes itself (and closes its thread handle) when the
// procedure returns, so the starter keeps no reference to it.
#pragma once

#include <windows.h>

#include "afx/Object.h"

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread : public CObject {
public:
    CWinThread() = default;  // for a thread object that is not a worker (no procedure)
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    ~CWinThread() override;

    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
    DWORD ResumeThread();
    BOOL SetThreadPriority(int nPriority);

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;

private:
    static DWORD WINAPI Entry(LPVOID self);

    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;
};

// Starts `pfnThreadProc(pParam)` on a new thread; null when no thread could
// be made. Unless CREATE_SUSPENDED is given the thread runs at once and may
// have deleted its object before this returns.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

// For tests of callers that must survive a failed thread start: while set,
// AfxBeginThread asks it first and fails without starting anything when it
// returns FALSE.
extern BOOL (*afxBeginThreadFilter)(AFX_THREADPROC pfnThreadProc, LPVOID pParam);

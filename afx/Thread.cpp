#include "afx/Thread.h"

BOOL (*afxBeginThreadFilter)(AFX_THREADPROC, LPVOID) = nullptr;

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam) {}

CWinThread::~CWinThread() {
    if (m_hThread) CloseHandle(m_hThread);
}

DWORD WINAPI CWinThread::Entry(LPVOID self) {
    CWinThread* thread = static_cast<CWinThread*>(self);
    UINT code = thread->m_pfnThreadProc ? thread->m_pfnThreadProc(thread->m_pThreadParams) : 0;
    if (thread->m_bAutoDelete) delete thread;
    return code;
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    // Always made suspended, so that m_hThread is set before the thread can
    // reach its own delete.
    m_hThread = ::CreateThread(lpSecurityAttrs, nStackSize, Entry, this, CREATE_SUSPENDED, &m_nThreadID);
    if (!m_hThread) return FALSE;
    if (!(dwCreateFlags & CREATE_SUSPENDED)) ::ResumeThread(m_hThread);
    return TRUE;
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

BOOL CWinThread::SetThreadPriority(int nPriority) { return ::SetThreadPriority(m_hThread, nPriority); }

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    if (afxBeginThreadFilter && !afxBeginThreadFilter(pfnThreadProc, pParam)) return nullptr;
    CWinThread* thread = new CWinThread(pfnThreadProc, pParam);
    if (!thread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED)) thread->ResumeThread();
    return thread;
}

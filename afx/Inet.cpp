#include "afx/Inet.h"

#include <new>
#include <string>

void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError) {
    if (dwError == 0) dwError = GetLastError();
    CInternetException* e = new (std::nothrow) CInternetException(dwError, dwContext);
    if (!e) AfxThrowMemoryException();
    throw e;
}

void AfxThrowMemoryException() {
    static CMemoryException theMemoryException;
    throw &theMemoryException;
}

namespace {

// What the framework sends as the agent when none is given.
CString ApplicationName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    std::wstring text(name);
    size_t dot = text.rfind(L'.');
    if (dot != std::wstring::npos) text.erase(dot);
    return CString(text);
}

void CloseInternetHandle(HINTERNET& handle) {
    if (handle) {
        InternetCloseHandle(handle);
        handle = nullptr;
    }
}

}  // namespace

CInternetSession::CInternetSession(const wchar_t* pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType,
                                   const wchar_t* pstrProxyName, const wchar_t* pstrProxyBypass, DWORD dwFlags)
    : m_dwContext(dwContext) {
    CString agent;
    try {
        agent = pstrAgent ? CString(pstrAgent) : ApplicationName();
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
    m_hSession = InternetOpenW(agent, dwAccessType, pstrProxyName, pstrProxyBypass, dwFlags);
    if (!m_hSession) AfxThrowInternetException(m_dwContext);
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() { CloseInternetHandle(m_hSession); }

CHttpConnection* CInternetSession::GetHttpConnection(const wchar_t* pstrServer, INTERNET_PORT nPort,
                                                     const wchar_t* pstrUserName, const wchar_t* pstrPassword) {
    try {
        return new CHttpConnection(this, pstrServer, nPort, pstrUserName, pstrPassword, m_dwContext);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

CHttpConnection::CHttpConnection(CInternetSession* pSession, const wchar_t* pstrServer, INTERNET_PORT nPort,
                                 const wchar_t* pstrUserName, const wchar_t* pstrPassword, DWORD_PTR dwContext)
    : m_dwContext(dwContext) {
    m_hConnection = InternetConnectW(pSession->m_hSession, pstrServer, nPort, pstrUserName, pstrPassword,
                                     INTERNET_SERVICE_HTTP, 0, dwContext);
    if (!m_hConnection) AfxThrowInternetException(dwContext);
}

CHttpConnection::~CHttpConnection() { Close(); }

void CHttpConnection::Close() { CloseInternetHandle(m_hConnection); }

CHttpFile* CHttpConnection::OpenRequest(int nVerb, const wchar_t* pstrObjectName, const wchar_t* pstrReferer,
                                        DWORD_PTR dwContext, const wchar_t** ppstrAcceptTypes,
                                        const wchar_t* pstrVersion, DWORD dwFlags) {
    static const wchar_t* const verbs[] = {L"POST", L"GET", L"HEAD", L"PUT", L"OPTIONS", L"DELETE", L"TRACE"};
    if (nVerb < 0 || nVerb >= static_cast<int>(sizeof verbs / sizeof verbs[0]))
        AfxThrowInternetException(dwContext, ERROR_INVALID_PARAMETER);
    HINTERNET file = HttpOpenRequestW(m_hConnection, verbs[nVerb], pstrObjectName,
                                      pstrVersion ? pstrVersion : L"HTTP/1.0", pstrReferer,
                                      ppstrAcceptTypes, dwFlags, dwContext);
    if (!file) AfxThrowInternetException(dwContext);
    try {
        return new CHttpFile(file, dwContext);
    } catch (const std::bad_alloc&) {
        InternetCloseHandle(file);
        AfxThrowMemoryException();
    }
}

CHttpFile::~CHttpFile() { Close(); }

void CHttpFile::Close() { CloseInternetHandle(m_hFile); }

BOOL CHttpFile::SendRequest(const wchar_t* pstrHeaders, DWORD dwHeadersLen, LPVOID lpOptional,
                            DWORD dwOptionalLen) {
    if (!HttpSendRequestW(m_hFile, pstrHeaders, dwHeadersLen, lpOptional, dwOptionalLen))
        AfxThrowInternetException(m_dwContext);
    return TRUE;
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& dwStatusCode) const {
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!HttpQueryInfoW(m_hFile, HTTP_QUERY_STATUS_CODE, text, &size, nullptr)) return FALSE;
    dwStatusCode = static_cast<DWORD>(wcstoul(text, nullptr, 10));
    return TRUE;
}

BOOL CHttpFile::QueryInfoStatusCode(int& nStatusCode) const {
    DWORD status = 0;
    if (!QueryInfoStatusCode(status)) return FALSE;
    nStatusCode = static_cast<int>(status);
    return TRUE;
}

BOOL CHttpFile::ReadString(CString& rString, UINT nMaxBytes) {
    try {
        return ReadLine(rString, nMaxBytes);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();
    }
}

BOOL CHttpFile::ReadLine(CString& rString, UINT nMaxBytes) {
    std::string line;
    bool any = false;
    UINT consumed = 0;
    for (;;) {
        if (m_bufferPos == m_bufferLen) {
            m_bufferPos = m_bufferLen = 0;
            if (!InternetReadFile(m_hFile, m_buffer, sizeof m_buffer, &m_bufferLen))
                AfxThrowInternetException(m_dwContext);
            if (m_bufferLen == 0) break;
        }
        char c = m_buffer[m_bufferPos++];
        any = true;
        // Carriage returns count too: a reply of nothing but them must end as well.
        if (consumed++ >= nMaxBytes) AfxThrowInternetException(m_dwContext, ERROR_INSUFFICIENT_BUFFER);
        if (c == '\r') continue;
        line += c;
        if (c == '\n') break;
    }
    // Bytes, two to a character, and at least one zero byte after them.
    int chars = static_cast<int>(line.size() / 2 + 1);
    rString.Empty();
    wchar_t* buffer = rString.GetBuffer(chars);
    ZeroMemory(buffer, chars * sizeof(wchar_t));
    CopyMemory(buffer, line.data(), line.size());
    rString.ReleaseBuffer(chars);
    return any;
}

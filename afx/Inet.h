// The framework's exceptions and its internet classes over WinINet:
// a session, an HTTP connection under it and a request file under that.
// Failed internet calls throw a CInternetException*, and memory that runs
// out throws a CMemoryException*; the catcher calls Delete() on either.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "afx/Object.h"
#include "afx/String.h"

class CException : public CObject {
public:
    explicit CException(BOOL bAutoDelete = TRUE) : m_bAutoDelete(bAutoDelete) {}
    // Frees a heap exception; the one memory exception is not on the heap.
    void Delete() {
        if (m_bAutoDelete) delete this;
    }

protected:
    BOOL m_bAutoDelete;
};

class CMemoryException : public CException {
public:
    CMemoryException() : CException(FALSE) {}
};

// Throws the one memory exception: there may be no memory for a new one.
[[noreturn]] void AfxThrowMemoryException();

class CInternetException : public CException {
public:
    explicit CInternetException(DWORD dwError, DWORD_PTR dwContext = 0)
        : m_dwError(dwError), m_dwContext(dwContext) {}
    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

[[noreturn]] void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError = 0);

enum { HTTP_VERB_POST = 0, HTTP_VERB_GET = 1 };

class CHttpConnection;
class CHttpFile;

class CInternetSession : public CObject {
public:
    // With no agent, the application's name (the exe's name without its
    // extension) is sent. Throws when the session cannot be opened.
    explicit CInternetSession(const wchar_t* pstrAgent = nullptr, DWORD_PTR dwContext = 1,
                              DWORD dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG,
                              const wchar_t* pstrProxyName = nullptr, const wchar_t* pstrProxyBypass = nullptr,
                              DWORD dwFlags = 0);
    ~CInternetSession() override;

    // The connection belongs to the caller (delete it). Port 0 is
    // INTERNET_INVALID_PORT_NUMBER: the protocol's default port.
    CHttpConnection* GetHttpConnection(const wchar_t* pstrServer, INTERNET_PORT nPort = 0,
                                       const wchar_t* pstrUserName = nullptr, const wchar_t* pstrPassword = nullptr);
    void Close();

    HINTERNET m_hSession = nullptr;
    DWORD_PTR m_dwContext;
};

class CHttpConnection : public CObject {
public:
    CHttpConnection(CInternetSession* pSession, const wchar_t* pstrServer, INTERNET_PORT nPort,
                    const wchar_t* pstrUserName, const wchar_t* pstrPassword, DWORD_PTR dwContext);
    ~CHttpConnection() override;

    // The file belongs to the caller (delete it). Without a version the
    // request goes out as HTTP/1.0.
    CHttpFile* OpenRequest(int nVerb, const wchar_t* pstrObjectName, const wchar_t* pstrReferer = nullptr,
                           DWORD_PTR dwContext = 1, const wchar_t** ppstrAcceptTypes = nullptr,
                           const wchar_t* pstrVersion = nullptr, DWORD dwFlags = INTERNET_FLAG_EXISTING_CONNECT);
    void Close();

    HINTERNET m_hConnection = nullptr;
    DWORD_PTR m_dwContext;
};

class CHttpFile : public CObject {
public:
    CHttpFile(HINTERNET hFile, DWORD_PTR dwContext) : m_hFile(hFile), m_dwContext(dwContext) {}
    ~CHttpFile() override;

    BOOL SendRequest(const wchar_t* pstrHeaders = nullptr, DWORD dwHeadersLen = 0,
                     LPVOID lpOptional = nullptr, DWORD dwOptionalLen = 0);
    // FALSE when the reply has no status line.
    BOOL QueryInfoStatusCode(DWORD& dwStatusCode) const;
    BOOL QueryInfoStatusCode(int& nStatusCode) const;

    // Reads one line of the reply the way the framework's wide line reader
    // does: the reply's bytes go into the string's buffer unchanged, two to a
    // character, carriage returns dropped, up to and including the first line
    // feed, followed by zero bytes; take the buffer as a byte string. FALSE
    // when the reply had ended before anything was read. More than `nMaxBytes`
    // bytes (carriage returns included) before the line ends throws (ERROR_INSUFFICIENT_BUFFER) instead of growing
    // without bound; a failed read throws too.
    BOOL ReadString(CString& rString, UINT nMaxBytes = 0xFFFFFFFFu);
    void Close();

    HINTERNET m_hFile = nullptr;
    DWORD_PTR m_dwContext;

private:
    BOOL ReadLine(CString& rString, UINT nMaxBytes);

    char m_buffer[4096];
    DWORD m_bufferPos = 0;
    DWORD m_bufferLen = 0;
};

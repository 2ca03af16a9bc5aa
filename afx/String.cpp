#include "afx/String.h"

#include "afx/App.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

// _vscwprintf and _vsnwprintf are the C runtime's own functions: their %s
// follows the Windows convention (wide in wide formats), unlike the standard
// names in the C99 stdio mode that the compiler may select.

void CString::FormatV(const wchar_t* format, va_list args)
{
    if (!format) {
        m_text.clear();
        return;
    }
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length <= 0) {
        m_text.clear();
        return;
    }
    std::wstring out(static_cast<size_t>(length) + 1, L'\0');
    _vsnwprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(length));
    m_text.swap(out);
}

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const wchar_t* format, ...)
{
    CString tail;
    va_list args;
    va_start(args, format);
    tail.FormatV(format, args);
    va_end(args);
    m_text += tail.m_text;
}

HINSTANCE AfxFindStringResourceHandle(UINT id)
{
    // Strings live in blocks of sixteen; block n holds ids (n-1)*16 .. n*16-1.
    HINSTANCE module = AfxGetResourceHandle();
    const WORD block = static_cast<WORD>((id >> 4) + 1);
    return FindResourceW(module, MAKEINTRESOURCEW(block), MAKEINTRESOURCEW(6 /* RT_STRING */)) ? module : nullptr;
}

BOOL CString::LoadString(UINT id)
{
    HINSTANCE module = AfxFindStringResourceHandle(id);
    if (!module)
        return FALSE;
    // With a zero length LoadStringW hands out a read-only pointer to the
    // resource text itself, which is not zero-terminated.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return FALSE;
    m_text.assign(text, static_cast<size_t>(length));
    return TRUE;
}

wchar_t* CString::GetBuffer(int minLength)
{
    if (minLength < 0)
        minLength = 0;
    if (m_text.size() < static_cast<size_t>(minLength))
        m_text.resize(static_cast<size_t>(minLength));
    m_text.reserve(m_text.size() + 1);
    return &m_text[0];
}

void CString::ReleaseBuffer(int length)
{
    if (length < 0)
        m_text.resize(std::wcslen(m_text.c_str()));
    else if (static_cast<size_t>(length) <= m_text.size())
        m_text.resize(static_cast<size_t>(length));
}

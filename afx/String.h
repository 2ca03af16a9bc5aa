// CString: the framework's UTF-16 string. A thin value type over
// std::wstring with the few operations the program uses.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_text(text ? text : L"") {}
    CString(const wchar_t* text, int length) : m_text(text ? std::wstring(text, length) : std::wstring()) {}
    CString(const std::wstring& text) : m_text(text) {}

    operator const wchar_t*() const { return m_text.c_str(); }
    const wchar_t* GetString() const { return m_text.c_str(); }
    const std::wstring& str() const { return m_text; }

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    wchar_t GetAt(int index) const { return m_text.at(static_cast<size_t>(index)); }

    CString& operator=(const wchar_t* text) { m_text = text ? text : L""; return *this; }
    CString& operator+=(const wchar_t* text) { if (text) m_text += text; return *this; }
    CString& operator+=(const CString& other) { m_text += other.m_text; return *this; }
    CString& operator+=(wchar_t ch) { m_text += ch; return *this; }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_text + b.m_text); }
    friend CString operator+(const CString& a, const wchar_t* b) { return a + CString(b); }
    friend CString operator+(const wchar_t* a, const CString& b) { return CString(a) + b; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.m_text == (b ? b : L""); }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }

    // printf-style formatting with the Windows C runtime's rules: in these
    // wide formats %s takes a wide string, as the string table's texts expect.
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);

    // Loads string `id` from the module that holds its block. When no module
    // holds it, the string keeps its old text and the call returns FALSE.
    BOOL LoadString(UINT id);

    // Direct access for APIs that fill a buffer: GetBuffer(n) makes room for
    // n characters plus the terminator; ReleaseBuffer cuts at the first zero
    // (or at `length` when given).
    wchar_t* GetBuffer(int minLength);
    void ReleaseBuffer(int length = -1);

private:
    std::wstring m_text;
};

// The module whose resources hold the string block of `id`, or null.
HINSTANCE AfxFindStringResourceHandle(UINT id);

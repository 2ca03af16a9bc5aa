#include "afx/String.h"

#include <gtest/gtest.h>

TEST(CString, FormatTakesWideStringsForPercentS)
{
    CString s;
    s.Format(L"<A HREF=%s>%d</A>", L"\"https://x.example/\"", 42);
    EXPECT_STREQ(L"<A HREF=\"https://x.example/\">42</A>", s);
    s.Format(L"%s", L"");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CString, LoadStringOfMissingIdKeepsOldText)
{
    CString s(L"before");
    EXPECT_FALSE(s.LoadString(65000));
    EXPECT_STREQ(L"before", s);
}

TEST(CString, BufferRoundTrip)
{
    CString s;
    wchar_t* buffer = s.GetBuffer(16);
    wcscpy(buffer, L"abc");
    s.ReleaseBuffer();
    EXPECT_EQ(3, s.GetLength());
    EXPECT_STREQ(L"abc", s + L"");
}

// Stands in for the browser in the flow tests: registered as the handler of
// https addresses in the test's Wine prefix, it appends the address it was
// asked to open to a record file, one UTF-8 line per call.
//
// Usage (as the shell calls it): url_recorder RECORD-FILE URL
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    FILE* f = _wfopen(argv[1], L"ab");
    if (!f)
        return 1;
    char line[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, line, sizeof line - 1, nullptr, nullptr);
    std::fputs(line, f);
    std::fputs("\n", f);
    std::fclose(f);
    return 0;
}

// How long the publisher check takes: every package given is checked four
// times in one process, and each time is printed. The first check of the
// process also loads the system's roots. tools/bench-check.sh runs it; it is
// signed by the test publisher, as the installer is, so the check runs whole.
//
// Usage: check_bench PACKAGE.exe...
#include <windows.h>

#include <cstdio>

#include "net/PublisherCheck.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: check_bench PACKAGE.exe...\n");
        return 2;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    int failures = 0;
    std::printf("%-28s %8s %-8s %s\n", "package", "MiB", "result", "ms of each check (the first of the process loads the roots)");
    for (int i = 1; i < argc; ++i) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(argv[i], GetFileExInfoStandard, &data)) {
            std::fprintf(stderr, "check_bench: %ls not found\n", argv[i]);
            return 1;
        }
        double mib = (static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow) / 1048576.0;
        const wchar_t* name = wcsrchr(argv[i], L'\\') ? wcsrchr(argv[i], L'\\') + 1 : argv[i];
        std::printf("%-28ls %8.2f", name, mib);
        bool trusted = true;
        double ms[4];
        for (double& m : ms) {
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            trusted = IsTrustedPackage(argv[i]) && trusted;
            QueryPerformanceCounter(&end);
            m = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        }
        std::printf(" %-8s", trusted ? "trusted" : "REFUSED");
        for (double m : ms)
            std::printf(" %8.1f", m);
        std::printf("\n");
        failures += !trusted;
    }
    return failures ? 1 : 0;
}

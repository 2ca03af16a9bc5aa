// Prints its own client description, so that a test can run it under a
// chosen Windows version (Wine reads that per program at start-up).
#include <cstdio>

#include "client/ClientInfo.h"

int wmain() {
    CString agent = GetUserAgent();
    // ASCII except for the locale name, which is ASCII too.
    for (int i = 0; i < agent.GetLength(); ++i) std::putchar(static_cast<int>(agent.GetAt(i)) & 0x7F);
    std::fflush(stdout);
    return 0;
}

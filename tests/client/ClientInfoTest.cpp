#include <gtest/gtest.h>

#include <string>

#include "client/ClientInfo.h"

namespace {

int r2Calls = 0;
int ServerR2() { ++r2Calls; return 1; }
int NotServerR2() { ++r2Calls; return 0; }

TEST(OsNameTest, Table) {
    const BYTE ws = VER_NT_WORKSTATION, server = 3, dc = 2;
    const WORD whs = VER_SUITE_WH_SERVER;
    struct Row {
        DWORD major, minor;
        BYTE type;
        WORD suite;
        int (*r2)();
        const wchar_t* name;
        int r2CallsExpected;
    } rows[] = {
        {5, 0, ws, 0, ServerR2, L"Windows 2000/5.0", 0},
        {5, 1, ws, 0, ServerR2, L"Windows XP/5.1", 0},
        {5, 2, ws, whs, ServerR2, L"Windows XP Professional x64 Edition/5.2", 0},
        {5, 2, server, whs, ServerR2, L"Windows Home Server/5.2", 0},
        {5, 2, server, 0, ServerR2, L"Windows Server 2003 R2/5.2", 1},
        {5, 2, dc, 0, NotServerR2, L"Windows Server 2003/5.2", 1},
        {6, 0, ws, 0, ServerR2, L"Windows Vista/6.0", 0},
        {6, 0, server, 0, ServerR2, L"Windows Server 2008/6.0", 0},
        {6, 1, ws, 0, ServerR2, L"Windows 7/6.1", 0},
        {6, 1, dc, 0, ServerR2, L"Windows Server 2008 R2/6.1", 0},
        {6, 2, ws, 0, ServerR2, L"Windows 8/6.2", 0},
        {6, 2, server, 0, ServerR2, L"Windows Server 2012/6.2", 0},
        {6, 3, ws, 0, ServerR2, L"", 0},
        {10, 0, ws, 0, ServerR2, L"", 0},
        {5, 3, ws, 0, ServerR2, L"", 0},
        {6, 4, ws, 0, ServerR2, L"", 0},
        {4, 0, ws, 0, ServerR2, L"", 0},
        {0, 0, 0, 0, ServerR2, L"", 0},  // a failed GetVersionExW
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.major << "." << row.minor << " type " << int(row.type));
        r2Calls = 0;
        EXPECT_EQ(OsNameFromVersion(row.major, row.minor, row.type, row.suite, row.r2), row.name);
        EXPECT_EQ(r2Calls, row.r2CallsExpected);
    }
}

// This test program carries no version block: the version is empty and the
// description is still built around it.
TEST(UserAgentTest, WithoutVersionBlock) {
    EXPECT_EQ(GetProductVersion(), L"");
    std::wstring agent = GetUserAgent().str();
    EXPECT_EQ(agent.rfind(L"Corvane/5.0 (pc, " + GetOsName().str() + L", ", 0), 0u) << agent;
    const std::wstring tail = L", zh-CN) CorvaneDownloader/.PROD";
    ASSERT_GT(agent.size(), tail.size());
    EXPECT_EQ(agent.substr(agent.size() - tail.size()), tail);
}

std::wstring g_probe;

// Runs the probe with Wine's Windows version for it set to `version`.
std::string RunProbe(const wchar_t* version) {
    std::wstring name = g_probe.substr(g_probe.find_last_of(L"\\/") + 1);
    std::wstring key = L"Software\\Wine\\AppDefaults\\" + name;
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version,
                    static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &sa, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + g_probe + L"\"";
    std::string out;
    if (CreateProcessW(g_probe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(writeEnd);
        writeEnd = nullptr;
        char buf[512];
        DWORD got = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
        WaitForSingleObject(pi.hProcess, 30000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (writeEnd) CloseHandle(writeEnd);
    CloseHandle(readEnd);
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    return out;
}

// The whole description of a program with the installer's version block,
// under the Windows versions Wine can pretend to be.
TEST(UserAgentTest, UnderWindowsVersions) {
    ASSERT_FALSE(g_probe.empty()) << "pass the probe's path";
    // Wine 8 reports "win7" as 6.1 with a server product type and
    // "win2008r2" as 6.1 workstation (measured with GetVersionExW), the
    // other way round from the systems they are named after; the rows name
    // the setting that makes Wine report the system in the second column.
    const struct {
        const wchar_t* wine;
        const char* os;
    } rows[] = {
        {L"win2008r2", "Windows 7/6.1"},
        {L"win7", "Windows Server 2008 R2/6.1"},
        {L"winxp", "Windows XP/5.1"},
        {L"winxp64", "Windows XP Professional x64 Edition/5.2"},
        {L"vista", "Windows Vista/6.0"},
        {L"win2003", "Windows Server 2003/5.2"},
        // Newer systems speak as 6.2 to a program whose manifest names none.
        {L"win10", "Windows 8/6.2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "Wine version " << std::string(row.wine, row.wine + wcslen(row.wine)));
        EXPECT_EQ(RunProbe(row.wine),
                  std::string("Corvane/5.0 (pc, ") + row.os + ", zh-CN) CorvaneDownloader/7.1.11.5418.PROD");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1) g_probe = argv[1];
    return RUN_ALL_TESTS();
}

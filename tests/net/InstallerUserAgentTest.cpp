// The User-Agent that the shipped program itself sends, read from the test
// server's record of its query, under a chosen Windows version.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/common/TestServer.h"

namespace {

std::wstring g_installer;

const char kPath[] = "/api/1/update/pcoffice/packageurl";

TEST(InstallerUserAgentTest, NamesSystemLocaleAndVersion) {
    ASSERT_FALSE(g_installer.empty()) << "pass the installer's path";
    ASSERT_TRUE(TestServer::Reset());
    // A failed query leaves the installer idle in its Failed look.
    ASSERT_TRUE(TestServer::SetCase(kPath, "{\"status\": 404, \"body\": \"\"}"));

    // Wine 8 reports its "win2008r2" setting as Windows 6.1 workstation
    // (and "win7" as the server), measured with GetVersionExW.
    const wchar_t key[] = L"Software\\Wine\\AppDefaults\\CorvaneOfficeInstaller_CN.exe";
    const wchar_t version[] = L"win2008r2";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Version", REG_SZ, version, sizeof version), ERROR_SUCCESS);

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + g_installer + L"\"";
    ASSERT_TRUE(CreateProcessW(g_installer.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    std::vector<TestServer::Request> requests;
    for (int i = 0; i < 300 && requests.empty(); ++i) {
        Sleep(100);
        for (const TestServer::Request& r : TestServer::Requests())
            if (r.path == kPath) requests.push_back(r);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    RegDeleteKeyW(HKEY_CURRENT_USER, key);

    ASSERT_EQ(requests.size(), 1u) << "the installer sent no query";
    const TestServer::Request& q = requests[0];
    EXPECT_EQ(q.Header("User-Agent"), "Corvane/5.0 (pc, Windows 7/6.1, zh-CN) CorvaneDownloader/7.1.11.5418.PROD");
    EXPECT_EQ(q.raw.substr(0, q.raw.find("\r\n")), "POST /api/1/update/pcoffice/packageurl HTTP/1.0");
    EXPECT_EQ(q.Body(), "null\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1) g_installer = argv[1];
    return RUN_ALL_TESTS();
}

// Without an application-data folder there is no sound place for the
// package: the installer shows the Failed look instead of writing a folder at
// the root of the current drive, and it asks for no download.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestPaths.h"
#include "tests/common/TestServer.h"
#include "tests/flow/driver/FlowDriver.h"

namespace {

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kQueryPath[] = "/api/1/update/pcoffice/packageurl";
const char kPackagePath[] = "/pkg/CorvaneOfficeInstaller_CN.exe";

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Points the user's application-data folder at a drive that does not exist
// for the length of a test, then puts the old setting back.
class NoAppData : public ::testing::Test {
protected:
    void SetUp() override
    {
        flow::KillProcessesNamed(flow::kPackageName);
        ASSERT_TRUE(TestServer::Reset()) << "the test server does not answer (run inside tools/sandbox.sh)";
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_),
                  ERROR_SUCCESS);
        DWORD size = sizeof saved_;
        hadValue_ = RegQueryValueExW(key_, L"AppData", nullptr, &savedType_, reinterpret_cast<BYTE*>(saved_), &size) ==
                    ERROR_SUCCESS;
        savedSize_ = size;
        const wchar_t missing[] = L"Q:\\no-such-drive\\AppData";
        ASSERT_EQ(RegSetValueExW(key_, L"AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(missing), sizeof missing),
                  ERROR_SUCCESS);
        wchar_t current[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, current);
        driveRoot_ = std::wstring(current, 2) + L"\\CorvaneOfficeCN";
        ASSERT_FALSE(Exists(driveRoot_)) << "left over from an earlier run";
    }

    void TearDown() override
    {
        flow::KillProcessesNamed(flow::kPackageName);
        if (key_) {
            if (hadValue_)
                RegSetValueExW(key_, L"AppData", 0, savedType_, reinterpret_cast<const BYTE*>(saved_), savedSize_);
            else
                RegDeleteValueW(key_, L"AppData");
            RegCloseKey(key_);
        }
        // Only a faulty installer leaves these; do not let them outlive the test.
        DeleteFileW((driveRoot_ + L"\\Setup\\" + flow::kPackageName).c_str());
        RemoveDirectoryW((driveRoot_ + L"\\Setup").c_str());
        RemoveDirectoryW(driveRoot_.c_str());
        TestServer::Reset();
    }

    HKEY key_ = nullptr;
    bool hadValue_ = false;
    DWORD savedType_ = 0, savedSize_ = 0;
    wchar_t saved_[1024] = {};
    std::wstring driveRoot_;
};

TEST_F(NoAppData, ShowsTheFailedLookAndWritesNothingAtTheDriveRoot)
{
    ASSERT_TRUE(TestServer::SetCase(kQueryPath, std::string(R"({"body": "{\"resultCode\":0,\"url\":\"http://update.corvane.example)") +
                                                    kPackagePath + R"(\"}\n"})"));
    ASSERT_TRUE(TestServer::SetCase(kPackagePath, R"({"body_size": 1000})"));

    flow::Process installer;
    std::string error;
    ASSERT_TRUE(installer.Start(TEST_INSTALLER_EXE, &error)) << error;
    flow::Dialog dialog(installer.Id());
    ASSERT_TRUE(dialog.WaitFound(20000));
    std::string seen;
    EXPECT_TRUE(dialog.WaitLook(flow::Look::Failed, 20000, &seen)) << seen;

    EXPECT_FALSE(Exists(driveRoot_)) << "a setup folder was made at the root of the drive";
    int queries = 0, downloads = 0;
    for (const TestServer::Request& r : TestServer::Requests()) {
        queries += r.path == kQueryPath;
        downloads += r.path == kPackagePath;
    }
    EXPECT_EQ(queries, 1) << "the package URL was not asked for: the test proves nothing";
    EXPECT_EQ(downloads, 0);

    PostMessageW(dialog.Hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(installer.WaitExit(10000));
}

}  // namespace

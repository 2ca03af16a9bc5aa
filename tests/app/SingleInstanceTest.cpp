// The single-instance check against real processes: a small holder program
// is copied to a scratch folder under various names and started.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "app/SingleInstance.h"

namespace {

const wchar_t kExactName[] = L"CorvaneOfficeInstaller_CN.exe";
const wchar_t kSelfResultVar[] = L"CORVANE_SELF_CHECK_RESULT";

std::wstring ModulePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring Folder(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L"\\/"));
}

bool ProcessListed(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
        found = entry.th32ProcessID == pid;
    CloseHandle(snapshot);
    return found;
}

// A scratch folder with copies of programs in it, and the processes started
// from them; everything is ended and removed at the end of the test.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"corvane-instance-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
    }

    void TearDown() override
    {
        for (HANDLE process : processes_) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring CopyAs(const std::wstring& source, const wchar_t* name)
    {
        const std::wstring target = folder_ + L"\\" + name;
        EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << "copy to " << name;
        files_.push_back(target);
        return target;
    }

    // Starts `exe` and waits until the process list shows it; returns its handle.
    HANDLE Start(const std::wstring& exe, const std::wstring& args = L"")
    {
        std::wstring cmd = L"\"" + exe + L"\" " + args;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
            return nullptr;
        }
        CloseHandle(pi.hThread);
        processes_.push_back(pi.hProcess);
        for (int i = 0; i < 250 && !ProcessListed(pi.dwProcessId); ++i)
            Sleep(20);
        EXPECT_TRUE(ProcessListed(pi.dwProcessId));
        return pi.hProcess;
    }

    std::wstring Holder() const { return Folder(ModulePath()) + L"\\instance_holder.exe"; }

    std::wstring folder_;
    std::vector<std::wstring> files_;
    std::vector<HANDLE> processes_;
};

struct NameCase {
    const wchar_t* name;
    bool found;
};

void PrintTo(const NameCase& c, std::ostream* out)
{
    for (const wchar_t* p = c.name; *p; ++p)
        *out << static_cast<char>(*p < 128 ? *p : '?');
}

class RunningCopy : public Scratch, public ::testing::WithParamInterface<NameCase> {};

TEST_P(RunningCopy, IsRecognisedByTheExactNameOnly)
{
    ASSERT_FALSE(IsAnotherInstanceRunning()) << "a copy runs already before the test";
    Start(CopyAs(Holder(), GetParam().name));
    EXPECT_EQ(IsAnotherInstanceRunning(), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Names, RunningCopy,
                         ::testing::Values(NameCase{ L"CorvaneOfficeInstaller_CN.exe", true },
                                           NameCase{ L"corvaneofficeinstaller_cn.exe", false },
                                           NameCase{ L"CORVANEOFFICEINSTALLER_CN.EXE", false },
                                           NameCase{ L"CorvaneOfficeInstaller_CN (1).exe", false },
                                           NameCase{ L"CorvaneOfficeInstaller.exe", false },
                                           NameCase{ L"instance_holder.exe", false }));

// Runs only inside the copy that SelfCheck starts: reports what the check
// answers in a program that itself bears the exact name.
TEST(SelfCheckChild, Report)
{
    wchar_t resultFile[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(kSelfResultVar, resultFile, MAX_PATH))
        GTEST_SKIP() << "runs only as the child of SelfCheck";
    const std::wstring self = ModulePath();
    const bool exactName = self.size() >= wcslen(kExactName) &&
                           self.compare(self.size() - wcslen(kExactName), std::wstring::npos, kExactName) == 0;
    std::ofstream(resultFile) << (exactName ? (IsAnotherInstanceRunning() ? "found" : "none") : "wrong-name");
}

TEST_F(Scratch, SelfCheckAProgramDoesNotFindItself)
{
    ASSERT_FALSE(IsAnotherInstanceRunning()) << "a copy runs already before the test";
    const std::wstring result = folder_ + L"\\self-result.txt";
    files_.push_back(result);
    SetEnvironmentVariableW(kSelfResultVar, result.c_str());
    HANDLE child = Start(CopyAs(ModulePath(), kExactName), L"--gtest_filter=SelfCheckChild.Report");
    SetEnvironmentVariableW(kSelfResultVar, nullptr);
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(WaitForSingleObject(child, 60000), WAIT_OBJECT_0);

    std::string answer;
    std::ifstream(result.c_str()) >> answer;
    EXPECT_EQ(answer, "none");
}

}  // namespace

// The installer's window read back from the running program: its outer size,
// its place on the screen and every control's pixel rectangle.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestPaths.h"
#include "res/resource.h"
#include "tests/flow/driver/FlowDriver.h"

// RECT lives in the global namespace, so its operators must too.
static std::ostream& operator<<(std::ostream& out, const RECT& r)
{
    return out << "{" << r.left << "," << r.top << " " << (r.right - r.left) << "x" << (r.bottom - r.top) << "}";
}

static bool operator==(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

namespace {

RECT Box(int x, int y, int w, int h)
{
    return RECT{ x, y, x + w, y + h };
}

class InstallerWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A copy left running by an earlier test in this sandbox (or the
        // package it opened, which bears the same name) would end ours at once.
        flow::KillProcessesNamed(flow::kPackageName);
        std::string error;
        ASSERT_TRUE(process_.Start(TEST_INSTALLER_EXE, &error)) << error;
        dialog_ = std::make_unique<flow::Dialog>(process_.Id());
        ASSERT_TRUE(dialog_->WaitFound(20000)) << "no installer dialog";
        // The layout is done inside WM_INITDIALOG, before the window shows.
        ASSERT_TRUE(flow::WaitUntil([this] { return IsWindowVisible(dialog_->Hwnd()) != FALSE; }, 10000));
        resources_ = LoadLibraryExW(TEST_INSTALLER_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(resources_, nullptr);
    }

    void TearDown() override
    {
        if (resources_)
            FreeLibrary(resources_);
        // IDOK ends the dialog at once in every look.
        if (dialog_ && dialog_->Exists())
            PostMessageW(dialog_->Hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        DWORD code = 0;
        if (process_.WaitExit(10000, &code)) {
            EXPECT_EQ(code, 0u) << "the program sets no exit code of its own";
        }
    }

    std::wstring String(UINT id) const
    {
        const wchar_t* text = nullptr;
        const int length = LoadStringW(resources_, id, reinterpret_cast<LPWSTR>(&text), 0);
        return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
    }

    // The extent of a string in the default font of a device context of the
    // dialog, as the program measures it.
    SIZE Extent(UINT id) const
    {
        const std::wstring text = String(id);
        EXPECT_FALSE(text.empty()) << "string " << id;
        HDC dc = GetDC(dialog_->Hwnd());
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        ReleaseDC(dialog_->Hwnd(), dc);
        return size;
    }

    RECT ClientBox(int id) const
    {
        RECT r{};
        HWND control = GetDlgItem(dialog_->Hwnd(), id);
        EXPECT_NE(control, nullptr) << "control " << id;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog_->Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    flow::Process process_;
    std::unique_ptr<flow::Dialog> dialog_;
    HMODULE resources_ = nullptr;
};

TEST_F(InstallerWindow, HasTheFixedOuterSizeAndIsCentred)
{
    RECT window{};
    GetWindowRect(dialog_->Hwnd(), &window);
    EXPECT_EQ(window.right - window.left, 700);
    EXPECT_EQ(window.bottom - window.top, 486);

    // The template says 0,0; the framework centres the dialog because the
    // layout changed only its size.
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR(window.left - area.left, (area.right - area.left - 700) / 2, 1);
    EXPECT_NEAR(window.top - area.top, (area.bottom - area.top - 486) / 2, 1);
}

TEST_F(InstallerWindow, PlacesEveryControlByTheMeasuredTexts)
{
    const int h = Extent(IDS_CONNECTING).cy;
    const int link = Extent(IDS_HELP_LINK).cx;
    const int close = Extent(IDS_CLOSE).cx;
    const int retry = Extent(IDS_RETRY).cx;
    ASSERT_GT(h, 0);
    const int closeWidth = close < 80 ? 80 : close + 20;

    const struct {
        int id;
        RECT expected;
    } controls[] = {
        { IDC_BANNER, Box(0, 0, 700, 314) },
        { IDC_PROGRESS, Box(0, 314, 700, 5) },
        { IDC_STATUS_TEXT, Box(30, 343, 500, h) },
        { IDC_DETAIL_TEXT, Box(30, 343 + h, 500, 2 * h) },
        { IDC_HELP_LINK, Box(30, 427, link, 18) },
        { IDCANCEL, Box((700 - closeWidth) / 2, 415, closeWidth, 30) },
        { IDRETRY, Box(680 - (retry + 20), 415, retry + 20, 30) },
    };
    for (const auto& c : controls)
        EXPECT_EQ(ClientBox(c.id), c.expected) << "control " << c.id;
}

TEST_F(InstallerWindow, ShowsTheBannerAndTheFixedTexts)
{
    HWND banner = GetDlgItem(dialog_->Hwnd(), IDC_BANNER);
    EXPECT_NE(SendMessageW(banner, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "no banner bitmap";

    EXPECT_EQ(dialog_->Text(flow::kIdCancel), String(IDS_CLOSE));
    EXPECT_EQ(dialog_->Text(flow::kIdRetry), String(IDS_RETRY));
    EXPECT_EQ(dialog_->Text(flow::kIdDetail), String(IDS_FIREWALL_HINT));
    EXPECT_EQ(dialog_->Text(flow::kIdHelpLink),
              L"<A HREF=\"https://www.corvane.example/help/troubleshoot-installation-problems\">查看帮助</A>");

    wchar_t title[128] = {};
    GetWindowTextW(dialog_->Hwnd(), title, 128);
    EXPECT_EQ(std::wstring(title), String(IDS_TITLE));
}

}  // namespace

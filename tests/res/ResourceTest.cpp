// Reads the resources back out of the built installer, the way Windows and
// the program itself find them: by type, id and language.
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

const WORD kChinese = 2052;  // zh-CN
const WORD kKorean = 1042;   // ko-KR
const WORD kEnglish = 1033;  // en-US

// The build names the program by its path on this machine. Wine resolves that
// Unix path too, but the drive form (this machine's root is Z:) is the one a
// Windows program is meant to be given.
std::wstring InstallerPath()
{
    std::wstring path = L"" CORVANE_INSTALLER_EXE;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (!path.empty() && path[0] == L'\\')
        path = L"Z:" + path;
    return path;
}

struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;

    uint16_t U16(size_t at) const { uint16_t v; memcpy(&v, data + at, 2); return v; }
    uint32_t U32(size_t at) const { uint32_t v; memcpy(&v, data + at, 4); return v; }
    uint32_t BigU32(size_t at) const
    {
        return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 | data[at + 3];
    }
    std::string Text(size_t at, size_t n) const { return std::string(reinterpret_cast<const char*>(data + at), n); }
};

class InstallerResources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module = LoadLibraryExW(InstallerPath().c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite()
    {
        if (module)
            FreeLibrary(module);
        module = nullptr;
    }
    void SetUp() override { ASSERT_NE(nullptr, module) << "cannot load " << testing::PrintToString(InstallerPath()); }

    static Bytes Raw(LPCWSTR type, LPCWSTR name, WORD language)
    {
        Bytes b;
        HRSRC found = FindResourceExW(module, type, name, language);
        if (!found)
            return b;
        b.data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
        b.size = SizeofResource(module, found);
        return b;
    }

    static std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name)
    {
        std::vector<WORD> found;
        EnumResourceLanguagesW(
            module, type, name,
            [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
                reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&found));
        std::sort(found.begin(), found.end());
        return found;
    }

    static HMODULE module;
};

HMODULE InstallerResources::module = nullptr;

// Each resource exists in exactly one language (two for the version block),
// so a lookup by id finds it whatever the user's language is.
TEST_F(InstallerResources, EachResourceHasItsLanguage)
{
    struct Case {
        LPCWSTR type;
        int id;
        std::vector<WORD> languages;
    } cases[] = {
        {RT_DIALOG, IDD_WYINSTALLER_DIALOG, {kChinese}},
        {RT_STRING, IDS_CONNECTING / 16 + 1, {kChinese}},
        {RT_STRING, IDS_FIREWALL_HINT / 16 + 1, {kChinese}},
        {L"PNG", IDB_BANNER, {kKorean}},
        {RT_GROUP_ICON, IDR_MAINFRAME, {kKorean}},
        {RT_VERSION, 1, {kEnglish, kKorean}},
        {RT_MANIFEST, 1, {kEnglish}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.languages, Languages(c.type, MAKEINTRESOURCEW(c.id))) << "resource id " << c.id;
}

// Every visible text of the installer; ids 128..159 share the two blocks, and
// any id of those blocks not listed here must stay empty.
TEST_F(InstallerResources, StringTableHoldsExactlyTheTexts)
{
    struct Case {
        UINT id;
        std::wstring text;
    } cases[] = {
        {IDS_CONNECTING, L"正在连接互联网以下载安装文件。"},
        {IDS_NO_INTERNET, L"无法连接到互联网。"},
        {IDS_HELP_LINK, L"<A HREF=%s>查看帮助</A>"},
        {IDS_CLOSE, L"关闭"},
        {IDS_RETRY, L"重试"},
        {IDS_CANCEL_CAPTION, L"确认取消安装"},
        {IDS_TITLE, L"澈岚Office安装程序"},
        {IDS_DOWNLOAD_FAILED, L"澈岚Office下载失败。"},
        {IDS_DOWNLOADING, L"正在下载澈岚Office…"},
        {IDS_CANCEL_PROMPT, L"澈岚Office尚未完成安装。\n要取消安装吗？"},
        {IDS_FIREWALL_HINT, L"检查电脑是否连接到互联网以及防火墙是否允许访问CorvaneOfficeInstaller_CN.exe，然后重试。"},
    };
    // The punctuation is full width, the ellipsis one character, the line
    // break a real line feed; an editor "tidying" them would go unnoticed above.
    EXPECT_EQ(std::wstring(L"\u3002\n\u8981"), cases[9].text.substr(cases[9].text.find(L'\n') - 1, 3));
    EXPECT_EQ(L'\uFF1F', cases[9].text.back());
    EXPECT_EQ(L'\u2026', cases[8].text.back());
    EXPECT_NE(std::wstring::npos, cases[10].text.find(L'\uFF0C'));

    for (UINT id = 128; id < 160; ++id) {
        Bytes block = Raw(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), kChinese);
        ASSERT_NE(nullptr, block.data) << "string block of id " << id;
        size_t at = 0;
        for (UINT n = 0; n < id % 16; ++n)
            at += 2 + 2 * block.U16(at);
        ASSERT_LE(at + 2 + 2 * block.U16(at), block.size);
        std::wstring text(reinterpret_cast<const wchar_t*>(block.data + at + 2), block.U16(at));
        auto it = std::find_if(std::begin(cases), std::end(cases), [id](const Case& c) { return c.id == id; });
        EXPECT_EQ(it == std::end(cases) ? std::wstring() : it->text, text) << "string id " << id;
    }

    // The program loads them with the system's string loader.
    wchar_t buffer[128] = {};
    EXPECT_EQ(int(cases[6].text.size()), LoadStringW(module, IDS_TITLE, buffer, 128));
    EXPECT_EQ(cases[6].text, buffer);
}

TEST_F(InstallerResources, DialogTemplate)
{
    Bytes t = Raw(RT_DIALOG, MAKEINTRESOURCEW(IDD_WYINSTALLER_DIALOG), kChinese);
    ASSERT_NE(nullptr, t.data);
    ASSERT_GE(t.size, 26u);

    size_t at = 0;
    auto word = [&] { uint16_t v = t.U16(at); at += 2; return v; };
    auto dword = [&] { uint32_t v = t.U32(at); at += 4; return v; };
    auto text = [&] {
        std::wstring s;
        while (at + 2 <= t.size && t.U16(at))
            s += wchar_t(word());
        at += 2;
        return s;
    };
    // A class or menu field: an ordinal (0xFFFF, n), empty (0) or a name.
    auto nameOrOrdinal = [&]() -> std::wstring {
        if (t.U16(at) == 0xFFFF) {
            at += 2;
            return L"#" + std::to_wstring(word());
        }
        return text();
    };

    EXPECT_EQ(1, word());       // dlgVer
    EXPECT_EQ(0xFFFF, word());  // signature: extended template
    EXPECT_EQ(0u, dword());     // help id
    EXPECT_EQ(DWORD(WS_EX_APPWINDOW), dword());
    EXPECT_EQ(DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS),
              dword());
    const uint16_t count = word();
    EXPECT_EQ(8, count);
    EXPECT_EQ(std::vector<int>({0, 0, 395, 257}),
              std::vector<int>({int16_t(word()), int16_t(word()), int16_t(word()), int16_t(word())}));
    EXPECT_EQ(L"", nameOrOrdinal());  // menu
    EXPECT_EQ(L"", nameOrOrdinal());  // window class
    EXPECT_EQ(L"", text());           // caption
    EXPECT_EQ(9, word());             // points
    EXPECT_EQ(0, word());             // weight
    EXPECT_EQ(0, t.data[at]);         // italic
    EXPECT_EQ(DEFAULT_CHARSET, t.data[at + 1]);
    at += 2;
    EXPECT_EQ(L"SimSun", text());

    struct Control {
        int id;
        std::wstring cls;
        DWORD style;
        int x, y, w, h;
    };
    const DWORD child = WS_CHILD, shown = WS_CHILD | WS_VISIBLE;
    const Control expected[] = {
        {IDC_BANNER, L"#130", shown | SS_BITMAP | SS_CENTERIMAGE, 0, 0, 395, 177},
        {IDC_STATUS_TEXT, L"#130", shown | SS_LEFT | WS_GROUP, 17, 194, 290, 10},
        {IDC_DETAIL_TEXT, L"#130", child | SS_LEFT | WS_GROUP, 17, 204, 290, 20},
        {IDOK, L"#128", child | BS_DEFPUSHBUTTON | WS_TABSTOP, 209, 54, 50, 14},
        {IDCANCEL, L"#128", child | BS_PUSHBUTTON | WS_TABSTOP, 172, 235, 50, 14},
        {IDRETRY, L"#128", child | BS_PUSHBUTTON | WS_TABSTOP, 340, 235, 50, 14},
        {IDC_HELP_LINK, L"SysLink", child | WS_TABSTOP, 17, 239, 45, 10},
        {IDC_PROGRESS, L"msctls_progress32", shown | PBS_SMOOTH, 0, 177, 395, 3},
    };
    for (int i = 0; i < count && i < 8; ++i) {
        const Control& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(e.id));
        at = (at + 3) & ~size_t(3);
        ASSERT_LE(at + 24, t.size);
        EXPECT_EQ(0u, dword());  // help id
        EXPECT_EQ(0u, dword());  // extended style
        EXPECT_EQ(e.style, dword());
        EXPECT_EQ(std::vector<int>({e.x, e.y, e.w, e.h}),
                  std::vector<int>({int16_t(word()), int16_t(word()), int16_t(word()), int16_t(word())}));
        EXPECT_EQ(DWORD(e.id), dword());
        // Window class names match without regard to case, and the resource
        // compiler stores named classes upper-cased.
        const std::wstring cls = nameOrOrdinal();
        EXPECT_EQ(0, _wcsicmp(e.cls.c_str(), cls.c_str())) << "class " << testing::PrintToString(cls);
        EXPECT_EQ(L"", nameOrOrdinal());  // text
        EXPECT_EQ(0, word());             // no creation data
    }
    EXPECT_EQ(t.size, at);
}

TEST_F(InstallerResources, VersionBlockInBothLanguages)
{
    struct Language {
        WORD id;
        const wchar_t* block;
    } languages[] = {{kEnglish, L"040904b0"}, {kKorean, L"041204B0"}};
    struct Value {
        const wchar_t* name;
        std::wstring text;
    } values[] = {
        {L"FileDescription", L"澈岚Office安装程序"},
        {L"FileVersion", L"7, 1, 11, 70954"},
        {L"ProductVersion", L"7, 1, 11, 70954"},
        {L"InternalName", L"CorvaneOfficeInstaller_CN.exe"},
        {L"OriginalFilename", L"CorvaneOfficeInstaller_CN.exe"},
        {L"ProductName", L"澈岚Office"},
        {L"CompanyName", L"Corvane"},
        {L"LegalCopyright", L"© 2026 Corvane. All rights reserved."},
    };
    for (const Language& language : languages) {
        SCOPED_TRACE(language.id);
        Bytes raw = Raw(RT_VERSION, MAKEINTRESOURCEW(1), language.id);
        ASSERT_NE(nullptr, raw.data);
        // The string block's key is stored with its exact letters (the query
        // below would find it in any case).
        const std::wstring key(language.block);
        EXPECT_TRUE(std::search(raw.data, raw.data + raw.size, reinterpret_cast<const uint8_t*>(key.c_str()),
                                reinterpret_cast<const uint8_t*>(key.c_str() + key.size())) != raw.data + raw.size);
        // The version functions may write into the block: give them a copy
        // with room, as the file version loader does.
        std::vector<uint8_t> copy(raw.data, raw.data + raw.size);
        copy.resize(raw.size * 3);

        void* p = nullptr;
        UINT len = 0;
        ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\", &p, &len));
        ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), len);
        const VS_FIXEDFILEINFO& f = *static_cast<VS_FIXEDFILEINFO*>(p);
        EXPECT_EQ(0xFEEF04BDu, f.dwSignature);
        EXPECT_EQ(0x00070001u, f.dwFileVersionMS);
        EXPECT_EQ(0x000B0000u | 5418u, f.dwFileVersionLS);
        EXPECT_EQ(0x00070001u, f.dwProductVersionMS);
        EXPECT_EQ(0x000B0000u | 5418u, f.dwProductVersionLS);
        EXPECT_EQ(0x3Fu, f.dwFileFlagsMask);
        EXPECT_EQ(0u, f.dwFileFlags);
        EXPECT_EQ(DWORD(VOS_NT_WINDOWS32), f.dwFileOS);
        EXPECT_EQ(DWORD(VFT_APP), f.dwFileType);
        EXPECT_EQ(0u, f.dwFileSubtype);
        EXPECT_EQ(0u, f.dwFileDateMS | f.dwFileDateLS);

        ASSERT_TRUE(VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", &p, &len));
        ASSERT_EQ(4u, len);
        EXPECT_EQ(language.id, static_cast<WORD*>(p)[0]);
        EXPECT_EQ(1200, static_cast<WORD*>(p)[1]);

        for (const Value& v : values) {
            const std::wstring path = L"\\StringFileInfo\\" + key + L"\\" + v.name;
            wchar_t* s = nullptr;
            ASSERT_TRUE(VerQueryValueW(copy.data(), path.c_str(), reinterpret_cast<void**>(&s), &len)) << v.name;
            EXPECT_EQ(v.text, s) << v.name;
        }
    }

    // The client description reads the file's own block: whichever language
    // the loader picks, the product version is the 16-bit 7.1.11.5418.
    const std::wstring path = InstallerPath();
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_NE(0u, size);
    std::vector<uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    void* p = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &p, &len));
    const VS_FIXEDFILEINFO& f = *static_cast<VS_FIXEDFILEINFO*>(p);
    EXPECT_EQ((std::vector<int>{7, 1, 11, 5418}),
              (std::vector<int>{HIWORD(f.dwProductVersionMS), LOWORD(f.dwProductVersionMS),
                                HIWORD(f.dwProductVersionLS), LOWORD(f.dwProductVersionLS)}));
}

TEST_F(InstallerResources, ManifestAsksForCommonControlsSixWithoutElevation)
{
    Bytes m = Raw(RT_MANIFEST, MAKEINTRESOURCEW(1), kEnglish);
    ASSERT_NE(nullptr, m.data);
    const std::string xml = m.Text(0, m.size);
    const char* wanted[] = {
        "name=\"Microsoft.Windows.Common-Controls\"",
        "version=\"6.0.0.0\"",
        "processorArchitecture=\"" CORVANE_ARCH "\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
        "language=\"*\"",
        "level=\"asInvoker\"",
        "uiAccess=\"false\"",
        ">true</dpiAware>",
    };
    for (const char* w : wanted)
        EXPECT_NE(std::string::npos, xml.find(w)) << w;
    EXPECT_EQ(std::string::npos, xml.find("supportedOS"));
    // A 64-bit program must not ask for the x86 assembly, or it does not start.
    EXPECT_STREQ(sizeof(void*) == 8 ? "amd64" : "x86", CORVANE_ARCH);

    // The loader must accept it: build an activation context from it.
    const std::wstring path = InstallerPath();
    ACTCTXW ctx = {};
    ctx.cbSize = sizeof ctx;
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = path.c_str();
    ctx.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE handle = CreateActCtxW(&ctx);
    EXPECT_NE(INVALID_HANDLE_VALUE, handle) << "error " << GetLastError();
    if (handle != INVALID_HANDLE_VALUE)
        ReleaseActCtx(handle);
}

// Walks the chunk list, checking lengths, order and the chunks that carry
// the colour profile, chromaticity and 72 dpi.
TEST_F(InstallerResources, BannerIsAPlainRgbPngWithColourChunks)
{
    Bytes png = Raw(L"PNG", MAKEINTRESOURCEW(IDB_BANNER), kKorean);
    ASSERT_NE(nullptr, png.data);
    ASSERT_GT(png.size, 33u);
    ASSERT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.Text(0, 8));

    std::vector<std::string> order;
    size_t at = 8;
    while (at + 12 <= png.size) {
        const uint32_t length = png.BigU32(at);
        const std::string type = png.Text(at + 4, 4);
        ASSERT_LE(at + 12 + length, png.size) << type;
        const size_t body = at + 8;
        if (order.empty() || order.back() != type)
            order.push_back(type);
        if (type == "IHDR") {
            ASSERT_EQ(13u, length);
            EXPECT_EQ(700u, png.BigU32(body));
            EXPECT_EQ(314u, png.BigU32(body + 4));
            EXPECT_EQ(8, png.data[body + 8]);   // bits per channel
            EXPECT_EQ(2, png.data[body + 9]);   // RGB, no alpha
            EXPECT_EQ(0, png.data[body + 12]);  // not interlaced
        } else if (type == "pHYs") {
            ASSERT_EQ(9u, length);
            EXPECT_EQ(2835u, png.BigU32(body));
            EXPECT_EQ(2835u, png.BigU32(body + 4));
            EXPECT_EQ(1, png.data[body + 8]);  // per metre
        } else if (type == "iCCP") {
            const size_t name = png.Text(body, length).find('\0');
            ASSERT_NE(std::string::npos, name);
            EXPECT_GE(name, 1u);
            EXPECT_EQ(0, png.data[body + name + 1]);  // deflate
            EXPECT_GT(length, name + 2);
        } else if (type == "cHRM") {
            EXPECT_EQ(32u, length);
        }
        at += 12 + length;
    }
    EXPECT_EQ(png.size, at);
    EXPECT_EQ((std::vector<std::string>{"IHDR", "iCCP", "cHRM", "pHYs", "IDAT", "IEND"}), order);

    // And the system's decoder, which the window's PNG loader uses, reads it.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        IWICImagingFactory* factory = nullptr;
        IWICStream* stream = nullptr;
        IWICBitmapDecoder* decoder = nullptr;
        IWICBitmapFrameDecode* frame = nullptr;
        UINT w = 0, h = 0;
        HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&factory));
        if (SUCCEEDED(hr))
            hr = factory->CreateStream(&stream);
        if (SUCCEEDED(hr))
            hr = stream->InitializeFromMemory(const_cast<BYTE*>(png.data), DWORD(png.size));
        if (SUCCEEDED(hr))
            hr = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnLoad, &decoder);
        if (SUCCEEDED(hr))
            hr = decoder->GetFrame(0, &frame);
        if (SUCCEEDED(hr))
            hr = frame->GetSize(&w, &h);
        // Decoding every pixel proves the compressed data is whole.
        std::vector<BYTE> pixels(size_t(w) * h * 3);
        if (SUCCEEDED(hr))
            hr = frame->CopyPixels(nullptr, w * 3, UINT(pixels.size()), pixels.data());
        EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
        EXPECT_EQ(700u, w);
        EXPECT_EQ(314u, h);
        for (IUnknown* u : {static_cast<IUnknown*>(frame), static_cast<IUnknown*>(decoder),
                            static_cast<IUnknown*>(stream), static_cast<IUnknown*>(factory)})
            if (u)
                u->Release();
    }
    CoUninitialize();
}

TEST_F(InstallerResources, IconGroupHoldsTwelveImages)
{
    Bytes group = Raw(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME), kKorean);
    ASSERT_NE(nullptr, group.data);
    ASSERT_GE(group.size, 6u);
    EXPECT_EQ(0, group.U16(0));
    EXPECT_EQ(1, group.U16(2));  // icons, not cursors
    const struct {
        int size, bits;
    } expected[] = {{16, 8},  {32, 8},  {48, 8},  {16, 32}, {24, 32},  {32, 32},
                    {40, 32}, {48, 32}, {64, 32}, {96, 32}, {128, 32}, {256, 32}};
    const int count = group.U16(4);
    ASSERT_EQ(12, count);
    ASSERT_EQ(6u + 14u * count, group.size);

    for (int i = 0; i < count; ++i) {
        const size_t e = 6 + 14 * i;
        const int size = group.data[e] ? group.data[e] : 256;
        SCOPED_TRACE("image " + std::to_string(i) + ", " + std::to_string(size) + " px");
        EXPECT_EQ(expected[i].size, size);
        EXPECT_EQ(size, group.data[e + 1] ? group.data[e + 1] : 256);
        EXPECT_EQ(1, group.U16(e + 4));  // planes
        EXPECT_EQ(expected[i].bits, group.U16(e + 6));
        const WORD id = group.U16(e + 12);
        EXPECT_EQ(std::vector<WORD>{kKorean}, Languages(RT_ICON, MAKEINTRESOURCEW(id)));

        Bytes image = Raw(RT_ICON, MAKEINTRESOURCEW(id), kKorean);
        ASSERT_NE(nullptr, image.data);
        EXPECT_EQ(group.U32(e + 8), image.size);
        if (size == 256) {
            ASSERT_GE(image.size, 24u);
            EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), image.Text(0, 8));
            EXPECT_EQ(256u, image.BigU32(16));
            EXPECT_EQ(256u, image.BigU32(20));
        } else {
            ASSERT_GE(image.size, 40u);
            EXPECT_EQ(40u, image.U32(0));                     // BITMAPINFOHEADER
            EXPECT_EQ(uint32_t(size), image.U32(4));          // width
            EXPECT_EQ(uint32_t(size * 2), image.U32(8));      // colour plus mask
            EXPECT_EQ(expected[i].bits, image.U16(14));
        }
        // The system's icon loader accepts every image.
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data), DWORD(image.size), TRUE, 0x00030000,
                                              size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(nullptr, icon);
        if (icon)
            DestroyIcon(icon);
    }
}

}  // namespace

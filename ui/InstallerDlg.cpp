#include "ui/InstallerDlg.h"

#include <shellapi.h>
#include <shlobj.h>
#include <uxtheme.h>
#include <wininet.h>

#include <cstdlib>
#include <cwchar>
#include <new>

#include "BuildConfig.h"
#include "afx/App.h"
#include "afx/File.h"
#include "afx/PngImage.h"
#include "app/SingleInstance.h"
#include "ui/Layout.h"

// Private messages. A worker sends WM_SHOW_DOWNLOADING (and waits for it) so
// that the window changes its look on its own thread; it posts
// WM_END_AFTER_CANCEL so that a confirmed cancel ends the dialog there too.
#define WM_END_AFTER_CANCEL (WM_USER + 4)
#define WM_SHOW_DOWNLOADING (WM_USER + 5)

// After a confirmed cancel the window waits this long for the stopped
// download's result, then ends anyway: a read blocked on a stalled server
// may not give up when its handle is closed (WinINet under Wine does not),
// and the user has asked to leave.
static const UINT_PTR kCancelTimer = 1;
static const UINT kCancelWaitMs = 500;

static const wchar_t kPackageFileName[] = L"CorvaneOfficeInstaller_CN.exe";

// ---- the window's callbacks ---------------------------------------------------

// The dispatcher calls these on its workers only inside NetGate and only while
// the manager that started the task lives. The dialog deletes its manager in
// its destructor, under that gate, so a callback never reaches a dialog that
// is gone; one for an ended dialog whose object still lives only posts or
// sends to windows that no longer exist, which does nothing.
void OnNetTaskResult(void* owner, NetTaskResult* result)
{
    if (owner)
        static_cast<CWyInstallerDlg*>(owner)->OnTaskResult(result);
}

void OnDownloadProgress(void* owner, UINT /*taskId*/, int bytesDone, int bytesTotal)
{
    if (owner)
        static_cast<CWyInstallerDlg*>(owner)->ReportProgress(bytesDone, bytesTotal);
}

// ---- construction -------------------------------------------------------------

CWyInstallerDlg::CWyInstallerDlg()
    : CDialogEx(IDD_WYINSTALLER_DIALOG, nullptr),
      m_hIcon(::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_bOffline(FALSE),
      m_bCancelConfirmed(FALSE),
      m_bFirstProgress(TRUE),
      m_pNetManager(nullptr),
      m_pszPackageUrl(nullptr)
{
    m_pNetManager = new (std::nothrow) CKoNetManager(this);
}

CWyInstallerDlg::~CWyInstallerDlg()
{
    m_font.DeleteObject();
    // Waits for a callback that runs now; no later one reaches the dialog.
    if (m_pNetManager) {
        delete m_pNetManager;
        m_pNetManager = nullptr;
    }
    free(m_pszPackageUrl.exchange(nullptr));
    if (m_hBanner)
        ::DeleteObject(m_hBanner);
}

BEGIN_MESSAGE_MAP(CWyInstallerDlg, CDialogEx)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDRETRY, OnClickedRetry)
    ON_MESSAGE(WM_PACKAGE_URL_READY, OnPackageUrlReady)
    ON_MESSAGE(WM_DOWNLOAD_DONE, OnDownloadDone)
    ON_MESSAGE(WM_INSTALL_FAILED, OnInstallFailed)
    ON_NOTIFY(NM_CLICK, IDC_HELP_LINK, OnClickHelpLink)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_END_AFTER_CANCEL, OnEndAfterCancel)
    ON_MESSAGE(WM_SHOW_DOWNLOADING, OnShowDownloading)
    ON_MESSAGE(WM_TIMER, OnTimer)
END_MESSAGE_MAP()

void CWyInstallerDlg::DoDataExchange(CDataExchange* dx)
{
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_BANNER, m_picBanner);
    DDX_Control(dx, IDC_STATUS_TEXT, m_txtStatus);
    DDX_Control(dx, IDC_DETAIL_TEXT, m_txtDetail);
    DDX_Control(dx, IDC_HELP_LINK, m_lnkHelp);
    DDX_Control(dx, IDC_PROGRESS, m_progress);
    DDX_Control(dx, IDRETRY, m_btnRetry);
    DDX_Control(dx, IDCANCEL, m_btnClose);
}

// ---- the look -----------------------------------------------------------------

void CWyInstallerDlg::InitDialogFont()
{
    CWindowDC screen(nullptr);

    NONCLIENTMETRICSW metrics{};
    static_assert(sizeof metrics == 504, "NONCLIENTMETRICSW with the padded border width");
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);

    LOGFONTW font{};
    font.lfHeight = CapFontHeight(metrics.lfMenuFont.lfHeight);
    font.lfWeight = metrics.lfMenuFont.lfWeight;
    font.lfItalic = metrics.lfMenuFont.lfItalic;
    font.lfCharSet = static_cast<BYTE>(::GetTextCharsetInfo(screen.GetSafeHdc(), nullptr, 0));
    wcsncpy(font.lfFaceName, metrics.lfMenuFont.lfFaceName, LF_FACESIZE - 1);
    m_font.CreateFontIndirect(&font);

    const WPARAM hfont = reinterpret_cast<WPARAM>(m_font.GetSafeHandle());
    SendMessage(WM_SETFONT, hfont, TRUE);
    SendMessageToDescendants(WM_SETFONT, hfont, TRUE);
}

void CWyInstallerDlg::InitControlLook()
{
    CPngImage banner;
    if (banner.Load(IDB_BANNER, AfxGetResourceHandle())) {
        // The picture control does not free the bitmap; the dialog does, once
        // its window is gone.
        m_hBanner = static_cast<HBITMAP>(banner.Detach());
        HBITMAP previous = m_picBanner.SetBitmap(m_hBanner);
        if (previous && previous != m_hBanner)
            ::DeleteObject(previous);
    }

    m_brWhite.CreateSolidBrush(RGB(255, 255, 255));

    CString text;
    text.LoadString(IDS_CLOSE);
    m_btnClose.SetWindowText(text);
    text.LoadString(IDS_RETRY);
    m_btnRetry.SetWindowText(text);
    text.LoadString(IDS_FIREWALL_HINT);
    m_txtDetail.SetWindowText(text);

    CString format;
    if (format.LoadString(IDS_HELP_LINK)) {
        CString link;
        link.Format(format, L"\"" CORVANE_HELP_URL L"\"");
        m_lnkHelp.SetWindowText(link);
    }

    m_progress.SetBarColor(RGB(29, 130, 255));
    m_progress.SetBkColor(RGB(230, 230, 230));
    m_progress.SetRange(0, 100);
}

void CWyInstallerDlg::LayoutControls()
{
    using namespace layout;
    const UINT keep = SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(nullptr, 0, 0, kWindowWidth, kWindowHeight, keep | SWP_NOMOVE);
    m_picBanner.SetWindowPos(nullptr, 0, 0, kWindowWidth, kBannerHeight, keep);
    m_progress.SetWindowPos(nullptr, 0, kBannerHeight, kWindowWidth, kProgressHeight, keep);

    // Measured in the window's default font, as loaded, without formatting.
    CSize connecting, link, close, retry;
    {
        CClientDC dc(this);
        CString text;
        text.LoadString(IDS_CONNECTING);
        connecting = dc.GetTextExtent(text);
        text.LoadString(IDS_HELP_LINK);
        link = dc.GetTextExtent(text);
        text.LoadString(IDS_CLOSE);
        close = dc.GetTextExtent(text);
        text.LoadString(IDS_RETRY);
        retry = dc.GetTextExtent(text);
    }

    const int h = connecting.cy;
    m_txtStatus.SetWindowPos(nullptr, kTextLeft, kTextTop, kTextWidth, h, keep);
    m_txtDetail.SetWindowPos(nullptr, kTextLeft, kTextTop + h, kTextWidth, 2 * h, keep);
    m_lnkHelp.SetWindowPos(nullptr, kTextLeft, kLinkTop, link.cx, kLinkHeight, keep);
    const int closeWidth = CloseButtonWidth(close.cx);
    m_btnClose.SetWindowPos(nullptr, (kWindowWidth - closeWidth) / 2, kButtonTop, closeWidth, kButtonHeight, keep);
    const int retryWidth = RetryButtonWidth(retry.cx);
    m_btnRetry.SetWindowPos(nullptr, kRetryRight - retryWidth, kButtonTop, retryWidth, kButtonHeight, keep);
}

void CWyInstallerDlg::OnPaint()
{
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        RECT rect;
        GetClientRect(&rect);
        const int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        CPaintDC dc(this);
        PaintBackground(dc);
        CDialogEx::OnPaint();
    }
}

void CWyInstallerDlg::PaintBackground(CDC& dc)
{
    RECT rect;
    GetClientRect(&rect);
    RECT banner;
    m_picBanner.GetWindowRect(&banner);
    ScreenToClient(&banner);
    rect.top = banner.bottom + 1;
    dc.SetBkMode(TRANSPARENT);
    dc.FillRect(&rect, &m_brWhite);
}

HCURSOR CWyInstallerDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

HBRUSH CWyInstallerDlg::OnCtlColor(CDC* dc, CWnd* control, UINT kind)
{
    HBRUSH brush = CDialogEx::OnCtlColor(dc, control, kind);
    if (kind == CTLCOLOR_STATIC && control) {
        switch (control->GetDlgCtrlID()) {
        case IDC_STATUS_TEXT:
        case IDC_DETAIL_TEXT:
        case IDC_HELP_LINK:
        case IDC_BANNER:
            // These stand on the white that PaintBackground lays down.
            dc->SetBkMode(TRANSPARENT);
            return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
        default:
            break;
        }
    }
    return brush;
}

// ---- the looks of the flow ------------------------------------------------------

namespace {

enum class Show { Keep, Shown, Hidden };
enum class Bar { Keep, Marquee, Percent };

struct LookRow {
    CWyInstallerDlg::Look look;
    UINT status;
    Show detail, help, retry, close;
    Bar bar;
};

// What each look shows. Controls marked Keep stay as the previous look left
// them: the Connecting look leaves Close alone, and Downloading follows
// Connecting, which has hidden everything already.
const LookRow kLooks[] = {
    // look                             status               detail        help          retry         close         bar
    { CWyInstallerDlg::Look::Connecting,  IDS_CONNECTING,      Show::Hidden, Show::Hidden, Show::Hidden, Show::Keep,   Bar::Marquee },
    { CWyInstallerDlg::Look::Offline,     IDS_NO_INTERNET,     Show::Shown,  Show::Hidden, Show::Hidden, Show::Shown,  Bar::Keep },
    { CWyInstallerDlg::Look::Downloading, IDS_DOWNLOADING,     Show::Keep,   Show::Keep,   Show::Keep,   Show::Keep,   Bar::Percent },
    { CWyInstallerDlg::Look::Failed,      IDS_DOWNLOAD_FAILED, Show::Shown,  Show::Shown,  Show::Shown,  Show::Hidden, Bar::Keep },
};

void Apply(CWnd& control, Show show)
{
    if (show != Show::Keep)
        control.ShowWindow(show == Show::Shown ? SW_SHOW : SW_HIDE);
}

}  // namespace

void CWyInstallerDlg::ApplyLook(Look look)
{
    const LookRow* row = nullptr;
    for (const LookRow& candidate : kLooks) {
        if (candidate.look == look)
            row = &candidate;
    }
    if (!row)
        return;

    Apply(m_txtDetail, row->detail);
    Apply(m_lnkHelp, row->help);
    Apply(m_btnRetry, row->retry);
    Apply(m_btnClose, row->close);
    if (row->close == Show::Shown)
        m_btnClose.SetFocus();

    switch (row->bar) {
    case Bar::Marquee:
        m_progress.ModifyStyle(0, PBS_MARQUEE);
        m_progress.SetStep(5);
        m_progress.SetMarquee(TRUE, 50);
        // Without its visual style the bar takes the colours set at start.
        ::SetWindowTheme(m_progress.GetSafeHwnd(), L"", L"");
        break;
    case Bar::Percent:
        m_progress.SetMarquee(FALSE, 0);
        m_progress.ModifyStyle(PBS_MARQUEE, 0);
        m_progress.SetPos(0);
        break;
    case Bar::Keep:
        break;
    }

    CString status;
    status.LoadString(row->status);
    m_txtStatus.SetWindowText(status);
    // The texts are drawn transparently: repaint the white under them.
    Invalidate(TRUE);
}

// ---- the flow -------------------------------------------------------------------

BOOL CWyInstallerDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    InitDialogFont();
    CString title;
    title.LoadString(IDS_TITLE);
    SetWindowText(title);
    InitControlLook();
    LayoutControls();

    m_hWndForWorkers = m_hWnd;
    m_hProgressForWorkers = m_progress.GetSafeHwnd();

    UpdateConnectionState();

    if (IsAnotherInstanceRunning()) {
        EndDialog(IDCANCEL);
        return FALSE;
    }
    if (IsOnline() && m_pNetManager)
        m_pNetManager->StartPackageUrlQuery();
    return TRUE;
}

bool CWyInstallerDlg::IsOnline() const
{
    DWORD flags = 0;
    wchar_t name[256] = {};
    return ::InternetGetConnectedStateExW(&flags, name, 256, 0) != FALSE;
}

void CWyInstallerDlg::UpdateConnectionState()
{
    const bool online = IsOnline();
    ApplyLook(online ? Look::Connecting : Look::Offline);
    m_bOffline = online ? FALSE : TRUE;
}

void CWyInstallerDlg::OnTaskResult(NetTaskResult* result)
{
    if (!result)
        return;
    if (result->kind == PackageUrl) {
        const wchar_t* const* slot = static_cast<const wchar_t* const*>(result->data);
        const wchar_t* url = slot ? *slot : nullptr;
        if (url && *url) {
            if (wchar_t* copy = CopyWideText(url)) {
                free(m_pszPackageUrl.exchange(copy));
                ::PostMessageW(m_hWndForWorkers, WM_PACKAGE_URL_READY, 0, 0);
                return;
            }
        }
        ::PostMessageW(m_hWndForWorkers, WM_INSTALL_FAILED, 0, 0);
    } else if (result->kind == Download) {
        if (result->data && result->httpStatus == 200) {
            ::PostMessageW(m_hWndForWorkers, WM_DOWNLOAD_DONE, 0, 0);
        } else if (m_bCancelConfirmed.load()) {
            ::PostMessageW(m_hWndForWorkers, WM_END_AFTER_CANCEL, 0, 0);
        } else {
            ::PostMessageW(m_hWndForWorkers, WM_INSTALL_FAILED, 0, 0);
            if (m_pNetManager)
                m_pNetManager->ForgetAllTasks();
        }
    }
}

void CWyInstallerDlg::ReportProgress(int bytesDone, int bytesTotal)
{
    if (m_bFirstProgress.exchange(FALSE))
        ::SendMessageW(m_hWndForWorkers, WM_SHOW_DOWNLOADING, 0, 0);
    const int pos = ProgressPosition(bytesDone, bytesTotal);
    ::SendMessageW(m_hProgressForWorkers, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

LRESULT CWyInstallerDlg::OnShowDownloading(WPARAM, LPARAM)
{
    ApplyLook(Look::Downloading);
    return 0;
}

CString CWyInstallerDlg::GetSetupFolder() const
{
    wchar_t appData[MAX_PATH] = {};
    // Without the application-data folder there is no sound place for the
    // package: an empty result, rather than a folder at a drive's root.
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)) || !appData[0])
        return CString();
    CString folder(appData);
    for (const wchar_t* piece : { L"CorvaneOfficeCN", L"Setup" }) {
        folder.AppendFormat(L"\\%s", piece);
        CFileStatus status;
        if (!CFile::GetStatus(folder, status))
            ::CreateDirectoryW(folder, nullptr);
    }
    return folder;
}

LRESULT CWyInstallerDlg::OnPackageUrlReady(WPARAM, LPARAM)
{
    const CString folder = GetSetupFolder();
    if (folder.IsEmpty()) {
        PostMessage(WM_INSTALL_FAILED);
        return 0;
    }
    m_strPackagePath = folder;
    m_strPackagePath.AppendFormat(L"\\%s", kPackageFileName);

    // Borrow the URL: a late query may replace it meanwhile, and the newer
    // one then wins.
    wchar_t* url = m_pszPackageUrl.exchange(nullptr);
    const CString packageUrl(url);
    wchar_t* expected = nullptr;
    if (!m_pszPackageUrl.compare_exchange_strong(expected, url))
        free(url);

    if (m_pNetManager)
        m_pNetManager->StartDownload(packageUrl, m_strPackagePath);
    else
        PostMessage(WM_INSTALL_FAILED);
    return 0;
}

LRESULT CWyInstallerDlg::OnDownloadDone(WPARAM, LPARAM)
{
    // The user chose to leave: nothing is opened, whichever came first.
    if (m_bCancelConfirmed.load()) {
        EndDialog(IDCANCEL);
        return 0;
    }
    if (m_bAsking) {
        m_bLaunchWaiting = true;
        return 0;
    }
    CFileStatus status;
    if (!m_strPackagePath.IsEmpty() && CFile::GetStatus(m_strPackagePath, status)) {
        ShowWindow(SW_HIDE);
        ::ShellExecuteW(nullptr, L"open", m_strPackagePath, nullptr, nullptr, SW_SHOW);
        EndDialog(IDCANCEL);
    } else {
        PostMessage(WM_INSTALL_FAILED);
    }
    return 0;
}

LRESULT CWyInstallerDlg::OnInstallFailed(WPARAM, LPARAM)
{
    ApplyLook(Look::Failed);
    return 0;
}

LRESULT CWyInstallerDlg::OnEndAfterCancel(WPARAM, LPARAM)
{
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT CWyInstallerDlg::OnTimer(WPARAM id, LPARAM)
{
    if (id == kCancelTimer) {
        KillTimer(kCancelTimer);
        EndDialog(IDCANCEL);
    }
    return 0;
}

void CWyInstallerDlg::OnClickedRetry()
{
    m_bFirstProgress = TRUE;
    // Both looks hide Retry.
    UpdateConnectionState();
    if (IsOnline() && m_pNetManager)
        m_pNetManager->StartPackageUrlQuery();
}

void CWyInstallerDlg::OnClickHelpLink(NMHDR* /*header*/, LRESULT* result)
{
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = 0;
    CString url;
    if (m_lnkHelp.GetItem(&item))
        url = item.szUrl;
    // An empty address would open the current folder instead of a page.
    if (!url.IsEmpty())
        ::ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOW);
    *result = 0;
}

void CWyInstallerDlg::OnCancel()
{
    if (!IsOnline() || m_bOffline || !m_pNetManager) {
        CDialogEx::OnCancel();
        return;
    }
    ::Sleep(5);
    if (IsOnline())
        m_pNetManager->PauseDownload(1);

    CString prompt, caption;
    prompt.LoadString(IDS_CANCEL_PROMPT);
    caption.LoadString(IDS_CANCEL_CAPTION);
    m_bAsking = true;
    const int answer = ::MessageBoxW(m_hWnd, prompt, caption, MB_YESNO | MB_ICONQUESTION);
    m_bAsking = false;
    const bool launchWaiting = m_bLaunchWaiting;
    m_bLaunchWaiting = false;
    if (answer == IDYES) {
        m_bCancelConfirmed = TRUE;
        // With a download stopped, its result ends the dialog, or the
        // timer does when the result is slow to come.
        if (IsOnline()) {
            if (m_pNetManager->CancelDownload() == 0)
                CDialogEx::OnCancel();
            else
                SetTimer(kCancelTimer, kCancelWaitMs, nullptr);
        }
    } else {
        if (IsOnline())
            m_pNetManager->PauseDownload(0);
        if (launchWaiting)
            PostMessage(WM_DOWNLOAD_DONE);
    }
}

// The installer dialog: its look, and the flow from the connection check to
// the launch of the downloaded package.
#pragma once

#include <windows.h>

#include <atomic>

#include "afx/Controls.h"
#include "afx/Gdi.h"
#include "afx/Win.h"
#include "net/NetManager.h"
#include "res/resource.h"

// Posted to the dialog with wParam 0 and lParam 0.
#define WM_PACKAGE_URL_READY (WM_USER + 1)
#define WM_DOWNLOAD_DONE (WM_USER + 2)
#define WM_INSTALL_FAILED (WM_USER + 3)

class CWyInstallerDlg : public CDialogEx {
public:
    CWyInstallerDlg();
    ~CWyInstallerDlg() override;

    enum { IDD = IDD_WYINSTALLER_DIALOG };

    // The looks of the window; every change of what it shows goes through
    // ApplyLook.
    enum class Look { Connecting, Offline, Downloading, Failed };

    // Worker-thread side, reached through the dispatcher's callbacks.
    void OnTaskResult(NetTaskResult* result);
    void ReportProgress(int bytesDone, int bytesTotal);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnCancel() override;

    void InitDialogFont();
    void InitControlLook();
    void LayoutControls();
    void PaintBackground(CDC& dc);

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind) override;

    bool IsOnline() const;
    void UpdateConnectionState();
    void ApplyLook(Look look);
    CString GetSetupFolder() const;

    void OnClickedRetry();
    void OnClickHelpLink(NMHDR* header, LRESULT* result);
    LRESULT OnPackageUrlReady(WPARAM, LPARAM);
    LRESULT OnDownloadDone(WPARAM, LPARAM);
    LRESULT OnInstallFailed(WPARAM, LPARAM);
    LRESULT OnEndAfterCancel(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnShowDownloading(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

    HICON m_hIcon;
    BOOL m_bOffline;
    // Shared with the workers: set here, read by the download's worker.
    std::atomic<BOOL> m_bCancelConfirmed;
    // Shared with the workers: cleared by the first progress report, set by Retry.
    std::atomic<BOOL> m_bFirstProgress;
    CString m_strPackagePath;
    CButton m_btnRetry;
    CButton m_btnClose;
    CStatic m_picBanner;
    CStatic m_txtStatus;
    CStatic m_txtDetail;
    CLinkCtrl m_lnkHelp;
    CProgressCtrl m_progress;
    CFont m_font;
    CBrush m_brWhite;
    CKoNetManager* m_pNetManager;
    // Owned, malloc'ed; handed over between threads by atomic exchange,
    // since a Retry can overlap a late query.
    std::atomic<wchar_t*> m_pszPackageUrl;

private:
    // The windows the workers talk to, fixed before the first task starts.
    HWND m_hWndForWorkers = nullptr;
    HWND m_hProgressForWorkers = nullptr;
    // The cancel question is open; a package that finished meanwhile waits
    // for the answer before it is opened (or, after a Yes, is never opened).
    bool m_bAsking = false;
    bool m_bLaunchWaiting = false;
    // The banner's bitmap: the picture control shows it but never frees it.
    HBITMAP m_hBanner = nullptr;
};

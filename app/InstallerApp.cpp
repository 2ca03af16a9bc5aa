#include "app/InstallerApp.h"

#include <commctrl.h>

#include "ui/InstallerDlg.h"

BEGIN_MESSAGE_MAP(CWyInstallerApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CWyInstallerApp::CWyInstallerApp()
{
    m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

CWyInstallerApp theApp;

BOOL CWyInstallerApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;  // 8
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinApp::InitInstance();

    {
        CWyInstallerDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    // No message loop: the process ends once the dialog has.
    return FALSE;
}

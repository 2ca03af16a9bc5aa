// The application object and the framework's global accessors.
#pragma once

#include <windows.h>

#include "afx/Win.h"

#define ID_HELP 0xE146

// Restart-manager support: the system may restart the program after a
// crash, a hang or an update.
#define AFX_RESTART_MANAGER_SUPPORT_RESTART 0x01

class CWinApp : public CCmdTarget {
public:
    // The one application object registers itself; it must be a global so
    // that it exists before the entry point runs.
    CWinApp();
    ~CWinApp() override;

    // Called once on the main thread. TRUE runs the message loop, FALSE
    // goes straight to the exit processing.
    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();

    // The default help command; this program has no help file, so it does
    // nothing.
    void OnHelp() {}

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// The framework's entry point: runs the application object.
int AfxWinMain(HINSTANCE instance);

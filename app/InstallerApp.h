// The application object: runs the installer dialog once and ends.
#pragma once

#include "afx/App.h"

class CWyInstallerApp : public CWinApp {
public:
    CWyInstallerApp();

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CWyInstallerApp theApp;

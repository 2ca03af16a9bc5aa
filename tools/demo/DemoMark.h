// The mark the demo package leaves next to itself when it starts, so that
// the demo and the tests can tell that the installer really opened it.
#pragma once

// File name of the mark, in the folder the package runs from. It holds
// "pid=<process id>", "exe=<full path>" and "installer_window=<none,
// hidden or visible>" lines.
#define CORVANE_DEMO_MARK L"CorvaneDemoPackage.started"
// How long the package stays open, in seconds (default 5).
#define CORVANE_DEMO_SECONDS_VAR L"CORVANE_DEMO_SECONDS"

// Whether another copy of the installer runs.
#pragma once

// True when a process other than this one runs from a file named exactly
// "CorvaneOfficeInstaller_CN.exe" (case-sensitive, whole name). The name is
// fixed: a copy renamed by the user is not recognised, and the downloaded
// package, saved under that name, is.
bool IsAnotherInstanceRunning();

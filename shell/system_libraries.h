// System libraries that the installer loads at run time rather than through
// its import table: those Windows does not load from System32 whatever lies
// beside the program (not KnownDLLs), and functions that the oldest systems
// the installer loads on lack.
#pragma once

#include <windows.h>
#include <commdlg.h>

// Stops DLL searches from looking in the program's folder and the current
// folder, where a hostile page may have saved a DLL next to a downloaded
// installer. Where the system has SetDefaultDllDirectories (Windows 8, or
// Vista and 7 with KB2533623) every later search is limited to System32;
// elsewhere the current folder is dropped (SetDllDirectoryA(""), XP SP1 and
// later) and the DLLs that the window and shell-link code load by name are
// loaded first by their System32 path, so that a later load by name finds
// them already in memory. Call first thing in WinMain; safe on every system.
void RestrictDllSearchToSystem(void);

// Loads `name` (a file name such as "comctl32.dll") from the system folder by
// its full path; null when it is not there.
HMODULE LoadSystemLibrary(const char *name);

// A function of a system library, loading the library from the system folder
// when the process does not hold it yet; null where the system lacks either.
FARPROC SystemFunction(const char *library, const char *function);

// Registers the common controls' window classes (the progress bar of the
// wizard) with InitCommonControls, which every version of the common
// controls has; COMCTL32 is loaded from the system folder at run time.
// Returns 0 when the library or the function is missing.
int RegisterCommonControls(void);

// The call of COMDLG32 the installer makes, through its System32 copy
// loaded at run time after the search restriction: imported statically, the
// DLL would be loaded at start, and with it its own dependencies (under
// Wine, COMCTL32 from the installer's folder). It fails as the real call
// does when the library or function is missing.
BOOL SystemGetOpenFileName(OPENFILENAMEA *request);

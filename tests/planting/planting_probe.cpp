// Does at run time what the installer does that may load a DLL by name - the
// DLL search restriction, the common controls, the special folders, the
// shell-link object, a window (uxtheme) - started from a folder full of
// planted DLLs by test_dll_planting.
//
//     planting_probe protected LINK     restrict first, then everything;
//                                       exit 0 when every step worked
//     planting_probe unprotected        load COMCTL32 and make a window by
//                                       name, as the old installer did (the
//                                       test's proof that planting works)
#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "shell/shell.h"
#include "shell/system_libraries.h"

static int MakeWindow(void)
{
    HWND window = CreateWindowExA(0, "BUTTON", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 50,
                                  NULL, NULL, GetModuleHandleA(NULL), NULL);
    if (!window)
        return 0;
    HWND progress = CreateWindowExA(0, "msctls_progress32", "", WS_CHILD, 0, 0, 50, 10, window,
                                    NULL, GetModuleHandleA(NULL), NULL);
    DestroyWindow(window);
    return progress != NULL;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    if (strncmp(commandLine, "unprotected", 11) == 0) {
        LoadLibraryA("comctl32.dll");
        MakeWindow();
        return 0;
    }
    if (strncmp(commandLine, "protected ", 10) != 0)
        return 100;
    const char *link = commandLine + 10;

    RestrictDllSearchToSystem();
    if (!RegisterCommonControls())
        return 1;
    if (!MakeWindow())
        return 2;
    char folder[MAX_PATH];
    if (!GetShellFolderPath(folder, CSIDL_PROGRAMS) || !GetShellFolderPath(folder, CSIDL_DESKTOP))
        return 3;
    char self[MAX_PATH];
    if (!GetModuleFileNameA(NULL, self, MAX_PATH))
        return 4;
    // The shell-link object must still work with the search restricted.
    if (!CreateShellLink(self, link, "planting probe"))
        return 5;
    return 0;
}

// The current user's special folders: through the shell, or, on systems of
// major version 3, composed by hand from the Windows folder, where the
// shell's special-folder interface cannot be relied on.

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

// The shell's special-folder functions came with shell 4.0 (Windows 95, NT
// 4.0): they are looked up at run time, so that the program still loads on a
// system without them, where this lookup fails like any other failed lookup.
// The UTF-16 form holds any profile path, also one the ANSI code page cannot
// spell (a Chinese user name on a Western system); Windows 9x has only the
// 8-bit one.
static int ShellFolderPath(void *path, int folderKind, int wide)
{
    typedef HRESULT(WINAPI * GetMallocFunction)(IMalloc **);
    typedef HRESULT(WINAPI * GetLocationFunction)(HWND, int, LPITEMIDLIST *);
    typedef BOOL(WINAPI * PathFromListFunction)(LPCITEMIDLIST, void *);
    GetMallocFunction getMalloc = (GetMallocFunction)(void *)SystemFunction("shell32.dll", "SHGetMalloc");
    GetLocationFunction getLocation =
        (GetLocationFunction)(void *)SystemFunction("shell32.dll", "SHGetSpecialFolderLocation");
    PathFromListFunction pathFromList = (PathFromListFunction)(void *)SystemFunction(
        "shell32.dll", wide ? "SHGetPathFromIDListW" : "SHGetPathFromIDListA");
    if (!getMalloc || !getLocation || !pathFromList)
        return 0;

    IMalloc *allocator = NULL;
    if (FAILED(getMalloc(&allocator)) || !allocator)
        return 0;

    int found = 0;
    LPITEMIDLIST items = NULL;
    if (SUCCEEDED(getLocation(NULL, folderKind, &items)) && items) {
        found = pathFromList(items, path) != 0;
        allocator->Free(items);
    }
    allocator->Release();
    return found;
}

int GetShellFolderPath(char *path, int folderKind)
{
    return ShellFolderPath(path, folderKind, 0);
}

int GetShellFolderPathW(WCHAR *path, int folderKind)
{
    return ShellFolderPath(path, folderKind, 1);
}

int GetLegacyShellFolderPath(char *path, int folderKind)
{
    char userName[256];
    DWORD userLength = sizeof userName;
    char composed[MAX_PATH];

    // A result of MAX_PATH or more is the size the folder would need: the
    // buffer then holds nothing usable.
    UINT windowsLength = GetWindowsDirectoryA(path, MAX_PATH);
    if (NtPlatform && !GetUserNameA(userName, &userLength))
        return 0;
    if (windowsLength == 0 || windowsLength >= MAX_PATH)
        return 0;

    // A drive root already ends in a backslash.
    const char *separator = path[windowsLength - 1] == '\\' ? "" : "\\";
    const char *folder = folderKind == CSIDL_PROGRAMS ? "start menu\\programs"
                       : folderKind == CSIDL_DESKTOP ? "Desktop"
                       : "";
    int length = NtPlatform
        ? FormatText(composed, sizeof composed, "%s%sprofiles\\%s\\%s", path, separator, userName, folder)
        : FormatText(composed, sizeof composed, "%s%s%s", path, separator, folder);
    if (length < 0 || length >= (int)sizeof composed)
        return 0;
    memcpy(path, composed, (size_t)length + 1);
    return 1;
}

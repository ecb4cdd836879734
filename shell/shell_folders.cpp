// The current user's special folders: through the shell, or, on systems of
// major version 3, composed by hand from the Windows folder, where the
// shell's special-folder interface cannot be relied on.

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "shell/shell.h"
#include "wizard/wizard.h"

int GetShellFolderPath(char *path, int folderKind)
{
    IMalloc *allocator = NULL;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator)
        return 0;

    int found = 0;
    LPITEMIDLIST items = NULL;
    if (SUCCEEDED(SHGetSpecialFolderLocation(NULL, folderKind, &items)) && items) {
        found = SHGetPathFromIDListA(items, path) != 0;
        allocator->Free(items);
    }
    allocator->Release();
    return found;
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
        ? snprintf(composed, sizeof composed, "%s%sprofiles\\%s\\%s", path, separator, userName, folder)
        : snprintf(composed, sizeof composed, "%s%s%s", path, separator, folder);
    if (length < 0 || length >= (int)sizeof composed)
        return 0;
    memcpy(path, composed, (size_t)length + 1);
    return 1;
}

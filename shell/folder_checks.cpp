// What an existing folder must not be, or hold, to become the installation
// folder. The installer runs elevated and registers the folder's programs
// machine-wide: a folder of the system would have its list rewritten, and a
// program or library that no installation put there would run with them.

#include <shlobj.h>
#include <string.h>

#include <windows.h>

#include "payload/catalogue.h"
#include "shell/shell.h"
#include "wizard/wizard.h"

// The shell's ids of the system's own folders. Those of a profile stand
// for the profile itself where the shell has no id for it (Windows 2000),
// and a parent of any of them is refused too (the Users folder, "Documents
// and Settings", "Program Files" of a drive that holds only Common Files).
static const BYTE kSystemFolderIds[] = {
    CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_FONTS,
    CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_COMMON_APPDATA, CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS,
    CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_PROGRAMS,
};

// Extensions of what Windows loads or runs from a program's folder; a
// ".local" name turns on loading the programs' libraries from the folder
// itself, and a ".manifest" can point them at libraries below it.
static const char kLoadedExtensions[] = ".exe.dll.ocx.cpl.sys.scr.com.drv.ime.ax.local.manifest.";

int IsSystemFolder(const char *folder)
{
    FolderIdentity wanted, seen;
    if (!GetFolderIdentity(folder, &wanted))
        return 0;
    // Compared by identity: the folder box may name one by its short name,
    // in other letters or through a link.
    for (size_t i = 0; i <= sizeof kSystemFolderIds; i++) {
        char path[MAX_PATH];
        DWORD length = 0;
        if (i < sizeof kSystemFolderIds ? !GetShellFolderPath(path, kSystemFolderIds[i])
                                        : (length = GetTempPathA(MAX_PATH, path)) == 0 || length >= MAX_PATH)
            continue;
        size_t root = FolderRootLength(path);
        for (;;) {
            char *separator = LastPathSeparator(path);
            if (separator && !separator[1] && (size_t)(separator - path) >= root)
                *separator = 0;         // the temporary folder's trailing backslash
            else if (GetFolderIdentity(path, &seen) && seen.volume == wanted.volume
                     && seen.indexHigh == wanted.indexHigh && seen.indexLow == wanted.indexLow)
                return 1;
            else if (separator && (size_t)(separator - path) >= root)
                *separator = 0;         // its parent next; roots are refused anyway
            else
                break;
        }
    }
    return 0;
}

static int IsLoadedExtension(const char *name)
{
    const char *dot = strrchr(name, '.');
    char extension[12];
    size_t length = dot ? strlen(dot) : 0;
    if (length < 2 || length > sizeof extension - 2)
        return 0;
    for (size_t i = 0; i < length; i++)
        extension[i] = dot[i] >= 'A' && dot[i] <= 'Z' ? (char)(dot[i] | 0x20) : dot[i];
    extension[length] = '.';
    extension[length + 1] = 0;
    return strstr(kLoadedExtensions, extension) != NULL;
}

int FindForeignProgram(const char *folder, char *name)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search = JoinPath(pattern, folder, "*", "") ? FindFirstFileA(pattern, &found) : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int foreign;
    do
        foreign = IsLoadedExtension(found.cFileName) && !CatalogueRowNamed(found.cFileName);
    while (!foreign && FindNextFileA(search, &found));
    FindClose(search);
    if (foreign)
        lstrcpynA(name, found.cFileName, MAX_PATH);
    return foreign;
}

// The Start Menu group and the desktop shortcuts, written as .lnk files
// through the shell's link object, in the folders of the user at the desk
// (desk_user.cpp). Paths are composed in MAX_PATH buffers; a name that would
// not fit is refused, as a link or folder that could not be made, never cut
// short. The folders' paths are UTF-16: a profile may hold characters the
// ANSI code page cannot spell; the installation folder stays 8-bit.

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

static const char kStartMenuNoticeChinese[] =
    "无法在 Start 菜单中为本程序建立一个条目。很抱歉，只好请您以后自已建立了。";
static const char kStartMenuNoticeEnglish[] = "Failed to create an entry on Start Menu.";
static const char kFolderNoticeEnglish[] = "Cannot create folder!";

enum { kDesktopLinkNameSize = 100 };

// Systems of major version 3 get their folders composed by hand; the NT
// platform only shapes that composed path. Only the NT platform has the
// UTF-16 shell calls.
static int LookUpFolder(WCHAR *path, int folderKind)
{
    char narrow[MAX_PATH];
    folderKind = DeskFolderKind(folderKind);
    if (!VersionThree && NtPlatform)
        return GetShellFolderPathW(path, folderKind);
    return (VersionThree ? GetLegacyShellFolderPath(narrow, folderKind) : GetShellFolderPath(narrow, folderKind))
           && MultiByteToWideChar(CP_ACP, 0, narrow, -1, path, MAX_PATH) != 0;
}

// folder + "\" + name + suffix, the 8-bit name widened; 0 when it would not
// fit.
static int JoinWidePath(WCHAR *out, const WCHAR *folder, const char *name, const char *suffix)
{
    char tail[MAX_PATH];
    size_t length = wcslen(folder);
    int tailLength = FormatText(tail, sizeof tail, "\\%s%s", name, suffix);
    if (length >= MAX_PATH || tailLength < 0 || tailLength >= (int)sizeof tail)
        return 0;
    memmove(out, folder, length * sizeof(WCHAR));       // out may be the folder itself
    return MultiByteToWideChar(CP_ACP, 0, tail, -1, out + length, MAX_PATH - (int)length) != 0;
}

// Creates one folder level as the desk user, or finds it there. Windows 9x
// has the 8-bit call alone.
static int MakeFolder(const WCHAR *path)
{
    typedef BOOL(WINAPI * CreateFunction)(LPCWSTR, LPSECURITY_ATTRIBUTES);
    char narrow[MAX_PATH];
    BOOL made = FALSE;
    CreateFunction create = (CreateFunction)(void *)SystemFunction("kernel32.dll", "CreateDirectoryW");
    if (!BeginDeskUserWrites())
        SetLastError(ERROR_ACCESS_DENIED);
    else if (NtPlatform)
        made = create && create(path, NULL);
    else
        made = WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, NULL, NULL)
               && CreateDirectoryA(narrow, NULL);
    int found = made || GetLastError() == ERROR_ALREADY_EXISTS;
    EndDeskUserWrites();
    return found;
}

int JoinPath(char *out, const char *folder, const char *name, const char *suffix)
{
    int length = FormatText(out, MAX_PATH, "%s\\%s%s", folder, name, suffix);
    return length >= 0 && length < MAX_PATH;
}

// In GBK and Big5 the second byte of a Chinese character can be a
// backslash too.
char *LastPathSeparator(char *path)
{
    char *last = NULL;
    for (char *p = path; *p; ++p) {
        if (IsDBCSLeadByte((BYTE)*p) && p[1])
            ++p;
        else if (*p == '\\')
            last = p;
    }
    return last;
}

static HRESULT FillAndSaveLink(IShellLinkA *link, const char *targetPath, const WCHAR *linkPath,
                               const char *description)
{
    char folder[MAX_PATH];
    IPersistFile *file = NULL;

    HRESULT result = link->SetPath(targetPath);
    if (FAILED(result))
        return result;
    // What the shortcut shows and where it starts are extras: a link that
    // lacks them still starts the program, so their results do not count.
    link->SetDescription(description ? description : "");
    link->SetIconLocation(targetPath, 0);
    lstrcpynA(folder, targetPath, sizeof folder);
    char *cut = LastPathSeparator(folder);
    if (cut) {
        *cut = 0;
        link->SetWorkingDirectory(folder);
    }

    result = link->QueryInterface(IID_IPersistFile, (void **)&file);
    if (FAILED(result))
        return result;
    // The link object is made with the installer's own rights (elevated, COM
    // reads no class a user registered for themselves); only the file is
    // written as the desk user.
    result = BeginDeskUserWrites() ? file->Save(linkPath, TRUE) : E_ACCESSDENIED;
    EndDeskUserWrites();
    file->Release();
    return result;
}

// Since Windows 8 a relative path given to Save is refused; every link path
// here is made absolute by its folder, and one that is not is never saved.
static int IsAbsoluteWidePath(const WCHAR *path)
{
    return (path[0] && path[1] == L':' && path[2] == L'\\') || (path[0] == L'\\' && path[1] == L'\\');
}

static int SaveShellLink(const char *targetPath, const WCHAR *linkPath, const char *description)
{
    if (!targetPath || strlen(targetPath) >= MAX_PATH || !IsAbsoluteWidePath(linkPath))
        return 0;
    // S_FALSE (already initialised on this thread) is a success and is
    // balanced by the CoUninitialize below like S_OK.
    if (FAILED(CoInitialize(NULL)))
        return 0;

    IShellLinkA *link = NULL;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      (void **)&link);
    if (SUCCEEDED(result) && link)
        result = FillAndSaveLink(link, targetPath, linkPath, description);
    if (link)
        link->Release();
    CoUninitialize();
    return SUCCEEDED(result);
}

int CreateShellLink(const char *targetPath, const char *linkPath, const char *description)
{
    WCHAR widePath[MAX_PATH];
    return linkPath && strlen(linkPath) < MAX_PATH
        && MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) != 0
        && SaveShellLink(targetPath, widePath, description);
}

static void ShowFolderNotice(const WCHAR *parent, const char *groupName)
{
    // The notice names the whole folder, also when it is too long to have
    // been made at all; only what fits the notice is shown, in the ANSI
    // code page.
    char folder[2 * MAX_PATH];
    char notice[3 * MAX_PATH];
    if (!WideCharToMultiByte(CP_ACP, 0, parent, -1, folder, sizeof folder, NULL, NULL))
        folder[0] = 0;
    FormatText(notice, sizeof notice, "无法建目录(%s\\%s)!", folder, groupName);
    BilingualMessageBox(notice, kFolderNoticeEnglish, kBoxOk, WizardWindow);
}

// Makes `folder` the group folder below it, creating that one level when it
// is missing. Shows the folder notice and returns 0 when it cannot be made.
static int OpenGroupFolder(WCHAR *folder, const char *groupName)
{
    WCHAR group[MAX_PATH];
    if (!JoinWidePath(group, folder, groupName, "") || !MakeFolder(group)) {
        ShowFolderNotice(folder, groupName);
        return 0;
    }
    memcpy(folder, group, sizeof group);
    return 1;
}

static int CreateGroupShortcut(const WCHAR *folder, const ShortcutSpec *shortcut)
{
    WCHAR linkPath[MAX_PATH];
    char targetPath[MAX_PATH];
    return shortcut->targetFile
        && JoinWidePath(linkPath, folder, shortcut->displayName, ".lnk")
        && JoinPath(targetPath, InstallFolderPath, shortcut->targetFile, "")
        && SaveShellLink(targetPath, linkPath, shortcut->displayName);
}

int CreateStartMenuGroup(const char *groupName, const ShortcutSpec *shortcuts, int folderKind)
{
    WCHAR folder[MAX_PATH];
    int result = LookUpFolder(folder, folderKind);

    if (result && groupName && groupName[0] && !OpenGroupFolder(folder, groupName))
        return 0;                       // the folder notice says it all
    // Every shortcut is tried, also after one has failed; the result of the
    // last one alone decides the outcome and the notice.
    if (result) {
        for (const ShortcutSpec *shortcut = shortcuts; shortcut && shortcut->displayName; ++shortcut)
            result = CreateGroupShortcut(folder, shortcut);
    }
    if (!result)
        BilingualMessageBox(kStartMenuNoticeChinese, kStartMenuNoticeEnglish, kBoxOk, WizardWindow);
    return result;
}

void CreateDesktopShortcut(const char *targetFile, const char *displayName)
{
    char targetPath[MAX_PATH];
    char linkName[kDesktopLinkNameSize];
    WCHAR linkPath[MAX_PATH];

    // Desktop shortcuts are a convenience: every failure here is silent.
    if (!targetFile || !displayName || !JoinPath(targetPath, InstallFolderPath, targetFile, ""))
        return;
    int nameLength = FormatText(linkName, sizeof linkName, "%s.lnk", displayName);
    if (nameLength < 0 || nameLength + 1 >= (int)sizeof linkName || !LookUpFolder(linkPath, CSIDL_DESKTOP)
        || !JoinWidePath(linkPath, linkPath, displayName, ".lnk"))
        return;
    SaveShellLink(targetPath, linkPath, displayName);
}

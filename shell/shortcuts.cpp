// The Start Menu group and the desktop shortcuts, written as .lnk files
// through the shell's link object. Paths are composed in MAX_PATH buffers;
// a name that would not fit is refused, as a link or folder that could not
// be made, never cut short.

#include <io.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "shell/shell.h"
#include "wizard/wizard.h"

static const char kStartMenuNoticeChinese[] =
    "无法在 Start 菜单中为本程序建立一个条目。很抱歉，只好请您以后自已建立了。";
static const char kStartMenuNoticeEnglish[] = "Failed to create an entry on Start Menu.";
static const char kFolderNoticeEnglish[] = "Cannot create folder!";

enum { kDesktopLinkNameSize = 100 };

// Systems of major version 3 get their folders composed by hand; the NT
// platform only shapes that composed path.
static int LookUpFolder(char *path, int folderKind)
{
    return VersionThree ? GetLegacyShellFolderPath(path, folderKind)
                        : GetShellFolderPath(path, folderKind);
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

static HRESULT FillAndSaveLink(IShellLinkA *link, const char *targetPath, const char *linkPath,
                               const char *description)
{
    char folder[MAX_PATH];
    WCHAR widePath[MAX_PATH];
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
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0)
        result = HRESULT_FROM_WIN32(GetLastError());
    else
        result = file->Save(widePath, TRUE);
    file->Release();
    return result;
}

int CreateShellLink(const char *targetPath, const char *linkPath, const char *description)
{
    if (!targetPath || !linkPath || strlen(targetPath) >= MAX_PATH || strlen(linkPath) >= MAX_PATH)
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

static void ShowFolderNotice(const char *parent, const char *groupName)
{
    // The notice names the whole folder, also when it is too long to have
    // been made at all; only what fits the notice is shown.
    char folder[2 * MAX_PATH];
    char notice[2 * MAX_PATH + 32];
    FormatText(folder, sizeof folder, "%s\\%s", parent, groupName);
    FormatText(notice, sizeof notice, "无法建目录(%s)!", folder);
    BilingualMessageBox(notice, kFolderNoticeEnglish, kBoxOk, WizardWindow);
}

// Makes `folder` the group folder below it, creating that one level when it
// is missing. Shows the folder notice and returns 0 when it cannot be made.
static int OpenGroupFolder(char *folder, const char *groupName)
{
    char group[MAX_PATH];
    if (!JoinPath(group, folder, groupName, "")
        || (_access(group, 0) != 0 && !CreateDirectoryA(group, NULL))) {
        ShowFolderNotice(folder, groupName);
        return 0;
    }
    memcpy(folder, group, strlen(group) + 1);
    return 1;
}

static int CreateGroupShortcut(const char *folder, const ShortcutSpec *shortcut)
{
    char linkPath[MAX_PATH];
    char targetPath[MAX_PATH];
    return shortcut->targetFile
        && JoinPath(linkPath, folder, shortcut->displayName, ".lnk")
        && JoinPath(targetPath, InstallFolderPath, shortcut->targetFile, "")
        && CreateShellLink(targetPath, linkPath, shortcut->displayName);
}

int CreateStartMenuGroup(const char *groupName, const ShortcutSpec *shortcuts, int folderKind)
{
    char folder[MAX_PATH];
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
    char linkPath[MAX_PATH];
    char linkName[kDesktopLinkNameSize];

    // Desktop shortcuts are a convenience: every failure here is silent.
    if (!targetFile || !displayName || !JoinPath(targetPath, InstallFolderPath, targetFile, ""))
        return;
    if (!LookUpFolder(linkPath, CSIDL_DESKTOP))
        return;
    int nameLength = FormatText(linkName, sizeof linkName, "\\%s.lnk", displayName);
    size_t folderLength = strlen(linkPath);
    if (nameLength < 0 || nameLength >= (int)sizeof linkName || folderLength + nameLength >= MAX_PATH)
        return;
    memcpy(linkPath + folderLength, linkName, (size_t)nameLength + 1);
    CreateShellLink(targetPath, linkPath, displayName);
}

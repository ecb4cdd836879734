// Whose Start Menu and desktop the shortcuts go to. The installer runs
// elevated, and not always as the person at the desk: a standard user who
// typed an administrator's password runs it as that administrator, and a
// deployment runs it as SYSTEM with no one there. The person at the desk is
// the owner of the shell's process.
//
// Every call here is looked up at run time: Windows 95's ADVAPI32 lacks the
// token calls, and GetShellWindow came with Windows 2000.

#include <string.h>

#include <windows.h>
#include <shlobj.h>

#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

enum { kUndecided, kOwnFolders, kAllUsersFolders };
static int deskRule;
static HANDLE deskToken;        // the desk user's own token, the links are written with it

// A SID's bytes: revision, count, six of authority, four per sub-authority.
static size_t SidBytes(PSID sid)
{
    return 8 + 4 * (size_t)((const BYTE *)sid)[1];
}

int ShortcutFolderKind(int folderKind, PSID installing, PSID desk)
{
    // Only the user at the desk sees their own folders. An administrator
    // who elevated for a standard user owns other folders than theirs, and
    // no one reads SYSTEM's: the all-users folders reach the user at the
    // desk, as the installation itself is the machine's. Only
    // administrators may write them, so no unelevated program can have
    // planted a link there.
    if (installing && desk && SidBytes(installing) == SidBytes(desk)
        && memcmp(installing, desk, SidBytes(desk)) == 0)
        return folderKind;
    return folderKind == CSIDL_PROGRAMS ? CSIDL_COMMON_PROGRAMS
         : folderKind == CSIDL_DESKTOP ? CSIDL_COMMON_DESKTOPDIRECTORY
         : folderKind;
}

typedef HWND(WINAPI *GetShellWindowFunction)(void);
typedef DWORD(WINAPI *GetThreadProcessFunction)(HWND, LPDWORD);
typedef HANDLE(WINAPI *OpenProcessFunction)(DWORD, BOOL, DWORD);
typedef BOOL(WINAPI *OpenProcessTokenFunction)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI *GetTokenInformationFunction)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
typedef BOOL(WINAPI *ImpersonateFunction)(HANDLE);
typedef BOOL(WINAPI *RevertFunction)(void);

// The token of a process with the rights to read its user and to write as
// it; null when it cannot be opened.
static HANDLE OpenUserToken(HANDLE process)
{
    OpenProcessTokenFunction openToken =
        (OpenProcessTokenFunction)(void *)SystemFunction("advapi32.dll", "OpenProcessToken");
    HANDLE token = NULL;
    if (!process || !openToken || !openToken(process, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE, &token))
        return NULL;
    return token;
}

// The user of a token into `buffer`; null when it cannot be read.
static PSID TokenUserSid(HANDLE token, BYTE *buffer, DWORD size)
{
    GetTokenInformationFunction information =
        (GetTokenInformationFunction)(void *)SystemFunction("advapi32.dll", "GetTokenInformation");
    DWORD used = 0;
    if (!token || !information || !information(token, TokenUser, buffer, size, &used))
        return NULL;
    return ((TOKEN_USER *)buffer)->User.Sid;
}

// Once per run. Where the system cannot tell (not NT, or no GetShellWindow:
// NT 4) the folders stay those of the user running the installer.
static void DecideDeskUser(void)
{
    if (deskRule != kUndecided)
        return;
    deskRule = kOwnFolders;
    if (!NtPlatform)
        return;
    GetShellWindowFunction shellWindow =
        (GetShellWindowFunction)(void *)SystemFunction("user32.dll", "GetShellWindow");
    GetThreadProcessFunction threadProcess =
        (GetThreadProcessFunction)(void *)SystemFunction("user32.dll", "GetWindowThreadProcessId");
    OpenProcessFunction openProcess = (OpenProcessFunction)(void *)SystemFunction("kernel32.dll", "OpenProcess");
    if (!shellWindow || !threadProcess || !openProcess)
        return;

    BYTE ours[128], desk[128];
    DWORD shellProcessId = 0;
    HWND shell = shellWindow();
    if (shell)
        threadProcess(shell, &shellProcessId);
    HANDLE process = shellProcessId ? openProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId) : NULL;
    HANDLE token = OpenUserToken(process);
    HANDLE own = OpenUserToken(GetCurrentProcess());
    // The same user: written with the shell's token, which on NT 6 and
    // later is the unelevated one; a link or junction that one of the
    // user's own programs planted in their folders then leads no elevated
    // write elsewhere.
    if (ShortcutFolderKind(CSIDL_PROGRAMS, TokenUserSid(own, ours, sizeof ours), TokenUserSid(token, desk, sizeof desk))
        == CSIDL_PROGRAMS) {
        deskToken = token;
    } else {
        deskRule = kAllUsersFolders;
        if (token)
            CloseHandle(token);
    }
    if (own)
        CloseHandle(own);
    if (process)
        CloseHandle(process);
}

int DeskFolderKind(int folderKind)
{
    DecideDeskUser();
    return deskRule == kAllUsersFolders ? ShortcutFolderKind(folderKind, NULL, NULL) : folderKind;
}

int BeginDeskUserWrites(void)
{
    DecideDeskUser();
    if (!deskToken)
        return 1;
    ImpersonateFunction impersonate =
        (ImpersonateFunction)(void *)SystemFunction("advapi32.dll", "ImpersonateLoggedOnUser");
    // Never elevated instead: a write that cannot be made as the user is
    // not made.
    return impersonate && impersonate(deskToken);
}

void EndDeskUserWrites(void)
{
    // Also after a failed impersonation: reverting then changes nothing.
    RevertFunction revert = (RevertFunction)(void *)SystemFunction("advapi32.dll", "RevertToSelf");
    if (deskToken && revert)
        revert();
}

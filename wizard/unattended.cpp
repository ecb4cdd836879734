// The unattended mode, /S [/D=folder], for deployment tools and package
// managers that start the installer with no one to answer it: no window,
// and an exit code that is one of the system's own error codes, so that
// "net helpmsg" explains it.

#include <string.h>

#include <windows.h>

#include "payload/payload.h"
#include "resources/ids.h"
#include "wizard/wizard.h"

int UnattendedRun;

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

int ReadSwitches(char *line, const char **folder)
{
    int unattended = 0, unknown = 0;
    *folder = NULL;
    for (char *at = line; at && *at;) {
        if (IsBlank(*at)) {
            at++;
            continue;
        }
        // NSIS's rule, which package managers' templates follow: /D= comes
        // last and the rest of the line is the folder, blanks and all,
        // without quotes.
        if (_strnicmp(at, "/D=", 3) == 0) {
            size_t length = strlen(at);
            while (length > 3 && IsBlank(at[length - 1]))
                at[--length] = 0;
            *folder = at + 3;
            break;
        }
        char *end = at;
        while (*end && !IsBlank(*end))
            end++;
        if (end - at == 2 && _strnicmp(at, "/S", 2) == 0)
            unattended = 1;
        else
            unknown = 1;
        at = end;
    }
    // A switch it does not know may be a folder or an option meant for
    // another installer: guessed past, the product would land elsewhere.
    return !unattended ? kWizardStart : unknown ? kUnknownSwitch : kUnattended;
}

// Why the run failed, by the first file it could not write (a work buffer
// that could not be had among the rest).
static int ExitCodeOf(const PayloadOutcome &failure)
{
    switch (failure.result) {
    case kPayloadInUse:
        return ERROR_SHARING_VIOLATION;
    case kPayloadAccessDenied:
    case kPayloadRedirected:
        return ERROR_ACCESS_DENIED;
    case kPayloadDiskFull:
        return ERROR_DISK_FULL;
    case kPayloadFolderGone:
        return ERROR_PATH_NOT_FOUND;
    default:
        return ERROR_INSTALL_FAILURE;
    }
}

int RunUnattended(const char *folder)
{
    char defaultFolder[MAX_PATH];
    SpaceShortage space;
    char culprit[MAX_PATH];
    // What a second start looks for behind the installer's mutex (main.cpp)
    // is a wizard; without it, it would install at the same time. A window
    // of the wizard's class and caption, never shown, stands for it.
    CreateWindowExA(0, "#32770", WIZARD_CAPTION, WS_POPUP, 0, 0, 0, 0, NULL, NULL, ModuleInstance, NULL);
    if (!folder) {
        DefaultInstallFolder(defaultFolder);
        folder = defaultFolder;
    }
    // Checked as a typed folder is. Every other refusal is of a folder that
    // others could change.
    switch (PrepareInstallFolder(folder, &space, culprit)) {
    case kFolderReady:
        break;
    case kFolderUnusable:
        return ERROR_PATH_NOT_FOUND;
    case kFolderShortOfSpace:
        return ERROR_DISK_FULL;
    default:
        return ERROR_ACCESS_DENIED;
    }
    // The answers the wizard starts with: the desktop icons ticked, the
    // language the combo preselects (ChosenLanguage, English at start-up).
    // The sample line shows where the code page is a Chinese one. The
    // speech package is not offered.
    DesktopIconChoice = 1;
    UINT codePage = GetACP();
    ChineseDisplayAnswer = codePage == 936 || codePage == 950;
    // The user's words are never replaced unasked.
    KeepOldWordBase = HasOldWordBase();
    InstallResult result = InstallResult();
    if (FindFileInUse(result))
        return ERROR_SHARING_VIOLATION;
    result = RunInstallSequence();
    return result.succeeded ? 0 : ExitCodeOf(result.failure);
}

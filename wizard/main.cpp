// Entry point: platform detection, the glyph sheets, the modeless wizard and
// the message loop with its Enter rule.

#include <stdlib.h>

#include <windows.h>

#include "payload/payload.h"
#include "render/render.h"
#include "resources/ids.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

// Exit codes: 0 after a normal end or a cancel, 1 when start-up fails; an
// unattended run ends with the codes of unattended.cpp.
enum { kExitNormal = 0, kExitStartupFailed = 1 };

static int LoadSheetsFromPayload(void)
{
    int result = kExitStartupFailed;
    unsigned long length = 0;
    unsigned char *buffer = (unsigned char *)malloc(kSheetBufferCapacity);
    if (!buffer) {
        BilingualMessageBox(kMemoryNoticeChinese, kMemoryNoticeEnglish, kBoxOk, NULL);
        return kExitStartupFailed;
    }
    // A stream that inflates to anything but the four whole sheets is as
    // unreadable as a corrupt one: the sheets would be cut from stale bytes.
    if (InflatePayloadResource(IDR_GLYPH_SHEETS, buffer, kSheetBufferCapacity, &length)
        && length == kGlyphSheetsBytes
        && LoadGlyphSheets(buffer))
        result = kExitNormal;
    free(buffer);                       // the bitmaps hold their own copy
    return result;
}

// One installer at a time on the machine: two wizards could install into
// one folder at once and write over each other's files. The name holds from
// the first start to the process's end (the system closes the handle);
// Global\ puts it in the one namespace that all sessions share, a prefix
// only NT 5 and later know. A second start shows the first wizard instead
// and ends as after a cancel (an unattended one brings nothing forward and
// ends with the system's code for it); a start that cannot tell (no mutex
// made) runs, and so does one that finds no wizard behind the name: any user
// may make a mutex of that name, and must not be able to keep the installer
// from running. An unattended run shows a wizard's sign (unattended.cpp).
static const char kInstanceName[] = "Global\\LunkovanZavavIrazazInstaller";
enum { kGlobalPrefixLength = 7, kWizardWaitMs = 5000, kWizardPollMs = 100 };

static int AnotherInstallerRuns(void)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, kInstanceName + (NtFiveOrLater ? 0 : kGlobalPrefixLength));
    DWORD error = GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS)
        return 0;                       // ours, held to the end
    // Made by a first start of another user, whose list keeps this one out.
    if (!mutex && error != ERROR_ACCESS_DENIED)
        return 0;
    if (mutex)
        CloseHandle(mutex);
    // The first may still be starting: its wizard is looked for a while,
    // by the dialog class and caption.
    for (DWORD waited = 0; waited < kWizardWaitMs; waited += kWizardPollMs) {
        HWND first = FindWindowA("#32770", WIZARD_CAPTION);
        if (first) {
            // A notice of the first is in front of its wizard.
            if (!UnattendedRun)
                SetForegroundWindow(GetLastActivePopup(first));
            return 1;
        }
        Sleep(kWizardPollMs);
    }
    return 0;
}

static void RunMessageLoop(void)
{
    MSG msg;
    while (WizardPage >= 0) {
        if (GetMessageA(&msg, NULL, 0, 0) <= 0)
            break;
        if (RouteEnterKey(&msg))
            continue;
        if (!IsDialogMessageA(WizardWindow, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)showCommand;
    if (previous)
        return kExitNormal;
    // Before anything can load a DLL by name: nothing beside the installer
    // (a Downloads folder) is searched.
    RestrictDllSearchToSystem();

    const char *folder = NULL;
    int switches = ReadSwitches(commandLine, &folder);
    if (switches == kUnknownSwitch)
        return ERROR_INVALID_PARAMETER;
    UnattendedRun = switches == kUnattended;
    ReadPlatformFlags();
    if (AnotherInstallerRuns())
        return UnattendedRun ? (int)ERROR_INSTALL_ALREADY_RUNNING : (int)kExitNormal;
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    SystemLanguage = DetectSystemLanguage();
    ChosenLanguage = 0;
    ModuleInstance = instance;
    CreateSampleFont();

    int exitCode = LoadSheetsFromPayload();
    if (exitCode == kExitNormal && UnattendedRun) {
        exitCode = RunUnattended(folder);
    } else if (exitCode == kExitNormal) {
        // The progress bar of the wizard template needs its class registered;
        // COMCTL32 is not a KnownDLL, so it is loaded by its System32 path.
        RegisterCommonControls();

        WizardPage = 0;
        WizardIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_WIZARD));
        WizardWindow = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_WIZARD), NULL,
                                          WizardDialogProc, 0);
        if (WizardWindow) {
            RunMessageLoop();
            DestroyWindow(WizardWindow);
            WizardWindow = NULL;
        } else {
            exitCode = kExitStartupFailed;
        }
    }

    ReleaseGlyphSheets();
    if (SampleFont) {
        DeleteObject(SampleFont);
        SampleFont = NULL;
    }
    return exitCode;
}

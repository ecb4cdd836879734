// Platform detection and the Enter rule of the main loop. Kept out of WinMain
// so that the tests can run them under every Windows version Wine pretends.

#include "wizard/wizard.h"

#include "render/render.h"
#include "resources/ids.h"

HINSTANCE ModuleInstance;
HWND WizardWindow;
HICON WizardIcon;
int WizardPage;
const int DefaultCommand = IDC_NEXT;

int NtPlatform;
int VersionThree;
int DocumentRegistration;
int NtFiveOrLater;
UiLanguage SystemLanguage;
UiLanguage ChosenLanguage;

void ReadPlatformFlags(void)
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;    // 148: the 8-bit form
    NtPlatform = VersionThree = DocumentRegistration = NtFiveOrLater = 0;
    if (!GetVersionExA(&version))
        return;
    NtPlatform = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    VersionThree = version.dwMajorVersion == 3;
    DocumentRegistration = NtPlatform && version.dwMajorVersion >= 6;
    NtFiveOrLater = NtPlatform && version.dwMajorVersion >= 5;
}

UiLanguage SystemLanguageFor(LANGID language, int multiByteCodePage)
{
    // A Chinese language id alone is not enough: without a double-byte ANSI
    // code page the installed programs could not show their Chinese texts.
    // Bit 10, the lowest bit of the sublanguage, separates Taiwan, Hong Kong
    // and Macau (Traditional) from the PRC and Singapore (Simplified).
    if (!multiByteCodePage || (language & 0x3FF) != LANG_CHINESE)
        return 0;
    return (language & 0x400) ? 2 : 1;
}

UiLanguage DetectSystemLanguage(void)
{
    return SystemLanguageFor(GetSystemDefaultLangID(), AnsiCodePageIsMultiByte());
}

static int IsCheckOrRadioStyle(LONG style)
{
    switch (style & 0xFF) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
        return 1;
    }
    return 0;
}

int RouteEnterKey(const MSG *msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_RETURN)
        return 0;

    // The wizard's buttons are owner-drawn, so the dialog manager does not
    // count them as push buttons and would send Enter to the default id.
    // Enter on a focused push button must act on that button instead.
    HWND focus = GetFocus();
    char className[100];
    if (focus && GetClassNameA(focus, className, sizeof className)) {
        className[sizeof className - 1] = 0;
        if (lstrcmpiA(className, "button") == 0
            && !IsCheckOrRadioStyle(GetWindowLongA(focus, GWL_STYLE))) {
            PostMessageA(WizardWindow, WM_COMMAND, (WPARAM)GetWindowLongA(focus, GWL_ID), 0);
            return 1;
        }
    }
    PostMessageA(WizardWindow, WM_COMMAND, (WPARAM)DefaultCommand, 0);
    return 0;
}

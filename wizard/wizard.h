// The installer wizard: start-up, the wizard dialog, the message box and the
// folder chooser. The globals here live for the whole process; they are set
// at start-up or by the wizard and read by the other subsystems.
#pragma once

#include <windows.h>

// Interface language: 0 English, 1 Simplified Chinese (GBK), 2 Traditional
// Chinese (Big5).
typedef int UiLanguage;

// Wizard page: 0 to 3 on screen, 99 while installing, -1 to quit.
enum { kPageInstalling = 99, kPageQuit = -1 };

extern HINSTANCE ModuleInstance;
extern HWND WizardWindow;
extern HICON WizardIcon;
extern int WizardPage;
extern const int DefaultCommand;        // 1001: what Enter does when no push button has the focus

extern int NtPlatform;                  // platform id is VER_PLATFORM_WIN32_NT
extern int VersionThree;                // major version is 3
extern int DocumentRegistration;        // NT platform, major version 6 or later
extern int NtFiveOrLater;               // NT platform, major version 5 or later: access control
                                        // lists with protection, the Global\ object names
extern UiLanguage SystemLanguage;
extern UiLanguage ChosenLanguage;       // picked on the last page; 0 until Install
extern int ChineseDisplayAnswer;        // 1 when the sample line showed correctly
extern int DesktopIconChoice;
extern char InstallFolderPath[MAX_PATH];
extern WNDPROC SavedButtonProc;         // button procedure of the subclassed check boxes

// Start-up pieces, kept apart from WinMain so that they can be exercised alone.
void ReadPlatformFlags(void);
UiLanguage DetectSystemLanguage(void);
// The Enter rule of the main loop: posts the command Enter stands for and
// returns 1 when the key message must not reach the dialog manager.
int RouteEnterKey(const MSG *msg);

INT_PTR CALLBACK WizardDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ShowWizardPage(HWND window, int page);
// The language combo's text (GBK) for an interface language; null for a
// value that is none.
const char *LanguageChoiceText(UiLanguage value);

// The system language for a language id and whether the ANSI code page is
// multi-byte: Chinese only where the code page can hold Chinese.
UiLanguage SystemLanguageFor(LANGID language, int multiByteCodePage);

// The agreement page's texts. CutAgreementLines cuts `text` (length bytes,
// text[length] a zero) in place into the lines that end at a carriage return
// (a line feed right after it is skipped; text after the last one is no
// line) and stores at most `capacity` of them; returns how many.
int CutAgreementLines(char *text, unsigned long length, char **lines, int capacity);
int LoadAgreementTexts(HWND dialog);

// The installation that Agree/Install starts: folder check, install
// sequence, outcome and speech component. Returns to page 0 when the folder
// is unusable.
void RunInstallation(HWND dialog);
// Whether the folder box's text names a folder the installer may use: a
// full path of a drive or a network share, no character or name Windows
// reserves. A drive letter and colon alone stand for the drive's root.
// Forward slashes separate as backslashes do; the folder is used with
// backslashes only.
int IsUsableFolderText(const char *path);

// Why a folder is not used; each has its notice, and its exit code in an
// unattended run.
enum FolderVerdict {
    kFolderReady, kFolderUnusable, kFolderUnsafe, kFolderShortOfSpace, kFolderOfSystem, kFolderWithoutLists,
    kFolderUnsafePath, kFolderHoldsProgram, kFolderNotSecured
};
// The space a short drive lacks, as its notice gives it.
struct SpaceShortage {
    unsigned long neededMegabytes;
    unsigned long freeMegabytes;
};
// Checks a folder text as typed and makes it the installation folder path,
// ready for the install sequence: created where missing, closed to other
// users where the system can, under folders only the system's accounts can
// change. A FolderVerdict; `culprit` (MAX_PATH) names what is to blame for
// the verdicts whose notice names it.
int PrepareInstallFolder(const char *text, SpaceShortage *space, char *culprit);
// The folder the wizard proposes: Lunko at the root of the Windows drive.
void DefaultInstallFolder(char *folder);

// Bytes of a usable folder path (backslashes only) up to and including the
// backslash that ends its root: 3 for "C:\...", the length of
// "\\server\share\" for a share, even where the path ends before it.
size_t FolderRootLength(const char *path);
// Whether the catalogue fits on the drive of `folder`, asked of the deepest
// of its folders that exists: 1 when it fits or the free space cannot be
// read, 0 when it does not, with the megabytes needed (rounded up) and free
// (rounded down).
int CatalogueFitsOnDrive(const char *folder, unsigned long *neededMegabytes, unsigned long *freeMegabytes);

// The speech package's program, `systemFolder`\msiexec.exe (MAX_PATH), and
// command line, "<program>" /i "<package>" (`size` bytes); 0 when either
// would not fit.
int ComposeSpeechCommand(char *program, char *commandLine, size_t size, const char *systemFolder,
                         const char *package);

// Browse: the folder chooser; 1 when the user picked a folder, which is then
// in the installation folder path.
int ChooseInstallFolder(void);
UINT_PTR CALLBACK FolderChooserHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The unattended mode. ReadSwitches reads the installer's command line
// (changed in place): kWizardStart without /S, where the line stays unused;
// kUnattended with /S, `folder` then the text after /D= (the rest of the
// line, trailing blanks dropped) or null without it; kUnknownSwitch with /S
// and a switch it does not know. Switches are case-insensitive.
enum { kWizardStart, kUnattended, kUnknownSwitch };
int ReadSwitches(char *line, const char **folder);
// Installs into `folder` (null: the default) without any window, taking the
// safe answer wherever the wizard would ask; returns the exit code.
int RunUnattended(const char *folder);
// 1 in an unattended run: no notice may show.
extern int UnattendedRun;

// Shows a modal notice with a Chinese (GBK) and an English text, with the
// buttons its type names; any type other than these three shows OK and
// Cancel. Returns the id of the button that ended it, or -1 when the box
// cannot be created.
enum { kBoxOk = 0, kBoxOkCancel = 1, kBoxYesNo = 4 };
// English texts of at most kBoxEnglishCapacity - 1 bytes; a longer one is
// cut. The Chinese text shows its first kWindowTextShown bytes (render.h).
enum { kBoxEnglishCapacity = 128 };
int BilingualMessageBox(const char *chinese, const char *english, int type, HWND owner);
extern const char kMemoryNoticeChinese[];
extern const char kMemoryNoticeEnglish[];
INT_PTR CALLBACK MessageBoxDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

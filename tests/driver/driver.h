// The test driver: works the installer from a second process as a user
// would - starts it, finds its windows by caption, clicks, types, reads
// control state and text, and captures pixels from the screen.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

// ---- paths ---------------------------------------------------------------
// A Unix path (as CTest passes them) in the form Wine's programs accept.
std::string DosPath(const std::string &path);
// An environment variable set by the test registration; "" when unset.
std::string TestSetting(const char *name);
std::string InstallerPath();            // LUNKO_INSTALLER as a DOS path
std::string PayloadFilePath(const char *fileName);   // a file of the payload folder
std::string ScreenshotPath(const char *name);        // <screenshots>/<name>.png
std::vector<unsigned char> ReadWholeFile(const std::string &path);
std::string ReadFileText(const std::string &path);
// Writes `content` as the whole file; false when it cannot.
bool WriteWholeFile(const std::string &path, const std::string &content);
// Writes `content` over whatever file is there, whatever its attributes, and
// then gives it `attributes` (if any).
bool PlantFile(const std::string &path, const std::string &content, DWORD attributes = 0);
std::string Lower(std::string text);    // ASCII letters only
// Bytes as a failure message can show them: printable ASCII as it is,
// everything else (and the backslash) as \xNN.
std::string Printable(const std::string &bytes);

// ---- processes -----------------------------------------------------------
struct Program {
    HANDLE process;
    HANDLE thread;
    DWORD processId;
    DWORD threadId;
};
// Starts `exe` (a DOS path) in an optional folder, with an optional command
// line tail.
bool StartProgram(const std::string &exe, Program *program, const char *currentFolder = nullptr,
                  const char *arguments = nullptr);
// Waits for the program to end; returns its exit code, or -1 on time-out.
int WaitForExit(Program *program, DWORD timeoutMs);
void EndProgram(Program *program);     // kills it if still running, closes handles

// ---- windows -------------------------------------------------------------
// A visible top-level window of the process with that caption whose controls
// exist; null after the time-out.
HWND WaitForWindow(const char *caption, DWORD processId, DWORD timeoutMs = 60000);
// Waits until no visible window of the process has that caption.
bool WaitForWindowGone(const char *caption, DWORD processId, DWORD timeoutMs = 60000);
// Waits until `predicate` holds, polling; false after the time-out.
bool WaitUntil(bool (*predicate)(void *), void *context, DWORD timeoutMs = 30000);

HWND Control(HWND dialog, int id);
void ClickControl(HWND dialog, int id);          // BM_CLICK, posted
void FocusControl(HWND dialog, int id);          // the dialog moves its own focus
HWND FocusedWindow(DWORD threadId);              // the focus inside another thread
void PostKey(HWND target, int virtualKey);       // WM_KEYDOWN and WM_KEYUP, posted
void TypeKey(HWND foreground, int virtualKey);   // SendInput to the foreground window
bool IsChecked(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);
bool IsControlEnabled(HWND dialog, int id);
std::string ControlText(HWND dialog, int id);
std::string WindowText(HWND window);
// A list or combo item in GBK bytes, whatever the system's code page: the
// installer keeps its entries in UTF-16 made from GBK. It is read in UTF-16
// too: Wine's 8-bit cross-process LB_GETTEXT returns only the first character.
std::string ListItemText(HWND control, int index, bool combo);
RECT ScreenRectOf(HWND window);                  // window rectangle
RECT ClientScreenRect(HWND window);              // client area in screen coordinates
RECT ControlClientRect(HWND dialog, int id);     // control rectangle in the dialog's client coordinates

// ---- pixels --------------------------------------------------------------
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;               // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return pixels[(size_t)y * width + x]; }
};
bool CaptureScreen(const RECT &rect, Image *image);
bool CaptureWindow(HWND window, Image *image);   // frame included
bool CaptureClient(HWND window, Image *image);   // client area only
// The sub-image at (x, y) of size w x h (clipped to the image).
Image Crop(const Image &image, int x, int y, int w, int h);
bool SavePng(const Image &image, const std::string &path);
// Captures the window and saves it as <screenshots>/<name>.png.
bool SaveScreenshot(HWND window, const char *name);

// ---- the installer's wizard ----------------------------------------------
// The captions of its windows and the English of its notices.
extern const char kWizardCaption[];
extern const char kNoticeCaption[];
extern const char kChooserCaption[];
extern const char kFolderNotice[];
extern const char kShortcutFolderNotice[];
extern const char kShortcutFolderNoticeStart[];  // the Chinese text, up to the folder
extern const char kSuccessNotice[];
extern const char kSpeechQuestion[];
extern const char kFailureNotice[];
extern const char kNoAnswerNotice[];
extern const char kUnsafeFolderNotice[];

// Starts `exe` and waits for its wizard; null after the time-out (generous:
// under emulation a loaded machine starts Wine slowly).
HWND StartWizard(Program *program, const std::string &exe, const char *currentFolder = nullptr,
                 DWORD timeoutMs = 180000);
// The page on screen, told by the control that only it shows: 0 to 3, -1
// for none, -2 for two at once.
int PageOnScreen(HWND wizard);
// These three wait until the window's thread has also finished the command
// that made the condition true, not only until a poll first sees it; so not
// while the wizard installs, when its thread answers no message.
bool WaitForPage(HWND wizard, int page, DWORD timeoutMs = 30000);
bool WaitForChecked(HWND dialog, int id, bool checked, DWORD timeoutMs = 10000);
bool WaitForVisible(HWND dialog, int id, bool visible, DWORD timeoutMs = 10000);
// Polls until `control` has the focus of the thread.
bool WaitForFocus(DWORD threadId, HWND control, DWORD timeoutMs = 10000);
// Clicks `id` of the wizard and waits for `page`.
bool PressForPage(HWND wizard, int id, int page);
// From page 0 forward to `page` (1 to 3), ticking `answer` on page 1.
bool WalkForward(HWND wizard, int page, int answer);
// The lines the wizard's list shows of an agreement text of the payload:
// those it ends with a carriage return (a line feed after it skipped), at
// most 500.
std::vector<std::string> AgreementLines(const char *fileName);
// Selects the interface language of page 3 by its item data.
void ChooseLanguage(HWND wizard, int language);
// Waits for the installer's notice, saves it as <screenshot>.png when named,
// presses `button` and waits for it to go. Returns its English text (with
// " (and it stayed)" if it did not go), or "(no notice)".
std::string AnswerNotice(DWORD processId, int button, const std::string &screenshot = "",
                         DWORD timeoutMs = 120000);

// ---- memory --------------------------------------------------------------
// Bytes copied so that they end exactly where a no-access page begins. A
// read into that page ends the program at once with exit code 3 and says
// where, rather than leaving it to wait for Wine's debugger.
struct GuardedBytes {
    char *region = nullptr;
    char *bytes = nullptr;                      // null when no pages could be had
    char *guard = nullptr;
    GuardedBytes(const void *data, size_t size);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes &) = delete;
    GuardedBytes &operator=(const GuardedBytes &) = delete;
};

// Driving another process's windows under Wine. Everything here polls: a
// window can exist before its controls do, and a posted click is handled
// whenever the other process gets to it.

#include "tests/driver/driver.h"

#include "resources/ids.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// ---- paths ---------------------------------------------------------------

std::string DosPath(const std::string &path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string dos = "Z:" + path;
    for (char &c : dos)
        if (c == '/')
            c = '\\';
    return dos;
}

std::string TestSetting(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

std::string InstallerPath()
{
    return DosPath(TestSetting("LUNKO_INSTALLER"));
}

std::string PayloadFilePath(const char *fileName)
{
    return DosPath(TestSetting("LUNKO_PAYLOAD_FILES")) + "\\" + fileName;
}

std::string ScreenshotPath(const char *name)
{
    std::string folder = TestSetting("LUNKO_SCREENSHOTS");
    if (folder.empty())
        folder = "/tmp";
    return DosPath(folder) + "\\" + name + ".png";
}

std::vector<unsigned char> ReadWholeFile(const std::string &path)
{
    std::vector<unsigned char> data;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return data;
    unsigned char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        data.insert(data.end(), chunk, chunk + n);
    fclose(file);
    return data;
}

std::string ReadFileText(const std::string &path)
{
    std::vector<unsigned char> data = ReadWholeFile(path);
    return std::string(data.begin(), data.end());
}

bool WriteWholeFile(const std::string &path, const std::string &content)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = fwrite(content.data(), 1, content.size(), file) == content.size();
    return fclose(file) == 0 && written;
}

bool PlantFile(const std::string &path, const std::string &content, DWORD attributes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!WriteWholeFile(path, content))
        return false;
    return !attributes || SetFileAttributesA(path.c_str(), attributes);
}

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

std::string Printable(const std::string &bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        char escape[8];
        snprintf(escape, sizeof escape, c >= 0x20 && c < 0x7f && c != '\\' ? "%c" : "\\x%02x", c);
        shown += escape;
    }
    return shown;
}

// ---- processes -----------------------------------------------------------

bool StartProgram(const std::string &exe, Program *program, const char *currentFolder,
                  const char *arguments)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    if (arguments)
        commandLine += std::string(" ") + arguments;
    ZeroMemory(program, sizeof *program);
    if (!CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, currentFolder,
                        &startup, &info))
        return false;
    program->process = info.hProcess;
    program->thread = info.hThread;
    program->processId = info.dwProcessId;
    program->threadId = info.dwThreadId;
    return true;
}

int WaitForExit(Program *program, DWORD timeoutMs)
{
    if (WaitForSingleObject(program->process, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(program->process, &code);
    return (int)code;
}

void EndProgram(Program *program)
{
    if (!program->process)
        return;
    if (WaitForSingleObject(program->process, 0) != WAIT_OBJECT_0) {
        TerminateProcess(program->process, 255);
        WaitForSingleObject(program->process, 10000);
    }
    CloseHandle(program->process);
    CloseHandle(program->thread);
    ZeroMemory(program, sizeof *program);
}

// ---- windows -------------------------------------------------------------

struct WindowSearch {
    const char *caption;
    DWORD processId;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    WindowSearch *search = (WindowSearch *)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId && owner != search->processId)
        return TRUE;
    if (!IsWindowVisible(window))
        return TRUE;
    char text[256];
    GetWindowTextA(window, text, sizeof text);
    if (lstrcmpA(text, search->caption) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

static HWND FindVisibleWindow(const char *caption, DWORD processId)
{
    WindowSearch search = { caption, processId, NULL };
    EnumWindows(MatchWindow, (LPARAM)&search);
    return search.found;
}

HWND WaitForWindow(const char *caption, DWORD processId, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        HWND window = FindVisibleWindow(caption, processId);
        if (window && GetWindow(window, GW_CHILD)) {
            Sleep(200);                 // let the first paint finish
            return window;
        }
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return NULL;
}

bool WaitForWindowGone(const char *caption, DWORD processId, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (!FindVisibleWindow(caption, processId))
            return true;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

bool WaitUntil(bool (*predicate)(void *), void *context, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (predicate(context))
            return true;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return predicate(context);
}

HWND Control(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

void ClickControl(HWND dialog, int id)
{
    PostMessageA(Control(dialog, id), BM_CLICK, 0, 0);
}

void FocusControl(HWND dialog, int id)
{
    SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)Control(dialog, id), TRUE);
}

HWND FocusedWindow(DWORD threadId)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : NULL;
}

void PostKey(HWND target, int virtualKey)
{
    UINT scan = MapVirtualKeyA(virtualKey, 0);
    PostMessageA(target, WM_KEYDOWN, (WPARAM)virtualKey, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, (WPARAM)virtualKey, 1 | (scan << 16) | 0xC0000000u);
}

void TypeKey(HWND foreground, int virtualKey)
{
    SetForegroundWindow(foreground);
    INPUT input[2];
    ZeroMemory(input, sizeof input);
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = (WORD)virtualKey;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof input[0]);
}

bool IsChecked(HWND dialog, int id)
{
    return SendMessageA(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsControlVisible(HWND dialog, int id)
{
    return IsWindowVisible(Control(dialog, id)) != FALSE;
}

bool IsControlEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(Control(dialog, id)) != FALSE;
}

std::string WindowText(HWND window)
{
    char text[1024];
    LRESULT n = SendMessageA(window, WM_GETTEXT, sizeof text, (LPARAM)text);
    return std::string(text, n > 0 ? (size_t)n : 0);
}

std::string ControlText(HWND dialog, int id)
{
    return WindowText(Control(dialog, id));
}

std::string ListItemText(HWND control, int index, bool combo)
{
    UINT lengthMessage = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT textMessage = combo ? CB_GETLBTEXT : LB_GETTEXT;
    LRESULT length = SendMessageW(control, lengthMessage, (WPARAM)index, 0);
    if (length < 0)
        return "";
    std::wstring text((size_t)length + 1, L'\0');
    LRESULT n = SendMessageW(control, textMessage, (WPARAM)index, (LPARAM)&text[0]);
    std::string bytes((size_t)(n > 0 ? n : 0) * 2 + 1, '\0');
    int written = WideCharToMultiByte(936, 0, text.c_str(), n > 0 ? (int)n : 0, &bytes[0],
                                      (int)bytes.size(), NULL, NULL);
    bytes.resize(written > 0 ? (size_t)written : 0);
    return bytes;
}

RECT ScreenRectOf(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

RECT ClientScreenRect(HWND window)
{
    RECT rect;
    GetClientRect(window, &rect);
    MapWindowPoints(window, NULL, (POINT *)&rect, 2);
    return rect;
}

RECT ControlClientRect(HWND dialog, int id)
{
    RECT rect;
    GetWindowRect(Control(dialog, id), &rect);
    MapWindowPoints(NULL, dialog, (POINT *)&rect, 2);
    return rect;
}

// ---- pixels --------------------------------------------------------------

bool CaptureScreen(const RECT &rect, Image *image)
{
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    // PrintWindow draws nothing usable under Wine: copy from the screen.
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    bool ok = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
        GdiFlush();
        if (ok) {
            image->width = width;
            image->height = height;
            image->pixels.assign((uint32_t *)bits, (uint32_t *)bits + (size_t)width * height);
            for (uint32_t &p : image->pixels)
                p &= 0x00FFFFFF;
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}

bool CaptureWindow(HWND window, Image *image)
{
    return CaptureScreen(ScreenRectOf(window), image);
}

bool CaptureClient(HWND window, Image *image)
{
    return CaptureScreen(ClientScreenRect(window), image);
}

Image Crop(const Image &image, int x, int y, int w, int h)
{
    Image part;
    if (x < 0) { w += x; x = 0; }
    if (y < 0) { h += y; y = 0; }
    if (x + w > image.width) w = image.width - x;
    if (y + h > image.height) h = image.height - y;
    if (w <= 0 || h <= 0)
        return part;
    part.width = w;
    part.height = h;
    part.pixels.resize((size_t)w * h);
    for (int row = 0; row < h; row++)
        for (int col = 0; col < w; col++)
            part.pixels[(size_t)row * w + col] = image.At(x + col, y + row);
    return part;
}

bool SaveScreenshot(HWND window, const char *name)
{
    Image image;
    return CaptureWindow(window, &image) && SavePng(image, ScreenshotPath(name));
}

// ---- the installer's wizard ----------------------------------------------

const char kWizardCaption[] = WIZARD_CAPTION;
const char kNoticeCaption[] = "Tavelorn Install Message";
const char kChooserCaption[] = "Choose Destination Directory";
const char kFolderNotice[] = "Cannot create folder! Please check folder path.";
const char kShortcutFolderNotice[] = "Cannot create folder!";
const char kShortcutFolderNoticeStart[] = "\xce\xde\xb7\xa8\xbd\xa8\xc4\xbf\xc2\xbc(";   // "无法建目录("
const char kSuccessNotice[] = "Congratulations! Installation Success!";
const char kSpeechQuestion[] = "Now install sound module SAPI5.1 from Microsoft.";
const char kFailureNotice[] =
    "Installation failed. Please check your system (quit all Lunko applications) and try again.";
const char kNoAnswerNotice[] = "Please select a choice.";
const char kUnsafeFolderNotice[] =
    "This folder is not safe: other users could change the programs in it. Please choose another folder.";

HWND StartWizard(Program *program, const std::string &exe, const char *currentFolder, DWORD timeoutMs)
{
    if (!StartProgram(exe, program, currentFolder))
        return NULL;
    return WaitForWindow(kWizardCaption, program->processId, timeoutMs);
}

static const int kPageMark[] = { IDC_FOLDER_EDIT, IDC_DISPLAY_QUESTION, IDC_SHOW_ENGLISH,
                                 IDC_LANGUAGE_COMBO };

int PageOnScreen(HWND wizard)
{
    int page = -1;
    for (int i = 0; i < 4; i++) {
        if (!IsControlVisible(wizard, kPageMark[i]))
            continue;
        if (page >= 0)
            return -2;
        page = i;
    }
    return page;
}

struct Condition {
    HWND window;
    int id;
    int wanted;
    bool (*state)(HWND, int);           // of control `id`
};

// A page switch shows and hides control by control, so what a poll sees can
// be half way; an empty message answered by the window's thread marks the
// end of the command that was being handled.
static bool Settled(bool (*holds)(void *), Condition *condition, DWORD timeoutMs)
{
    DWORD_PTR result;
    return WaitUntil(holds, condition, timeoutMs)
           && SendMessageTimeoutA(condition->window, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &result)
           && WaitUntil(holds, condition, 0);
}

bool WaitForPage(HWND wizard, int page, DWORD timeoutMs)
{
    Condition on = { wizard, 0, page, nullptr };
    return Settled([](void *c) {
        Condition *on = (Condition *)c;
        return PageOnScreen(on->window) == on->wanted;
    }, &on, timeoutMs);
}

static bool ControlIsInState(void *c)
{
    Condition *control = (Condition *)c;
    return control->state(control->window, control->id) == (control->wanted != 0);
}

bool WaitForChecked(HWND dialog, int id, bool checked, DWORD timeoutMs)
{
    Condition box = { dialog, id, checked, IsChecked };
    return Settled(ControlIsInState, &box, timeoutMs);
}

bool WaitForVisible(HWND dialog, int id, bool visible, DWORD timeoutMs)
{
    Condition control = { dialog, id, visible, IsControlVisible };
    return Settled(ControlIsInState, &control, timeoutMs);
}

bool WaitForFocus(DWORD threadId, HWND control, DWORD timeoutMs)
{
    struct Focus {
        DWORD threadId;
        HWND control;
    } focus = { threadId, control };
    return WaitUntil([](void *c) {
        Focus *focus = (Focus *)c;
        return FocusedWindow(focus->threadId) == focus->control;
    }, &focus, timeoutMs);
}

bool PressForPage(HWND wizard, int id, int page)
{
    ClickControl(wizard, id);
    return WaitForPage(wizard, page);
}

bool WalkForward(HWND wizard, int page, int answer)
{
    if (!PressForPage(wizard, IDC_NEXT, 1))
        return false;
    if (page < 2)
        return true;
    ClickControl(wizard, answer);
    return WaitForChecked(wizard, answer, true) && PressForPage(wizard, IDC_NEXT, 2)
           && (page < 3 || PressForPage(wizard, IDC_NEXT, 3));
}

std::vector<std::string> AgreementLines(const char *fileName)
{
    std::string text = ReadFileText(PayloadFilePath(fileName));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size() && lines.size() < 500; i++) {
        if (text[i] != '\r')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i + 1] == '\n')
            i++;
        start = i + 1;
    }
    return lines;
}

void ChooseLanguage(HWND wizard, int language)
{
    HWND combo = Control(wizard, IDC_LANGUAGE_COMBO);
    for (int i = 0; i < 3; i++)
        if (SendMessageA(combo, CB_GETITEMDATA, i, 0) == language)
            SendMessageA(combo, CB_SETCURSEL, i, 0);
}

std::string AnswerNotice(DWORD processId, int button, const std::string &screenshot, DWORD timeoutMs)
{
    HWND box = WaitForWindow(kNoticeCaption, processId, timeoutMs);
    if (!box)
        return "(no notice)";
    std::string english = ControlText(box, IDC_MESSAGE_ENGLISH);
    if (!screenshot.empty()) {
        Sleep(300);                     // the box paints its labels after it shows
        SaveScreenshot(box, screenshot.c_str());
    }
    ClickControl(box, button);
    // This box, not the caption: the next notice may follow at once.
    bool gone = WaitUntil([](void *window) { return !IsWindowVisible((HWND)window); }, box, 30000);
    return gone ? english : english + " (and it stayed)";
}

// ---- memory --------------------------------------------------------------

static std::vector<const char *> GuardPages;

static LONG CALLBACK ReportGuardPageRead(EXCEPTION_POINTERS *exception)
{
    const EXCEPTION_RECORD *record = exception->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const char *address = (const char *)record->ExceptionInformation[1];
    for (const char *page : GuardPages) {
        if (address >= page && address < page + 4096) {
            printf("\n%s byte %d past guarded data, at %p (code at %p)\n",
                   record->ExceptionInformation[0] == 1 ? "wrote" : "read", (int)(address - page) + 1,
                   (const void *)address, record->ExceptionAddress);
            fflush(stdout);
            ExitProcess(3);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

GuardedBytes::GuardedBytes(const void *data, size_t size)
{
    static PVOID handler = AddVectoredExceptionHandler(1, ReportGuardPageRead);
    size_t pages = (size + 4095) / 4096;
    DWORD old;
    (void)handler;
    region = (char *)VirtualAlloc(NULL, (pages + 1) * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (region && VirtualProtect(region + pages * 4096, 4096, PAGE_NOACCESS, &old)) {
        guard = region + pages * 4096;
        bytes = guard - size;
        memcpy(bytes, data, size);
        GuardPages.push_back(guard);
    }
}

GuardedBytes::~GuardedBytes()
{
    for (size_t i = 0; i < GuardPages.size(); i++)
        if (GuardPages[i] == guard)
            GuardPages.erase(GuardPages.begin() + i--);
    if (region)
        VirtualFree(region, 0, MEM_RELEASE);
}

// The installer's own message box: a Chinese text drawn from the glyph sheets
// (readable where the system cannot show Chinese) above an English text, with
// OK, OK and Cancel, or Yes and No. It sizes and centres itself from the
// extents of its two texts.

#include <string.h>

#include "render/render.h"
#include "resources/ids.h"
#include "wizard/wizard.h"

enum {
    kFallbackButtonWidth = 82,  // pixels at 96 DPI, where the box has no button to measure
    kFallbackButtonHeight = 12,
    kEnglishGap = 5,            // more between the Chinese and the English text, at 96 DPI
    kNoMarginLength = 81,       // Chinese texts this long get no side margin
};

// The one notice that start-up, the wizard and the install sequence share.
const char kMemoryNoticeChinese[] = "内存不够。安装无法继续。";
const char kMemoryNoticeEnglish[] = "Memory not enough!";

static int messageBoxType;
static char messageBoxEnglish[kBoxEnglishCapacity];

static int Larger(int a, int b)
{
    return a > b ? a : b;
}

static void PlaceButton(HWND box, int id, int x, int y, int w, int h)
{
    HWND button = GetDlgItem(box, id);
    if (!button)
        return;
    MoveWindow(button, x, y, w, h, TRUE);
    ShowWindow(button, SW_SHOW);
}

// All divisions truncate. The box's place on the screen is centred on the
// content size even when the minimum width makes the box wider.
static BOOL OnInitDialog(HWND box, const char *chinese)
{
    int first = messageBoxType == kBoxYesNo ? IDYES : IDOK;
    int second = messageBoxType == kBoxYesNo ? IDNO : IDCANCEL;

    // The box's DC as it comes, with the system font: the English extent is
    // measured generously against the dialog font that draws it.
    HDC dc = GetDC(box);
    SIZE main = MeasureLabelText(dc, chinese);
    SIZE english = { 0, 0 };
    if (messageBoxEnglish[0]
        && !GetTextExtentPointA(dc, messageBoxEnglish, (int)strlen(messageBoxEnglish), &english)) {
        english.cx = 0;
        english.cy = 0;
    }
    ReleaseDC(box, dc);

    int w = ScaledPixels(kFallbackButtonWidth), h = ScaledPixels(kFallbackButtonHeight);
    RECT buttonRect;
    HWND firstButton = GetDlgItem(box, first);
    if (firstButton && GetClientRect(firstButton, &buttonRect)) {
        w = buttonRect.right - buttonRect.left;
        h = buttonRect.bottom - buttonRect.top;
    }
    int minimumWidth = messageBoxType == kBoxOk ? 2 * w : 3 * w;

    int contentWidth = Larger(main.cx, english.cx) + 2 * GetSystemMetrics(SM_CXDLGFRAME);
    if (strlen(chinese) < kNoMarginLength)
        contentWidth += 2 * h;
    int contentHeight = 3 * (main.cy + h) + 2 * english.cy;
    int boxWidth = Larger(contentWidth, minimumWidth);
    SetWindowPos(box, NULL, (GetSystemMetrics(SM_CXSCREEN) - contentWidth) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - contentHeight) / 2, boxWidth,
                 contentHeight + GetSystemMetrics(SM_CYCAPTION), SWP_NOZORDER);

    // The buttons are centred on the width the box really has: centred on a
    // content width below the minimum, the first of two buttons would start
    // left of the box's edge and be cut off.
    if (messageBoxType == kBoxOk) {
        PlaceButton(box, IDOK, (boxWidth - w) / 2, contentHeight - 2 * h, w, h);
    } else {
        int x = (boxWidth - (7 * w) / 3) / 2;
        int y = contentHeight - (3 * h) / 2;
        PlaceButton(box, first, x, y, w, h);
        PlaceButton(box, second, x + (4 * w) / 3, y, w, h);
    }

    RECT client;
    GetClientRect(box, &client);
    // The drawing takes the bytes themselves: the window text would pass
    // through the system code page, which is not GBK everywhere. The window
    // text, widened from GBK, is what screen readers read.
    HWND mainText = GetDlgItem(box, IDC_MESSAGE_CHINESE);
    SetWindowLongPtrA(mainText, GWLP_USERDATA, (LONG_PTR)chinese);
    NameControlByLabel(mainText, chinese);
    NameControlByLabel(GetDlgItem(box, first), ButtonLabelText(first));
    NameControlByLabel(GetDlgItem(box, second), ButtonLabelText(second));
    MoveWindow(mainText, client.left, (2 * main.cy) / 3, client.right, 3 * main.cy, TRUE);

    HWND englishText = GetDlgItem(box, IDC_MESSAGE_ENGLISH);
    if (messageBoxEnglish[0]) {
        SetWindowTextA(englishText, messageBoxEnglish);
        int top = 3 * main.cy + (2 * main.cy) / 3 + ScaledPixels(kEnglishGap);
        MoveWindow(englishText, client.left, top, client.right, 2 * english.cy, TRUE);
    } else {
        ShowWindow(englishText, SW_HIDE);
    }
    return TRUE;
}

static void OnCommand(HWND box, int id)
{
    // Esc and the close box arrive as IDCANCEL even where no Cancel shows.
    switch (id) {
    case IDOK:
    case IDCANCEL:
    case IDYES:
    case IDNO:
        EndDialog(box, id);
        break;
    }
}

// Enter: to the dialog manager the owner-drawn buttons are no push buttons,
// so it asks the box for its default button and presses that one. The
// default is the focused button, or the first the box shows, so that Enter
// never gives the answer opposite to the one the focus points at.
static BOOL OnGetDefaultId(HWND box)
{
    HWND focus = GetFocus();
    int id = focus && GetParent(focus) == box ? GetDlgCtrlID(focus) : 0;
    int shown = (id == IDOK || id == IDCANCEL || id == IDYES || id == IDNO) && IsWindowVisible(focus);
    if (!shown)
        id = messageBoxType == kBoxYesNo ? IDYES : IDOK;
    SetWindowLongPtrA(box, DWLP_MSGRESULT, MAKELONG(id, DC_HASDEFID));
    return TRUE;
}

INT_PTR CALLBACK MessageBoxDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case DM_GETDEFID:
        return OnGetDefaultId(window);
    case WM_INITDIALOG:
        return OnInitDialog(window, (const char *)lParam);
    case WM_DRAWITEM:
        DrawOwnerButton((const DRAWITEMSTRUCT *)lParam, window);
        return TRUE;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return FALSE;
    }
    return FALSE;
}

int BilingualMessageBox(const char *chinese, const char *english, int type, HWND owner)
{
    // No one is there to answer an unattended run: the safe answer, unshown.
    if (UnattendedRun)
        return type == kBoxOk ? IDOK : type == kBoxYesNo ? IDNO : IDCANCEL;
    // An English text over 127 bytes is cut rather than refused: the notice
    // still reaches the user, and its Chinese text is whole.
    size_t length = english ? strlen(english) : 0;
    if (length > kBoxEnglishCapacity - 1)
        length = kBoxEnglishCapacity - 1;
    if (length)
        memcpy(messageBoxEnglish, english, length);
    messageBoxEnglish[length] = 0;
    messageBoxType = type;

    INT_PTR result = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_MESSAGE_BOX), owner,
                                     MessageBoxDialogProc, (LPARAM)(chinese ? chinese : ""));
    // 0 (a bad owner) is no button either: both mean the box never showed.
    return result > 0 ? (int)result : -1;
}

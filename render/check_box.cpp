// The wizard's three check boxes (desktop icon, and the two answers of the
// Chinese display test) keep the standard button's behaviour but are painted
// here, so that their bilingual texts go through the glyph renderer.

#include "render/render.h"
#include "resources/ids.h"
#include "wizard/wizard.h"

enum {
    kCheckBoxTextCapacity = 128,
    kCheckBoxTextLimit = 126,   // bytes of a window text that are shown
};

struct CheckBoxLabel {
    int id;
    const char *text;
};

static const CheckBoxLabel kCheckBoxLabels[] = {
    { IDC_DESKTOP_ICON, "建立桌面图标？  (Place an icon on Desktop)" },
    { IDC_DISPLAY_OK, "正确(OK)" },
    { IDC_DISPLAY_NO, "不正确(NO)" },
};

const char *CheckBoxLabelText(int id)
{
    for (const CheckBoxLabel &entry : kCheckBoxLabels)
        if (entry.id == id)
            return entry.text;
    return NULL;
}

static void PickCheckBoxText(HWND window, char *text)
{
    const char *fixed = CheckBoxLabelText(GetDlgCtrlID(window));
    if (fixed) {
        lstrcpynA(text, fixed, kCheckBoxTextCapacity);
        return;
    }
    text[0] = 0;
    GetWindowTextA(window, text, kCheckBoxTextCapacity);
    text[kCheckBoxTextCapacity - 1] = 0;
    CutLabelText(text, kCheckBoxTextLimit);
}

// The box is cut out of a square as high as the grown client area; radio
// and other button types get other proportions than check boxes.
static UINT PlaceBox(HWND window, RECT *box, int h)
{
    LONG type = GetWindowLongA(window, GWL_STYLE) & 0xFF;
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
        InflateRect(box, -(h / 4), -(h / 4));
        box->top -= 1;
        box->left -= h / 8;
        box->right -= h / 7;
        box->bottom -= 3;
        return DFCS_BUTTONCHECK;
    }
    InflateRect(box, -(h / 12), -(h / 12));
    box->left -= 1;
    box->top += 1;
    box->right -= h / 5;
    box->bottom -= 2;
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON ? DFCS_BUTTONRADIO
                                                                 : DFCS_BUTTONCHECK;
}

void PaintCheckBox(HWND window, HDC dc)
{
    int ticked = SendMessageA(window, BM_GETCHECK, 0, 0) == BST_CHECKED;

    RECT grown;
    GetClientRect(window, &grown);
    InflateRect(&grown, 2, 2);
    FillRect(dc, &grown, GetSysColorBrush(COLOR_BTNFACE));

    int h = grown.bottom - grown.top;
    RECT box = grown;
    box.right = box.left + h;
    UINT frame = PlaceBox(window, &box, h);
    if (ticked)
        frame |= DFCS_CHECKED;
    if (!IsWindowEnabled(window))
        frame |= DFCS_INACTIVE;         // only the box: the text keeps its colour
    DrawFrameControl(dc, &box, DFC_BUTTON, frame);

    char text[kCheckBoxTextCapacity];
    PickCheckBoxText(window, text);
    int x = 2 * box.right - box.left;   // one box width right of the box
    int y = grown.top + ScaledPixels(3);
    FitLabelText(dc, text, grown.right - 2 - x);   // up to the client area's edge
    SIZE size = MeasureLabelText(dc, text);
    // A paint context comes with black text, which a dark face would hide.
    COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawLabelText(dc, x, y, text, 0);
    SetTextColor(dc, oldColour);

    if (GetFocus() == window) {
        RECT focus = { x - ScaledPixels(1), y - ScaledPixels(1), x + size.cx + ScaledPixels(3),
                       y + size.cy + ScaledPixels(2) };
        DrawFocusRect(dc, &focus);
    }
}

// Set when the boxes were subclassed through the Unicode calls: their saved
// procedure must then be called through them too.
static const UnicodeWindowCalls *subclassedUnicode;

// A procedure installed with SetWindowLongA makes the system hand every text
// message through the ANSI code page: a screen reader asking for the box's
// name would get "?" for each Chinese character on a system whose code page
// has none. So the subclass is a Unicode one wherever windows are Unicode.
void InstallCheckBoxProc(HWND box)
{
    subclassedUnicode = UnicodeWindows();
    LONG previous = subclassedUnicode
                  ? subclassedUnicode->setWindowLong(box, GWL_WNDPROC, (LONG)CheckBoxSubclassProc)
                  : SetWindowLongA(box, GWL_WNDPROC, (LONG)CheckBoxSubclassProc);
    SavedButtonProc = (WNDPROC)previous;
}

static LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (subclassedUnicode)
        return SavedButtonProc ? subclassedUnicode->callWindowProc(SavedButtonProc, window, message, wParam, lParam)
                               : subclassedUnicode->defWindowProc(window, message, wParam, lParam);
    if (!SavedButtonProc)
        return DefWindowProcA(window, message, wParam, lParam);
    return CallWindowProcA(SavedButtonProc, window, message, wParam, lParam);
}

static LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc)
        PaintCheckBox(window, dc);
    EndPaint(window, &paint);
    return 0;
}

LRESULT CALLBACK CheckBoxSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        return OnPaint(window);
    case WM_LBUTTONDOWN:
        // The button procedure draws its own pressed look straight away; a
        // full repaint afterwards puts ours back.
        InvalidateRect(window, NULL, TRUE);
        break;
    }
    return PassOn(window, message, wParam, lParam);
}

// Owner-drawn buttons and button-style labels of the wizard, the message box
// and the folder chooser. Which text a control shows is decided here by its
// id, never by the dialog template, so every label carries both languages on
// every system.

#include <string.h>

#include "render/render.h"
#include "resources/ids.h"
#include "wizard/wizard.h"

enum ButtonLook { kFramedCentred, kPlainCentred, kPlainLeft };

enum {
    kBevelDepth = 3,            // the bevel and the default command's frame
    kFocusGap = 2,              // between a label and the focus line round it, at 96 DPI
};

struct ButtonLabel {
    int id;
    const char *text;
};

// 1001 is missing on purpose: its label follows the wizard page.
static const ButtonLabel kButtonLabelTable[] = {
    { IDOK, "确认 OK" },
    { IDCANCEL, "取消 Cancel" },
    { IDC_BACK, "退一步 Back" },
    { IDYES, "是 Yes" },
    { IDNO, "否 No" },
    { IDC_BROWSE, "改变 Browse ...." },
    { IDC_FOLDER_LABEL, "安装路径： (Install Path)" },
    { IDC_CHOOSER_DIRS_LABEL, "路径 (Directories):" },
    { IDC_PANEL_BRAND, "《Lunko》 Lunko" },
    { IDC_CHOOSER_DRIVES_LABEL, "磁盘 (Drives):" },
    // "Lunkovan" sounded out in three characters, as the product's short name.
    { IDC_PANEL_PRODUCT, "伦科万 Zavav Irazaz" },
    { IDC_PANEL_INSTALLER, "安装程序" },
    { IDC_DISPLAY_QUESTION, "以上中文显示正确吗 (Is the Above Chinese Display OK)?" },
    { IDC_DISPLAY_SAMPLE, "日出江花红胜火" },
    { IDC_BOTTOM_STRIP, "" },
    { IDC_LANGUAGE_LABEL, "User Interface Language 用户界面语言" },
};

static const char kNextLabel[] = "下一步 Next";
static const char kInstallLabel[] = "同意/安装 Agree/Install";

enum {
    kLabelCapacity = 128,       // a label of at most 127 bytes
    kFirstInstallPage = 3,      // from here on Next starts the installation
};

size_t WholeCharacterBytes(const char *text, size_t limit)
{
    size_t i = 0;
    while (text[i]) {
        size_t step = (unsigned char)text[i] >= 0x80 && text[i + 1] ? 2 : 1;
        if (i + step > limit)
            break;
        i += step;
    }
    return i;
}

void CutLabelText(char *text, size_t limit)
{
    // A two-byte character that would straddle the limit is dropped whole:
    // its lead byte alone would pair with the terminator and draw a cell
    // that has nothing to do with the text.
    text[WholeCharacterBytes(text, limit)] = 0;
}

// The English gives way: the longest run of one-byte characters loses
// characters from its end, "..." marking the cut, and where even the mark
// is too wide the run goes altogether. Blanks between that run and Chinese
// after it stay as the separator. A label whose Chinese alone is too wide
// is left for its caller to start at the control's left edge.
void FitLabelText(HDC dc, char *text, int width)
{
    size_t length = strlen(text);
    int excess = MeasureLabelText(dc, text).cx - width;
    if (excess <= 0)
        return;

    size_t start = 0, run = 0;
    for (size_t i = 0; i < length;) {
        if ((unsigned char)text[i] >= 0x80) {
            i += text[i + 1] ? 2 : 1;
            continue;
        }
        size_t j = i;
        while (j < length && (unsigned char)text[j] < 0x80)
            j++;
        if (j - i > run) {
            start = i;
            run = j - i;
        }
        i = j;
    }
    while (run && start + run < length && text[start + run - 1] == ' ')
        run--;

    // Characters leave from the run's end until what they freed pays for the
    // mark; at least three leave, so the text never grows.
    static const char kMark[] = "...";
    int mark = MeasureLabelText(dc, kMark).cx;
    size_t keep = run;
    int freed = 0;
    while (keep && (freed - mark < excess || run - keep < 3)) {
        keep--;
        char one[2] = { text[start + keep], 0 };
        freed += MeasureLabelText(dc, one).cx;
    }
    int marked = freed - mark >= excess && run - keep >= 3;
    if (!marked)
        keep = 0;
    while (keep && text[start + keep - 1] == ' ')
        keep--;

    char *tail = text + start + run;
    char *cut = text + start + keep;
    size_t markLength = marked ? sizeof kMark - 1 : 0;
    memmove(cut + markLength, tail, strlen(tail) + 1);
    memcpy(cut, kMark, markLength);
}

static ButtonLook LookOf(int id)
{
    switch (id) {
    case IDC_PANEL_BRAND:
    case IDC_PANEL_PRODUCT:
    case IDC_PANEL_INSTALLER:
    case IDC_MESSAGE_CHINESE:
    case IDC_DISPLAY_QUESTION:
    case IDC_DISPLAY_SAMPLE:
    case IDC_LANGUAGE_LABEL:
    case IDC_PANEL_BLANK:
        return kPlainCentred;
    case IDC_FOLDER_LABEL:
    case IDC_CHOOSER_DIRS_LABEL:
    case IDC_CHOOSER_DRIVES_LABEL:
    case IDC_ALT_LABEL:
    case IDC_BOTTOM_STRIP:
        return kPlainLeft;
    }
    return kFramedCentred;
}

static void CopyLabel(char *label, const char *text)
{
    size_t length = strlen(text);
    if (length > kLabelCapacity - 1)
        length = kLabelCapacity - 1;
    memcpy(label, text, length);
    label[length] = 0;
}

const char *ButtonLabelText(int id)
{
    if (id == IDC_NEXT)
        return WizardPage >= kFirstInstallPage ? kInstallLabel : kNextLabel;
    for (const ButtonLabel &entry : kButtonLabelTable)
        if (entry.id == id)
            return entry.text;
    return NULL;
}

static void PickLabel(int id, HWND control, char *label)
{
    const char *fixed = ButtonLabelText(id);
    if (fixed) {
        CopyLabel(label, fixed);
        return;
    }
    // A control may carry its label's bytes in its user data: a window text
    // goes through the system code page and back, which garbles GBK text on
    // a Big5 system. Otherwise the window text is read with room to spare
    // and cut here: a read limited to 80 bytes would end on a character
    // boundary under code page 936 but inside a character under 1252.
    label[0] = 0;
    const char *carried = control ? (const char *)GetWindowLongPtrA(control, GWLP_USERDATA) : NULL;
    if (carried)
        CopyLabel(label, carried);
    else if (control)
        GetWindowTextA(control, label, kLabelCapacity);
    label[kLabelCapacity - 1] = 0;
    CutLabelText(label, kWindowTextShown);
}

// A raised bevel two pixels deep; pressing swaps light and shadow. LineTo
// leaves out each end point, which the next segment then draws.
static void DrawBevel(HDC dc, const RECT &r, int pressed, int isDefault)
{
    HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HPEN penA = pressed ? shadow : light;
    HPEN penB = pressed ? light : shadow;
    HGDIOBJ oldPen = SelectObject(dc, penA);

    for (int i = 1; i <= 2; i++) {
        SelectObject(dc, penA);
        MoveToEx(dc, r.left + i, r.bottom - i - 1, NULL);
        LineTo(dc, r.left + i, r.top + i);
        LineTo(dc, r.right - i - 1, r.top + i);
        SelectObject(dc, penB);
        LineTo(dc, r.right - i - 1, r.bottom - i - 1);
        LineTo(dc, r.left + i, r.bottom - i - 1);
    }

    if (isDefault) {
        // The command Enter stands for wears a black frame, pressed or not.
        SelectObject(dc, GetStockObject(BLACK_PEN));
        MoveToEx(dc, r.left, r.bottom - 1, NULL);
        LineTo(dc, r.left, r.top);
        LineTo(dc, r.right - 1, r.top);
        LineTo(dc, r.right - 1, r.bottom - 1);
        LineTo(dc, r.left, r.bottom - 1);
        MoveToEx(dc, r.left + 1, r.bottom - 2, NULL);
        LineTo(dc, r.right - 2, r.bottom - 2);
        LineTo(dc, r.right - 2, r.top + 1);
    } else {
        SelectObject(dc, penB);
        MoveToEx(dc, r.left + 1, r.bottom - 1, NULL);
        LineTo(dc, r.right - 1, r.bottom - 1);
        LineTo(dc, r.right - 1, r.top);
    }

    SelectObject(dc, oldPen);
    DeleteObject(light);
    DeleteObject(shadow);
}

static void DrawSampleLine(HDC dc, int x, int y, const char *text)
{
    // The sample must show the system's own font; without it nothing is
    // drawn rather than a stand-in that would mislead the user's answer.
    if (!SampleFont)
        return;
    // Transparent, so that the face shows between the strokes whatever
    // background colour the context was given.
    HGDIOBJ oldFont = SelectObject(dc, SampleFont);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawSampleText(dc, x, y, text, (int)strlen(text));
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

// Where a label goes: fitted to the control less its bevel (a plain label
// to the whole control), centred, or at the left edge for a left label and
// for one too wide even so, so that its first Chinese character stays. The
// pressed look moves it right and down.
static SIZE PlaceLabel(const DRAWITEMSTRUCT *item, ButtonLook look, char *label, POINT *at)
{
    HDC dc = item->hDC;
    const RECT &r = item->rcItem;
    int w = r.right - r.left;
    int inset = look == kFramedCentred ? kBevelDepth : 0;
    FitLabelText(dc, label, w - 2 * inset);
    SIZE size = MeasureLabelText(dc, label);
    int room = w - size.cx;
    at->x = look == kPlainLeft || room < 0 ? r.left : r.left + room / 2;
    at->y = r.top + (r.bottom - r.top - size.cy) / 2;
    if (item->itemState & ODS_SELECTED) {
        at->x += ScaledPixels(2);
        at->y += ScaledPixels(1);
    }
    return size;
}

static void DrawButtonFace(const DRAWITEMSTRUCT *item, int id, ButtonLook look, const char *label,
                           POINT at)
{
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (look == kFramedCentred)
        DrawBevel(dc, r, (item->itemState & ODS_SELECTED) != 0, id == DefaultCommand);

    // The system prepares the context with the window-text colour, which
    // need not be the one that reads on the button face.
    COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    if (id == IDC_DISPLAY_SAMPLE)
        DrawSampleLine(dc, at.x, at.y, label);
    else
        DrawLabelText(dc, at.x, at.y, label, 0);
    SetTextColor(dc, oldColour);
}

// The dotted line runs round the label, a gap away, inside the bevel; where
// the label leaves it no room it is left out rather than drawn across a
// glyph or a letter. Drawn by inversion: the same call again takes it off.
static void DrawLabelFocus(const DRAWITEMSTRUCT *item, POINT at, SIZE size)
{
    HDC dc = item->hDC;
    TEXTMETRICA metrics;
    int high = size.cy;
    // The one-byte characters stand one glyph pixel lower, in the font's height.
    if (GetTextMetricsA(dc, &metrics) && metrics.tmHeight + GlyphScale > high)
        high = metrics.tmHeight + GlyphScale;
    RECT label = { at.x, at.y, at.x + size.cx, at.y + high };
    RECT focus = label;
    InflateRect(&focus, ScaledPixels(kFocusGap), ScaledPixels(kFocusGap));
    const RECT &r = item->rcItem;
    int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left + kBevelDepth, r.top + kBevelDepth, r.right - kBevelDepth,
                      r.bottom - kBevelDepth);
    ExcludeClipRect(dc, label.left, label.top, label.right, label.bottom);
    DrawFocusRect(dc, &focus);
    RestoreDC(dc, saved);
}

void DrawOwnerButton(const DRAWITEMSTRUCT *item, HWND)
{
    if (!item || item->CtlType != ODT_BUTTON)
        return;
    int id = (int)item->CtlID;
    if (id == IDC_PANEL_BLANK)          // stays blank: not even its face is drawn
        return;

    ButtonLook look = LookOf(id);
    char label[kLabelCapacity];
    PickLabel(id, item->hwndItem, label);
    POINT at;
    SIZE size = PlaceLabel(item, look, label, &at);
    if (item->itemAction & (ODA_DRAWENTIRE | ODA_SELECT))
        DrawButtonFace(item, id, look, label, at);

    // Without ODS_FOCUS nothing is drawn: a button that loses the focus
    // invalidates itself, and the full draw that follows clears the line.
    if (item->itemState & ODS_FOCUS)
        DrawLabelFocus(item, at, size);
}

// Items of the wizard's owner-drawn list box (the Chinese agreement text, one
// line per item) and combo box (the interface language), drawn through the
// glyph renderer so that their Chinese shows on any system.

#include <stdlib.h>
#include <string.h>

#include "render/render.h"

enum {
    kItemCapacity = kListItemCapacity,  // an item of at most 259 bytes is shown
    kItemInset = 2,             // pixels at 96 DPI
};

// Reads item `index` into `text` (kItemCapacity bytes). The list's own text
// call knows no buffer size, so a longer item is fetched into a buffer of
// its own size and cut to 259 bytes on a character boundary.
static int FetchItemText(HWND control, int isCombo, UINT index, char *text)
{
    UINT lengthMessage = isCombo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT textMessage = isCombo ? CB_GETLBTEXT : LB_GETTEXT;
    LRESULT length = SendMessageA(control, lengthMessage, (WPARAM)index, 0);
    if (length < 0)
        return 0;
    if (length < kItemCapacity) {
        text[0] = 0;
        LRESULT n = SendMessageA(control, textMessage, (WPARAM)index, (LPARAM)text);
        text[n >= 0 && n < kItemCapacity ? n : 0] = 0;
        return n >= 0;
    }

    int result = 0;
    char *whole = (char *)malloc((size_t)length + 1);
    if (whole) {
        whole[0] = 0;
        LRESULT n = SendMessageA(control, textMessage, (WPARAM)index, (LPARAM)whole);
        if (n >= 0 && n <= length) {
            whole[n] = 0;
            CutLabelText(whole, kItemCapacity - 1);
            memcpy(text, whole, strlen(whole) + 1);
            result = 1;
        }
        free(whole);
    }
    return result;
}

static void PrepareComboItem(HDC dc, const RECT &r, int selected)
{
    COLORREF fill = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    SetBkColor(dc, fill);
    HBRUSH brush = CreateSolidBrush(fill);
    if (brush) {
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
}

static void PrepareListItem(HDC dc, const RECT &r)
{
    // The list is made without selection, so its items never look selected.
    // Fixed black would vanish on a dark window colour.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
}

void DrawOwnerListItem(int controlId, int isCombo, const DRAWITEMSTRUCT *item, HWND dialog,
                       const char *carried)
{
    if (!item)
        return;
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    int saved = SaveDC(dc);
    int selected = (item->itemState & ODS_SELECTED) != 0;

    if (isCombo)
        PrepareComboItem(dc, r, selected);
    else
        PrepareListItem(dc, r);

    // The count and the text are asked of the control the caller names by
    // its id; the record's own window serves when there is no dialog.
    HWND control = dialog ? GetDlgItem(dialog, controlId) : NULL;
    if (!control)
        control = item->hwndItem;
    LRESULT count = SendMessageA(control, isCombo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    // Unsigned, so the empty selection field (item -1) never has a text.
    if (count > 0 && item->itemID < (UINT)count) {
        char text[kItemCapacity];
        r.left += ScaledPixels(kItemInset);
        r.top += ScaledPixels(kItemInset);
        if (carried) {
            // Cut before copying: a copy cut at the byte limit could end in
            // the lead byte of a character, drawn with the terminator as
            // some unrelated glyph.
            size_t kept = WholeCharacterBytes(carried, kItemCapacity - 1);
            memcpy(text, carried, kept);
            text[kept] = 0;
            DrawLabelText(dc, r.left, r.top, text, selected);
        } else if (FetchItemText(control, isCombo, item->itemID, text)) {
            DrawLabelText(dc, r.left, r.top, text, selected);
        }
    }

    // The list and the combo have no other sign of the keyboard focus. The
    // item is drawn whole on every request, focus changes included, so the
    // inverting rectangle never needs undoing.
    if (item->itemState & ODS_FOCUS)
        DrawFocusRect(dc, &item->rcItem);
    RestoreDC(dc, saved);
}

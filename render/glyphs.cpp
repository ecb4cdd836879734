// Measuring and drawing label texts: every byte of 0x80 or more starts a
// two-byte character drawn as a 16 x 16 glyph from the sheets, whatever the
// system's code page; every other byte is drawn with the context's font.

#include <string.h>

#include "render/render.h"

// Truncating division, as the sheet layout was computed with it.
static int DivideBy96(int value)
{
    return value / 96;
}

int LocateGlyph(unsigned short code, POINT *position, int *sheet)
{
    // Two glyphs were added after the main blocks were laid out and sit in
    // the last sheet's spare row.
    if (code == 0xE946) {
        position->x = 0;
        position->y = 896;
        *sheet = 3;
        return 1;
    }
    if (code == 0xA9A4) {
        position->x = 16;
        position->y = 896;
        *sheet = 3;
        return 1;
    }

    // Rows of 94 trail bytes (0xA1 .. 0xFE) are packed without gaps; the
    // symbol rows come first, the ideographs (from 0xB0A1) at cell 658. Codes
    // outside those rows still land on some cell, never outside the sheets.
    int d = (code - 0xA0A0) & 0xFFFF;
    int l = (d / 256) * 96 + d % 256;
    int n = code < 0xB0A1 ? l - 97 - 2 * DivideBy96(l - 97)
                          : l - 879 - 2 * DivideBy96(l - 1537);
    n &= 0xFFFF;

    int row = n / 32;
    int sheetNumber = row / 59;
    position->x = (n % 32) * 16;
    position->y = (row % 59) * 16;
    *sheet = sheetNumber > 3 ? 3 : sheetNumber;
    return 1;
}

static int CharacterWidth(HDC dc, const char *character)
{
    SIZE extent;
    return GetTextExtentPointA(dc, character, 1, &extent) ? extent.cx : 0;
}

SIZE MeasureLabelText(HDC dc, const char *text)
{
    SIZE size = { 0, kGlyphSize };
    size_t length = strlen(text);
    for (size_t i = 0; i < length;) {
        if ((unsigned char)text[i] >= 0x80) {
            size.cx += kGlyphSize;
            i += 2;                     // a lead byte at the end pairs with the terminator
        } else {
            size.cx += CharacterWidth(dc, text + i);
            i += 1;
        }
    }
    return size;
}

// Ink in the context's text colour and paper transparent, on any face: the
// first blit blackens the ink and leaves the paper as it is, the second
// lights the blackened ink in the text colour. A single blit cannot do both:
// AND shows ink only where the face is light (a dark face swallows it), OR
// only where it is dark.
static void BlitGlyph(HDC dc, int x, int y, HDC sheet, POINT cell, COLORREF ink)
{
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, x, y, kGlyphSize, kGlyphSize, sheet, cell.x, cell.y, SRCAND);
    SetTextColor(dc, ink);
    SetBkColor(dc, RGB(0, 0, 0));
    BitBlt(dc, x, y, kGlyphSize, kGlyphSize, sheet, cell.x, cell.y, SRCPAINT);
}

// A highlighted item needs nothing else: its caller sets the highlight
// colours, and the glyphs take them like any others.
SIZE DrawLabelText(HDC dc, int x, int y, const char *text, int)
{
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF ink = GetTextColor(dc), paper = GetBkColor(dc);
    int pen = x;
    size_t length = strlen(text);
    for (size_t i = 0; i < length;) {
        unsigned char lead = (unsigned char)text[i];
        if (lead >= 0x80) {
            // text[i + 1] is at most the terminator, so nothing past it is read.
            unsigned short code = (unsigned short)(lead << 8 | (unsigned char)text[i + 1]);
            POINT cell;
            int sheet;
            LocateGlyph(code, &cell, &sheet);
            BlitGlyph(dc, pen, y, SheetContexts[sheet], cell, ink);
            SetTextColor(dc, ink);
            SetBkColor(dc, paper);
            pen += kGlyphSize;
            i += 2;
        } else {
            // One pixel lower than the glyphs: the dialog font's ascent sits
            // better against the 16-pixel cells.
            TextOutA(dc, pen, y + 1, text + i, 1);
            pen += CharacterWidth(dc, text + i);
            i += 1;
        }
    }
    SetBkMode(dc, oldMode);
    SIZE size = { pen - x, kGlyphSize };
    return size;
}

int AnsiCodePageIsMultiByte(void)
{
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

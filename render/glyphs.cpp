// Measuring and drawing label texts: every byte of 0x80 or more starts a
// two-byte character drawn as a 16 x 16 glyph from the sheets, whatever the
// system's code page; every other byte is drawn with the context's font.

#include <string.h>

#include "render/render.h"

/*
 * Glyph sheet format: payload resource 110, also installed as "ChnBmp.bin"
 * (so a file format too), made for demo builds by tools/glyphsheet.
 *
 * Bytes: kGlyphSheetsBytes (241,664) with no header, count or checksum: four
 * sheets of kSheetBytes (60,416), sheet k from byte k * 60,416. A sheet is
 * 512 x 944 pixels at one bit per pixel: 944 rows of 64 bytes, top row
 * first, nothing between the rows; the most significant bit of a byte is the
 * leftmost pixel; bit 1 is paper (white), bit 0 ink. That is the layout of a
 * monochrome device-dependent bitmap, so each sheet goes to CreateBitmap
 * unchanged (render/glyph_sheets.cpp).
 *
 * Cells: a sheet is 32 columns x 59 rows of 16 x 16 cells without gaps,
 * 1,888 cells a sheet, 7,552 in all. Cell N (0 .. 7551) lies on sheet
 * N / 1888, row r = (N % 1888) / 32, column c = N % 32; pixel row j of the
 * cell is the big-endian 16-bit word at byte (16r + j) * 64 + 2c of its sheet.
 *
 * What the cells hold; a "block" is one GB2312 row, the 94 trail bytes
 * 0xA1 .. 0xFE in order:
 *      0 -  657  seven blocks of symbols: lead bytes 0xA1 .. 0xA5, then the
 *                box-drawing row 0xA9, then 0xA7 (Cyrillic); see "lead byte
 *                0xA6" below for why 0xA9 sits in block 5
 *    658 - 7425  72 blocks of GB2312 ideographs, lead bytes 0xB0 .. 0xF7
 *   7426 - 7455  filler: vertical stripes
 *          7456  0xE946, a GBK ideograph outside GB2312 that our texts need
 *          7457  0xA9A4, the horizontal box-drawing line
 *   7458 - 7487  filler patterns
 *   7488 - 7551  paper
 * Positions that GB2312 leaves empty are paper cells, but for the first cell
 * of block 1 (0xA2A1), which holds an ideograph. The ideographic space
 * 0xA1A1 and the six dashed box-drawing forms (block 5, trail bytes
 * 0xAA .. 0xAF) are paper too.
 *
 * The lookup, for any 16-bit code:
 *   1. Grid place. Each lead byte is a grid row of 96 places (trail bytes
 *      0xA0 .. 0xFF), counted from code 0xA0A0; a code below it wraps modulo
 *      65536, so every code has a place.
 *   2. Distance from the first character of its range: 0xA1A1 at place 97
 *      (one row and one place in) for codes below 0xB0A1, else 0xB0A1 at
 *      place 1537 (16 rows and one place in).
 *   3. Cell: the range's first cell (0 for the symbols, 658 for the
 *      ideographs) plus the distance, less two places for every grid row
 *      passed, since a block holds 94 characters where a grid row has 96.
 *      Rows passed is the distance / 96 truncated toward zero, not floored,
 *      as the sheets were laid out with it: that decides where a code
 *      before its range's start (a trail byte below 0xA1) lands. For the
 *      ideographs this is place - 879 - 2 * ((place - 1537) / 96),
 *      879 being 1537 - 658. The cell is taken modulo 65536.
 *   4. Position: cell row N / 32 and column N % 32; the sheet is row / 59
 *      but at most 3, and the row within it row % 59, so no code reaches
 *      outside the four sheets.
 * For trail bytes 0xA1 .. 0xFE that gives lead 0xA1 .. 0xA7 the cell
 * (lead - 0xA1) * 94 + (trail - 0xA1), and lead 0xB0 .. 0xF7 the cell
 * 658 + (lead - 0xB0) * 94 + (trail - 0xA1). Any other code (GBK additions,
 * lead bytes 0xA8 .. 0xAF, stray trail bytes, a lead byte paired with the
 * terminator) draws whatever its cell holds; there is no replacement glyph.
 *
 * Lead byte 0xA6: the symbol range maps lead byte L to block L - 0xA1, so
 * lead 0xA6 (GB2312's Greek) lands in block 5. The sheets store the
 * box-drawing row 0xA9 there instead of Greek, and the lookup has no block
 * of its own for 0xA8 and 0xA9, which fall among the ideographs (0xA8A1
 * draws the cell of 0xB0A1). So a Greek code draws a box-drawing form, and of
 * the box-drawing row only 0xA9A4 reaches its own glyph, through the special
 * cell 7457. Our own label texts use only rows 0xA1 and 0xA3 and the
 * ideographs. The sheets are data that the installed programs read as well,
 * so the order stays as shipped.
 */
enum {
    kGridRowPlaces = 96,            // trail bytes 0xA0 .. 0xFF of one lead byte
    kBlockCharacters = 94,          // trail bytes 0xA1 .. 0xFE
    kSymbolsGridStart = 97,         // the grid place of 0xA1A1
    kIdeographsGridStart = 1537,    // the grid place of 0xB0A1
    kFirstIdeographCell = 658,      // after seven blocks of symbols
    kCellsPerRow = kSheetWidth / kGlyphSize,        // 32
    kCellRowsPerSheet = kSheetHeight / kGlyphSize,  // 59
};

// Truncating division, as the sheet layout was computed with it.
static int DivideBy96(int value)
{
    return value / kGridRowPlaces;
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

    int fromA0A0 = (code - 0xA0A0) & 0xFFFF;
    int gridPlace = (fromA0A0 / 256) * kGridRowPlaces + fromA0A0 % 256;
    int ideograph = code >= 0xB0A1;
    int distance = gridPlace - (ideograph ? kIdeographsGridStart : kSymbolsGridStart);
    int rowsPassed = DivideBy96(distance);
    int firstCell = ideograph ? kFirstIdeographCell : 0;
    int cell = firstCell + distance - (kGridRowPlaces - kBlockCharacters) * rowsPassed;
    cell &= 0xFFFF;

    int cellRow = cell / kCellsPerRow;
    int sheetNumber = cellRow / kCellRowsPerSheet;
    position->x = (cell % kCellsPerRow) * kGlyphSize;
    position->y = (cellRow % kCellRowsPerSheet) * kGlyphSize;
    *sheet = sheetNumber > kSheetCount - 1 ? kSheetCount - 1 : sheetNumber;
    return 1;
}

static int CharacterWidth(HDC dc, const char *character)
{
    SIZE extent;
    return GetTextExtentPointA(dc, character, 1, &extent) ? extent.cx : 0;
}

SIZE MeasureLabelText(HDC dc, const char *text)
{
    SIZE size = { 0, kGlyphSize * GlyphScale };
    size_t length = strlen(text);
    for (size_t i = 0; i < length;) {
        if ((unsigned char)text[i] >= 0x80) {
            size.cx += kGlyphSize * GlyphScale;
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
// only where it is dark. Stretched by a whole factor, every source pixel
// becomes a block of its own: enlarging never merges pixels, whatever the
// context's stretch mode.
static void BlitGlyph(HDC dc, int x, int y, HDC sheet, POINT cell, COLORREF ink)
{
    int side = kGlyphSize * GlyphScale;
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    StretchBlt(dc, x, y, side, side, sheet, cell.x, cell.y, kGlyphSize, kGlyphSize, SRCAND);
    SetTextColor(dc, ink);
    SetBkColor(dc, RGB(0, 0, 0));
    StretchBlt(dc, x, y, side, side, sheet, cell.x, cell.y, kGlyphSize, kGlyphSize, SRCPAINT);
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
            pen += kGlyphSize * GlyphScale;
            i += 2;
        } else {
            // One glyph pixel lower than the glyphs: the dialog font's ascent
            // sits better against the 16-pixel cells.
            TextOutA(dc, pen, y + GlyphScale, text + i, 1);
            pen += CharacterWidth(dc, text + i);
            i += 1;
        }
    }
    SetBkMode(dc, oldMode);
    SIZE size = { pen - x, kGlyphSize * GlyphScale };
    return size;
}

int AnsiCodePageIsMultiByte(void)
{
    CPINFO info;
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}

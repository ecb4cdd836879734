// The four glyph sheets as GDI bitmaps, each held selected in its own memory
// DC for the whole run so that drawing a glyph is a single blit.
//
// Glyph sheet data (payload resource 110, also installed as "ChnBmp.bin"):
//   241,664 bytes, no header: four sheets of 60,416 bytes, sheet k at byte
//   k * 60,416. A sheet is 512 x 944 pixels at one bit per pixel, 944 rows of
//   64 bytes, top row first, most significant bit leftmost; bit 1 is paper
//   (white), bit 0 ink (black) - the layout of a monochrome device-dependent
//   bitmap, so each slice goes to CreateBitmap unchanged. A sheet is a grid of
//   32 x 59 cells of 16 x 16 pixels; cell N (0 .. 7551) lies on sheet
//   N / 1888, row (N % 1888) / 32, column N % 32. Which code sits in which
//   cell is LocateGlyph's business.

#include "render/render.h"

HDC SheetContexts[kSheetCount];
static HBITMAP sheetBitmaps[kSheetCount];
static HGDIOBJ savedBitmaps[kSheetCount];

int LoadGlyphSheets(const unsigned char *data)
{
    for (int k = 0; k < kSheetCount; k++) {
        sheetBitmaps[k] = CreateBitmap(kSheetWidth, kSheetHeight, 1, 1, data + k * kSheetBytes);
        SheetContexts[k] = sheetBitmaps[k] ? CreateCompatibleDC(NULL) : NULL;
        if (!SheetContexts[k]) {
            ReleaseGlyphSheets();
            return 0;
        }
        savedBitmaps[k] = SelectObject(SheetContexts[k], sheetBitmaps[k]);
    }
    return 1;
}

void ReleaseGlyphSheets(void)
{
    for (int k = 0; k < kSheetCount; k++) {
        if (SheetContexts[k]) {
            SelectObject(SheetContexts[k], savedBitmaps[k]);
            DeleteDC(SheetContexts[k]);
            SheetContexts[k] = NULL;
        }
        if (sheetBitmaps[k]) {
            DeleteObject(sheetBitmaps[k]);
            sheetBitmaps[k] = NULL;
        }
    }
}

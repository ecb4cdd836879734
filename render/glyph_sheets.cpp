// The four glyph sheets as GDI bitmaps, each held selected in its own memory
// DC for the whole run so that drawing a glyph is a single blit.
//
// The format of the sheet data is described at LocateGlyph (render/glyphs.cpp):
// each sheet's slice is a monochrome bitmap as CreateBitmap takes it.

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

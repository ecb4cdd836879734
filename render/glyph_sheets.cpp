// The four glyph sheets as GDI bitmaps, each held selected in its own memory
// DC for the whole run so that drawing a glyph is a single blit.
//
// The format of the sheet data is described at LocateGlyph (render/glyphs.cpp):
// each sheet's slice is a monochrome bitmap as CreateBitmap takes it.

#include "render/render.h"

HDC SheetContexts[kSheetCount];
int DisplayDpi = 96;
int GlyphScale = 1;
static HBITMAP sheetBitmaps[kSheetCount];
static HGDIOBJ savedBitmaps[kSheetCount];

int ScaledPixels(int pixels)
{
    return MulDiv(pixels, DisplayDpi, 96);
}

// The system gives a program that declares itself DPI-aware the real DPI;
// windows it makes keep their size once made, so the first call reads it
// and later ones keep it.
void ReadDisplayDpi(void)
{
    static int read;
    if (read)
        return;
    read = 1;
    HDC screen = GetDC(NULL);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(NULL, screen);
    DisplayDpi = dpi > 0 ? dpi : 96;
    GlyphScale = DisplayDpi / 96 > 1 ? DisplayDpi / 96 : 1;
}

int LoadGlyphSheets(const unsigned char *data)
{
    ReadDisplayDpi();
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

// Pixel tools shared by the renderer, owner-drawing and message-box tests: the glyph
// bits straight from the payload's ChnBmp.bin (not through the renderer),
// 32-bit canvases, and reference pictures of label texts to compare with.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/driver/driver.h"

typedef uint16_t CellBits[16];          // one row per word, bit 15 leftmost, 1 = ink

const std::vector<unsigned char> &SheetData();  // ChnBmp.bin of the payload
void CellOf(unsigned code, CellBits bits);
bool LoadSheetsForTest();               // LoadGlyphSheets from ChnBmp.bin, once

// 0x00BBGGRR as the platform gives colours -> 0x00RRGGBB as images hold them.
uint32_t Rgb(COLORREF colour);
uint32_t SystemColour(int index);

// A 32-bit memory canvas, filled, with black text on white as a new DC has.
struct Canvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ oldBitmap = NULL;
    uint32_t *bits = NULL;
    int width = 0, height = 0;

    Canvas(int w, int h, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;
    void Fill(COLORREF colour);
    Image Snapshot() const;
};

// Draws `text` as the label renderer is expected to: glyph ink from the
// sheet file as `ink` pixels, paper left alone, one-byte characters with the
// DC's font in `asciiColour` one pixel lower, advancing by their extents.
// Returns the width.
int DrawExpectedLabel(HDC dc, int x, int y, const char *text, COLORREF ink, COLORREF asciiColour);

// Pixels that differ between a and b inside the rectangle (x, y, w, h),
// clipped to both images.
int CountDifferences(const Image &a, const Image &b, int x, int y, int w, int h);
// CountDifferences over the whole of `expected`; when some differ, both
// pictures are saved as <name>_drawn.png and <name>_expected.png to look at.
int DifferencesKept(const Image &drawn, const Image &expected, const char *name);
// Pixels of the 16 x 16 cell at (x, y) that are not `ink` where the glyph of
// `code` has ink and `paper` elsewhere.
int GlyphMismatches(const Image &image, int x, int y, unsigned code, uint32_t ink, uint32_t paper);
// Whether the glyph of `code` is somewhere in the image whole: a cell whose
// ink pixels are all one colour and none of whose paper pixels is that
// colour, so that a glyph cut by an edge or crossed by a line is not found.
// A glyph without ink is always found.
bool FindsGlyph(const Image &image, unsigned code);
// Pixels inside (x, y, w, h) that are not `colour`.
int PixelsNot(const Image &image, int x, int y, int w, int h, uint32_t colour);

// The font a dialog template's "FONT 8, face" gives its controls.
HFONT CreateTemplateFont(int points, const char *face);

// Runs this thread's messages for `ms` milliseconds; Wine copies a window's
// drawing to the screen while the thread waits for messages.
void PumpMessages(DWORD ms);

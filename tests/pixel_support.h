// Pixel tools shared by the renderer, owner-drawing and message-box tests: the glyph
// bits straight from the payload's ChnBmp.bin (not through the renderer),
// 32-bit canvases, and reference pictures of label texts to compare with.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/driver/driver.h"

// The desktop icon box's label, checked on memory DCs and in the dialog.
static const char kDesktopIconText[] =
    "\xBD\xA8\xC1\xA2\xD7\xC0\xC3\xE6\xCD\xBC\xB1\xEA\xA3\xBF  (Place an icon on Desktop)";

typedef uint16_t CellBits[16];          // one row per word, bit 15 leftmost, 1 = ink

const std::vector<unsigned char> &SheetData();  // ChnBmp.bin of the payload
void CellOf(unsigned code, CellBits bits);
bool LoadSheetsForTest();               // LoadGlyphSheets from ChnBmp.bin, once

// 0x00BBGGRR as the platform gives colours -> 0x00RRGGBB as images hold them.
uint32_t Rgb(COLORREF colour);
uint32_t SystemColour(int index);

// The dialog-like font owner drawing finds in the contexts it is given.
inline HGDIOBJ GuiFont() { return GetStockObject(DEFAULT_GUI_FONT); }

// A 32-bit memory canvas, filled, with black text on white as a new DC has,
// and `font` selected when given.
struct Canvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ oldBitmap = NULL;
    uint32_t *bits = NULL;
    int width = 0, height = 0;

    Canvas(int w, int h, COLORREF fill, HGDIOBJ font = NULL);
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

// The face of an owner-drawn button or label: `text` in `font`, centred
// (or at the left edge) and 16 pixels high in the middle, moved two right
// and one down when pressed, and when focused the dotted line round it,
// clipped to the bevel and to the label's own rectangle.
Image ExpectedFace(int w, int h, const char *text, HGDIOBJ font, bool left = false,
                   bool pressed = false, bool focused = false);
// A check box as it should look: face, the frame control at `box`, the text
// at (x, y) in a fresh context's font, and the focus rectangle when focused.
Image ExpectedCheckBox(int w, int h, RECT box, UINT frame, int x, int y, const char *text,
                       bool focused);
// Where a box 26 pixels high has its square.
static const RECT kCheckSquare = { 2, 4, 17, 18 };

// Pixels that differ between a and b inside the rectangle (x, y, w, h),
// clipped to both images.
int CountDifferences(const Image &a, const Image &b, int x, int y, int w, int h);
// CountDifferences over `expected`, `inset` pixels in from its edges; when
// some differ, both pictures are saved as <name>_drawn.png and
// <name>_expected.png to look at.
int DifferencesKept(const Image &drawn, const Image &expected, const char *name, int inset = 0);
// DifferencesKept between control `id`'s part of `screen` (its dialog's
// client area, as captured) and ExpectedFace of the control's size.
int ControlDifferences(HWND dialog, const Image &screen, int id, const char *text, HGDIOBJ font,
                       bool left, int inset, bool pressed = false, bool focused = false);
// Pixels of the 16 x 16 cell at (x, y) that are not `ink` where the glyph of
// `code` has ink and `paper` elsewhere; at `scale`, of the cell 16 x scale
// pixels square whose every glyph pixel is a scale x scale block.
int GlyphMismatches(const Image &image, int x, int y, unsigned code, uint32_t ink, uint32_t paper,
                    int scale = 1);
// Whether the glyph of `code` is somewhere in the image whole: a cell whose
// ink pixels are all one colour and none of whose paper pixels is that
// colour, so that a glyph cut by an edge or crossed by a line is not found.
// A glyph without ink is always found. At `scale` each glyph pixel is a
// scale x scale block, as the installer draws glyphs at 192 DPI and more.
bool FindsGlyph(const Image &image, unsigned code, int scale = 1);
// Pixels inside (x, y, w, h) that are not `colour`.
int PixelsNot(const Image &image, int x, int y, int w, int h, uint32_t colour);

// The font a dialog template's "FONT 8, face" gives its controls.
HFONT CreateTemplateFont(int points, const char *face);

// Runs this thread's messages for `ms` milliseconds; Wine copies a window's
// drawing to the screen while the thread waits for messages.
void PumpMessages(DWORD ms);

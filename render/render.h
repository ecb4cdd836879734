// The glyph renderer: bilingual label texts measured and drawn with Chinese
// from the built-in glyph sheets, and the owner-drawn controls built on it.
#pragma once

#include <windows.h>

#include "payload/capacities.h"

enum {
    kGlyphSize = 16,
    kWindowTextShown = 79,      // bytes of a label's window text that are drawn, on one line
};

extern HDC SheetContexts[kSheetCount];  // memory DCs, sheet k selected into entry k
extern HFONT SampleFont;                // "Courier New", GB2312; null if it could not be made
// The display's DPI (LOGPIXELSY), read once at start-up, and
// the whole factor every glyph is drawn at: DPI / 96, at least 1. Each glyph
// pixel becomes a GlyphScale x GlyphScale block: a fraction would blur it.
extern int DisplayDpi;
extern int GlyphScale;
// A distance of the owner-drawn controls given in pixels at 96 DPI, at the
// display's DPI.
int ScaledPixels(int pixels);
// Sets DisplayDpi and GlyphScale on its first call (the sample font or the
// sheets, whichever start-up makes first).
void ReadDisplayDpi(void);

// Makes the four sheet bitmaps and their memory DCs from the kGlyphSheetsBytes
// of the sheets; on failure releases what it made and returns 0.
int LoadGlyphSheets(const unsigned char *data);
void ReleaseGlyphSheets(void);

int LocateGlyph(unsigned short code, POINT *position, int *sheet);
SIZE MeasureLabelText(HDC dc, const char *text);
SIZE DrawLabelText(HDC dc, int x, int y, const char *text, int highlight);
int CreateSampleFont(void);
void DrawSampleText(HDC dc, int x, int y, const char *text, int byteCount);
int AnsiCodePageIsMultiByte(void);

// Owner drawing of buttons, labels, list items and check boxes.
void DrawOwnerButton(const DRAWITEMSTRUCT *item, HWND dialog);
// `carried` is the item's text as the caller keeps it (GBK and ASCII); null
// draws the control's own string for the item, read back through the
// system code page.
void DrawOwnerListItem(int controlId, int isCombo, const DRAWITEMSTRUCT *item, HWND dialog,
                       const char *carried);
LRESULT CALLBACK CheckBoxSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Puts CheckBoxSubclassProc on `box`, the procedure it had going to
// SavedButtonProc; a Unicode subclass where the system has Unicode windows.
void InstallCheckBoxProc(HWND box);
void PaintCheckBox(HWND window, HDC dc);
// The fixed label of an owner-drawn button or label, or of a check box, by
// control id (1001's follows the wizard page); null for ids whose window
// text is drawn instead.
const char *ButtonLabelText(int id);
const char *CheckBoxLabelText(int id);
// A label text (GBK and ASCII) as UTF-16 in `name` (`capacity` characters,
// always terminated, cut on a character boundary); with `gbk` 0, for a
// system that cannot convert GBK (SystemConvertsGbk), its one-byte part
// alone. Returns the characters written, the terminator not counted.
int SystemConvertsGbk(void);
int WidenLabelText(const char *label, int gbk, WCHAR *name, int capacity);
// The window calls in UTF-16 where the system has Unicode windows (the NT
// platform), looked up at run time; null elsewhere.
struct UnicodeWindowCalls {
    BOOL(WINAPI *setWindowText)(HWND, LPCWSTR);
    LRESULT(WINAPI *sendMessage)(HWND, UINT, WPARAM, LPARAM);
    LONG(WINAPI *setWindowLong)(HWND, int, LONG);
    LRESULT(WINAPI *callWindowProc)(WNDPROC, HWND, UINT, WPARAM, LPARAM);
    LRESULT(WINAPI *defWindowProc)(HWND, UINT, WPARAM, LPARAM);
};
const UnicodeWindowCalls *UnicodeWindows(void);
// Gives `control` the window text that screen readers announce as its name:
// `label` in real characters, whatever the ANSI code page. Without Unicode
// windows: the label's bytes on a GBK system, its English part elsewhere.
void NameControlByLabel(HWND control, const char *label);
// Sends a string message (LB_ADDSTRING, CB_INSERTSTRING, ...) with `label`
// as lParam, converted as NameControlByLabel converts it.
LRESULT SendLabelText(HWND control, UINT message, WPARAM wParam, const char *label);
// The bytes of a label text's first whole characters within `limit` bytes,
// and the text shortened to them: a two-byte character is never split.
size_t WholeCharacterBytes(const char *text, size_t limit);
void CutLabelText(char *text, size_t limit);
// Makes a label fit in `width` pixels of the context's font by shortening
// its English, in place (it never grows); its Chinese is kept whole.
void FitLabelText(HDC dc, char *text, int width);

// The glyph renderer: bilingual label texts measured and drawn with Chinese
// from the built-in glyph sheets, and the owner-drawn controls built on it.
#pragma once

#include <windows.h>

#include "payload/capacities.h"

enum { kGlyphSize = 16 };

extern HDC SheetContexts[kSheetCount];  // memory DCs, sheet k selected into entry k
extern HFONT SampleFont;                // "Courier New", GB2312; null if it could not be made

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
void DrawOwnerListItem(int controlId, int isCombo, const DRAWITEMSTRUCT *item, HWND dialog);
LRESULT CALLBACK CheckBoxSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintCheckBox(HWND window, HDC dc);
// Shortens a label text to at most `limit` bytes without splitting a
// two-byte character.
void CutLabelText(char *text, size_t limit);
// Makes a label fit in `width` pixels of the context's font by shortening
// its English, in place (it never grows); its Chinese is kept whole.
void FitLabelText(HDC dc, char *text, int width);

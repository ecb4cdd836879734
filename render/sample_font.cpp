// The one line of the installer drawn with the system's own Chinese font: the
// sample of the Chinese display test, which is only meaningful if the system
// renders it, not the glyph sheets.

#include <string.h>

#include "render/render.h"
#include "wizard/wizard.h"

HFONT SampleFont;

int CreateSampleFont(void)
{
    ReadDisplayDpi();
    LOGFONTA font;
    ZeroMemory(&font, sizeof font);
    GetObjectA(GetStockObject(SYSTEM_FONT), sizeof font, &font);
    lstrcpynA(font.lfFaceName, "Courier New", LF_FACESIZE);
    font.lfHeight = ScaledPixels(16);
    font.lfWidth = ScaledPixels(8);
    font.lfWeight = FW_NORMAL;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    font.lfCharSet = GB2312_CHARSET;
    SampleFont = CreateFontIndirectA(&font);
    return 1;
}

void DrawSampleText(HDC dc, int x, int y, const char *text, int byteCount)
{
    // NT reads the bytes as code page 936 through the font's GB2312 character
    // set; elsewhere the 8-bit call would use the system code page, so the
    // text goes through UTF-16.
    if (NtPlatform) {
        TextOutA(dc, x, y, text, byteCount);
        return;
    }
    static WCHAR wide[300];
    int count = MultiByteToWideChar(936, 0, text, byteCount, wide, 300);
    TextOutW(dc, x, y, wide, count);
}

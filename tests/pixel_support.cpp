#include "tests/pixel_support.h"

#include "render/render.h"

const std::vector<unsigned char> &SheetData()
{
    static std::vector<unsigned char> data = ReadWholeFile(PayloadFilePath("ChnBmp.bin"));
    return data;
}

void CellOf(unsigned code, CellBits bits)
{
    POINT p;
    int sheet;
    LocateGlyph((unsigned short)code, &p, &sheet);
    const unsigned char *base = SheetData().data() + sheet * kSheetBytes;
    for (int j = 0; j < 16; j++) {
        const unsigned char *row = base + (p.y + j) * 64 + p.x / 8;
        bits[j] = (uint16_t)~(row[0] << 8 | row[1]);    // sheet bit 0 is ink
    }
}

bool LoadSheetsForTest()
{
    static int loaded = -1;
    if (loaded < 0)
        loaded = SheetData().size() == (size_t)kGlyphSheetsBytes && LoadGlyphSheets(SheetData().data());
    return loaded == 1;
}

uint32_t Rgb(COLORREF colour)
{
    return (uint32_t)GetRValue(colour) << 16 | (uint32_t)GetGValue(colour) << 8 | GetBValue(colour);
}

uint32_t SystemColour(int index)
{
    return Rgb(GetSysColor(index));
}

Canvas::Canvas(int w, int h, COLORREF fill, HGDIOBJ font) : width(w), height(h)
{
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(NULL);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void **)&bits, NULL, 0);
    oldBitmap = SelectObject(dc, bitmap);
    if (font)
        SelectObject(dc, font);
    Fill(fill);
}

Canvas::~Canvas()
{
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void Canvas::Fill(COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all = { 0, 0, width, height };
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    GdiFlush();
}

Image Canvas::Snapshot() const
{
    GdiFlush();
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.assign(bits, bits + (size_t)width * height);
    for (uint32_t &p : image.pixels)
        p &= 0x00FFFFFF;
    return image;
}

int DrawExpectedLabel(HDC dc, int x, int y, const char *text, COLORREF ink, COLORREF asciiColour)
{
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, asciiColour);
    int pen = x;
    for (const unsigned char *c = (const unsigned char *)text; *c;) {
        if (*c >= 0x80) {
            CellBits bits;
            CellOf((unsigned)c[0] << 8 | c[1], bits);
            for (int j = 0; j < 16; j++)
                for (int i = 0; i < 16; i++)
                    if ((bits[j] >> (15 - i)) & 1)
                        SetPixel(dc, pen + i, y + j, ink);
            pen += 16;
            c += c[1] ? 2 : 1;
        } else {
            SIZE one = { 0, 0 };
            TextOutA(dc, pen, y + 1, (const char *)c, 1);
            GetTextExtentPointA(dc, (const char *)c, 1, &one);
            pen += one.cx;
            c++;
        }
    }
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    GdiFlush();
    return pen - x;
}

int CountDifferences(const Image &a, const Image &b, int x, int y, int w, int h)
{
    int differing = 0;
    for (int row = y; row < y + h; row++)
        for (int col = x; col < x + w; col++) {
            if (row < 0 || col < 0 || row >= a.height || row >= b.height || col >= a.width
                || col >= b.width)
                continue;
            differing += a.At(col, row) != b.At(col, row);
        }
    return differing;
}

Image ExpectedFace(int w, int h, const char *text, HGDIOBJ font, bool left, bool pressed, bool focused)
{
    Canvas reference(w, h, GetSysColor(COLOR_BTNFACE), font);
    SIZE size = MeasureLabelText(reference.dc, text);
    int x = (left ? 0 : (w - size.cx) / 2) + (pressed ? 2 : 0);
    int y = (h - 16) / 2 + (pressed ? 1 : 0);
    DrawExpectedLabel(reference.dc, x, y, text, RGB(0, 0, 0), RGB(0, 0, 0));
    if (focused) {
        // Round the label two pixels off, inside the bevel, never across it.
        TEXTMETRICA metrics;
        GetTextMetricsA(reference.dc, &metrics);
        RECT label = { x, y, x + size.cx, y + (metrics.tmHeight + 1 > 16 ? metrics.tmHeight + 1 : 16) };
        RECT focus = { label.left - 2, label.top - 2, label.right + 2, label.bottom + 2 };
        IntersectClipRect(reference.dc, 3, 3, w - 3, h - 3);
        ExcludeClipRect(reference.dc, label.left, label.top, label.right, label.bottom);
        DrawFocusRect(reference.dc, &focus);
    }
    return reference.Snapshot();
}

Image ExpectedCheckBox(int w, int h, RECT box, UINT frame, int x, int y, const char *text,
                       bool focused)
{
    Canvas reference(w, h, GetSysColor(COLOR_BTNFACE));
    DrawFrameControl(reference.dc, &box, DFC_BUTTON, frame);
    int width = DrawExpectedLabel(reference.dc, x, y, text, RGB(0, 0, 0), RGB(0, 0, 0));
    if (focused) {
        RECT focus = { x - 1, y - 1, x + width + 3, y + 18 };
        DrawFocusRect(reference.dc, &focus);
    }
    return reference.Snapshot();
}

int DifferencesKept(const Image &drawn, const Image &expected, const char *name, int inset)
{
    int differing = CountDifferences(drawn, expected, inset, inset, expected.width - 2 * inset,
                                     expected.height - 2 * inset);
    if (differing) {
        SavePng(drawn, ScreenshotPath((std::string(name) + "_drawn").c_str()));
        SavePng(expected, ScreenshotPath((std::string(name) + "_expected").c_str()));
    }
    return differing;
}

int ControlDifferences(HWND dialog, const Image &screen, int id, const char *text, HGDIOBJ font,
                       bool left, int inset, bool pressed, bool focused)
{
    RECT r = ControlClientRect(dialog, id);
    int w = r.right - r.left, h = r.bottom - r.top;
    std::string name = TestSetting("LUNKO_TEST_NAME") + "_mismatch_" + std::to_string(id);
    return DifferencesKept(Crop(screen, r.left, r.top, w, h),
                           ExpectedFace(w, h, text, font, left, pressed, focused), name.c_str(), inset);
}

int GlyphMismatches(const Image &image, int x, int y, unsigned code, uint32_t ink, uint32_t paper,
                    int scale)
{
    CellBits bits;
    CellOf(code, bits);
    int wrong = 0;
    for (int j = 0; j < 16 * scale; j++)
        for (int i = 0; i < 16 * scale; i++) {
            if (x + i < 0 || y + j < 0 || x + i >= image.width || y + j >= image.height) {
                wrong++;
                continue;
            }
            uint32_t want = (bits[j / scale] >> (15 - i / scale)) & 1 ? ink : paper;
            wrong += image.At(x + i, y + j) != want;
        }
    return wrong;
}

bool FindsGlyph(const Image &image, unsigned code, int scale)
{
    CellBits bits;
    CellOf(code, bits);
    const int side = 16 * scale;
    std::vector<int> ink, paper;                // offsets into the image from the cell's corner
    for (int j = 0; j < side; j++)
        for (int i = 0; i < side; i++)
            ((bits[j / scale] >> (15 - i / scale)) & 1 ? ink : paper).push_back(j * image.width + i);
    if (ink.empty())
        return true;
    for (int y = 0; y + side <= image.height; y++)
        for (int x = 0; x + side <= image.width; x++) {
            const uint32_t *corner = &image.pixels[(size_t)y * image.width + x];
            uint32_t colour = corner[ink[0]];
            bool whole = true;
            for (size_t k = 1; k < ink.size() && whole; k++)
                whole = corner[ink[k]] == colour;
            for (size_t k = 0; k < paper.size() && whole; k++)
                whole = corner[paper[k]] != colour;
            if (whole)
                return true;
        }
    return false;
}

int PixelsNot(const Image &image, int x, int y, int w, int h, uint32_t colour)
{
    int other = 0;
    for (int row = y; row < y + h && row < image.height; row++)
        for (int col = x; col < x + w && col < image.width; col++)
            other += row >= 0 && col >= 0 && image.At(col, row) != colour;
    return other;
}

HFONT CreateTemplateFont(int points, const char *face)
{
    HDC screen = GetDC(NULL);
    int pixels = MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(NULL, screen);
    return CreateFontA(-pixels, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                       PROOF_QUALITY, FF_DONTCARE, face);
}

void PumpMessages(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    } while (GetTickCount() - start < ms);
}

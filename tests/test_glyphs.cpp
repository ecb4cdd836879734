// Glyph lookup, the shipped glyph sheets, and measuring and drawing label
// texts on a memory DC, checked pixel by pixel.

#include <stdio.h>
#include <string.h>

#include <map>
#include <random>

#include <gtest/gtest.h>

#include "render/render.h"
#include "tests/driver/driver.h"
#include "tests/pixel_support.h"
#include "wizard/wizard.h"

// ---- LocateGlyph ---------------------------------------------------------

struct GlyphPlace {
    unsigned code;
    int sheet, x, y;
};

TEST(LocateGlyph, GivesTheWorkedCellsForSymbolsIdeographsAndStrayCodes)
{
    const GlyphPlace worked[] = {
        { 0xA1A1, 0, 0, 0 },     { 0xA1A2, 0, 16, 0 },    { 0xA3C1, 0, 448, 96 },
        { 0xA7C1, 0, 320, 288 }, { 0xB0A1, 0, 288, 320 }, { 0xD7F9, 2, 448, 304 },
        { 0xF7FE, 3, 16, 880 },  { 0xB0A0, 0, 48, 704 },  { 0xB140, 0, 240, 400 },
        { 0xA8A1, 0, 288, 320 }, { 0xA0A0, 3, 16, 624 },  { 0x8140, 3, 496, 160 },
        { 0xFEFE, 3, 304, 256 }, { 0xFFFF, 3, 288, 304 }, { 0xE946, 3, 0, 896 },
        { 0xA9A4, 3, 16, 896 },
    };
    for (const GlyphPlace &w : worked) {
        POINT p = { -1, -1 };
        int sheet = -1;
        EXPECT_EQ(1, LocateGlyph((unsigned short)w.code, &p, &sheet));
        EXPECT_EQ(w.sheet, sheet) << std::hex << w.code;
        EXPECT_EQ(w.x, p.x) << std::hex << w.code;
        EXPECT_EQ(w.y, p.y) << std::hex << w.code;
    }
}

TEST(LocateGlyph, KeepsEveryCodeInsideTheFourSheetsOnCellBoundaries)
{
    for (unsigned code = 0; code <= 0xFFFF; code++) {
        POINT p;
        int sheet;
        LocateGlyph((unsigned short)code, &p, &sheet);
        ASSERT_TRUE(sheet >= 0 && sheet <= 3) << std::hex << code;
        ASSERT_TRUE(p.x >= 0 && p.x <= 496 && p.x % 16 == 0) << std::hex << code;
        ASSERT_TRUE(p.y >= 0 && p.y <= 928 && p.y % 16 == 0) << std::hex << code;
    }
}

TEST(LocateGlyph, PacksTheGb2312RowsWithoutGaps)
{
    // Lead 0xA1 .. 0xA7 rows start at cell (lead - 0xA1) * 94, ideographs at
    // 658 + (lead - 0xB0) * 94; trail 0xA1 .. 0xFE run in order.
    for (unsigned lead = 0xA1; lead <= 0xF7; lead++) {
        if (lead > 0xA7 && lead < 0xB0)
            continue;
        int first = lead <= 0xA7 ? (int)(lead - 0xA1) * 94 : 658 + (int)(lead - 0xB0) * 94;
        for (unsigned trail = 0xA1; trail <= 0xFE; trail++) {
            int n = first + (int)(trail - 0xA1);
            POINT p;
            int sheet;
            LocateGlyph((unsigned short)(lead << 8 | trail), &p, &sheet);
            ASSERT_EQ(n / 1888, sheet) << std::hex << (lead << 8 | trail);
            ASSERT_EQ((n % 32) * 16, p.x) << std::hex << (lead << 8 | trail);
            ASSERT_EQ((n % 1888) / 32 * 16, p.y) << std::hex << (lead << 8 | trail);
        }
    }
}

// ---- the shipped sheets ----------------------------------------------------

static bool CellIsPaper(unsigned code)
{
    CellBits bits;
    CellOf(code, bits);
    for (uint16_t row : bits)
        if (row)
            return false;
    return true;
}

// Unifont's hex file: "XXXX:" and 32 (8 x 16) or 64 (16 x 16) hex digits.
// Narrow glyphs sit in the middle of the 16-pixel cell.
static std::map<unsigned, std::vector<uint16_t>> LoadUnifont()
{
    std::map<unsigned, std::vector<uint16_t>> font;
    FILE *file = fopen("Z:\\usr\\share\\unifont\\unifont.hex", "r");
    if (!file)
        return font;
    char line[256];
    while (fgets(line, sizeof line, file)) {
        unsigned cp;
        char digits[80] = "";
        if (sscanf(line, "%x:%70s", &cp, digits) != 2 || cp > 0xFFFF)
            continue;
        size_t n = strlen(digits);
        std::vector<uint16_t> rows(16);
        for (int j = 0; j < 16; j++) {
            unsigned value = 0;
            if (n == 64)
                sscanf(digits + j * 4, "%4x", &value);
            else if (n == 32) {
                sscanf(digits + j * 2, "%2x", &value);
                value <<= 4;
            } else
                break;
            rows[j] = (uint16_t)value;
        }
        font[cp] = rows;
    }
    fclose(file);
    return font;
}

TEST(GlyphSheets, HoldUnifontsGlyphForEveryGb2312Character)
{
    ASSERT_EQ((size_t)kGlyphSheetsBytes, SheetData().size()) << "ChnBmp.bin of the payload";
    std::map<unsigned, std::vector<uint16_t>> font = LoadUnifont();
    ASSERT_GT(font.size(), 50000u) << "GNU Unifont's hex file";

    const unsigned leads[] = { 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA7, 0xA9 };
    std::vector<unsigned> codes;
    for (unsigned lead : leads)
        for (unsigned trail = 0xA1; trail <= 0xFE; trail++)
            codes.push_back(lead << 8 | trail);
    for (unsigned lead = 0xB0; lead <= 0xF7; lead++)
        for (unsigned trail = 0xA1; trail <= 0xFE; trail++)
            codes.push_back(lead << 8 | trail);

    int compared = 0;
    std::vector<unsigned> mismatched;
    for (unsigned code : codes) {
        // Cells the sheet deliberately leaves blank or fills otherwise.
        if (code == 0xA1A1 || code == 0xA2A1 || (code >= 0xA9AA && code <= 0xA9AF))
            continue;
        char bytes[2] = { (char)(code >> 8), (char)code };
        WCHAR wide[2];
        // Wine's own code page 936 table, independent of the sheet builder's.
        int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2);
        if (n != 1 || wide[0] < 0x80 || !font.count(wide[0]))
            continue;
        // The box-drawing row is stored where the lookup sends lead 0xA6.
        CellBits bits;
        CellOf((code >> 8) == 0xA9 ? (0xA600 | (code & 0xFF)) : code, bits);
        const std::vector<uint16_t> &glyph = font[wide[0]];
        bool same = true;
        for (int j = 0; j < 16; j++)
            same = same && bits[j] == glyph[j];
        // GB2312 leaves symbol positions empty that code page 936 fills
        // with GBK additions; the sheets keep those positions blank.
        if (!same && !(code < 0xB0A1 && CellIsPaper(code)))
            mismatched.push_back(code);
        compared++;
    }
    EXPECT_GT(compared, 7300);
    // The C library's GB2312 table and Wine's code page 936 disagree on the
    // middle dot: katakana U+30FB against U+00B7.
    EXPECT_EQ(std::vector<unsigned>({ 0xA1A4 }), mismatched);
}

TEST(GlyphSheets, HaveTheSpecialCellsInTheLastSheet)
{
    ASSERT_EQ((size_t)kGlyphSheetsBytes, SheetData().size());
    std::map<unsigned, std::vector<uint16_t>> font = LoadUnifont();
    CellBits bits;
    CellOf(0xE946, bits);                // 镕, a GBK addition
    for (int j = 0; j < 16; j++)
        EXPECT_EQ(font[0x9555][j], bits[j]) << "row " << j;
    CellOf(0xA9A4, bits);                // the box-drawing horizontal line
    for (int j = 0; j < 16; j++)
        EXPECT_EQ(font[0x2500][j], bits[j]) << "row " << j;
    EXPECT_TRUE(CellIsPaper(0xA1A1)) << "the ideographic space";
    for (unsigned trail = 0xAA; trail <= 0xAF; trail++)      // block 5, reached by lead 0xA6
        EXPECT_TRUE(CellIsPaper(0xA600 | trail)) << "dashed box-drawing form " << std::hex << trail;
    EXPECT_FALSE(CellIsPaper(0xA2A1)) << "the first cell of the second row holds an ideograph";
}

// ---- measuring and drawing -------------------------------------------------

class LabelText : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadSheetsForTest()); }
};

static const COLORREF kWhite = RGB(255, 255, 255);

TEST_F(LabelText, MeasuresSixteenPerChineseCharacterPlusTheFontsWidths)
{
    Canvas canvas(300, 40, kWhite, GuiFont());
    int oneByOne = 0;
    for (const char *c = " Cancel"; *c; c++) {
        SIZE one;
        GetTextExtentPointA(canvas.dc, c, 1, &one);
        oneByOne += one.cx;
    }
    SIZE measured = MeasureLabelText(canvas.dc, "取消 Cancel");
    EXPECT_EQ(32 + oneByOne, measured.cx);
    EXPECT_EQ(16, measured.cy);

    SIZE empty = MeasureLabelText(canvas.dc, "");
    EXPECT_EQ(0, empty.cx);
    EXPECT_EQ(16, empty.cy);

    // A lead byte at the very end pairs with the terminator.
    EXPECT_EQ(16, MeasureLabelText(canvas.dc, "\xB0").cx);
    EXPECT_EQ(32, MeasureLabelText(canvas.dc, "\xB0\xA1\xC8").cx);
}

// Ink in the text colour, the face kept under the paper, whatever the two
// colours and the background colour the context was given: light faces as
// the standard colours have them, dark ones as in high contrast, and the
// highlight fills of a selected item (white text on navy, black on teal).
// At 192 and 288 DPI each glyph pixel is a whole block, nothing smoothed.
TEST_F(LabelText, DrawsGlyphInkInTheTextColourAndLeavesPaperUntouched)
{
    const struct { COLORREF face, ink, background; int highlight, scale; } cases[] = {
        { kWhite, RGB(200, 0, 0), kWhite, 0, 1 },
        { RGB(212, 208, 200), RGB(0, 0, 0), kWhite, 0, 1 },
        { RGB(0, 0, 0), kWhite, RGB(0, 0, 0), 0, 1 },
        { RGB(0, 0, 0), RGB(255, 255, 0), RGB(212, 208, 200), 0, 1 },
        { RGB(0, 0, 128), kWhite, RGB(0, 0, 128), 1, 1 },
        { RGB(26, 235, 255), RGB(0, 0, 0), RGB(26, 235, 255), 1, 1 },
        { RGB(212, 208, 200), RGB(0, 0, 0), kWhite, 0, 2 },
        { RGB(0, 0, 0), kWhite, RGB(0, 0, 0), 0, 3 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "face " << c.face << ", ink " << c.ink << ", scale " << c.scale);
        Canvas canvas(300, 60, c.face);
        SetTextColor(canvas.dc, c.ink);
        SetBkColor(canvas.dc, c.background);
        GlyphScale = c.scale;
        SIZE drawn = DrawLabelText(canvas.dc, 10, 5, "取消", c.highlight);
        GlyphScale = 1;
        EXPECT_EQ(32 * c.scale, drawn.cx);
        EXPECT_EQ(16 * c.scale, drawn.cy);
        Image image = canvas.Snapshot();
        EXPECT_EQ(0, GlyphMismatches(image, 10, 5, 0xC8A1, Rgb(c.ink), Rgb(c.face), c.scale));
        EXPECT_EQ(0, GlyphMismatches(image, 10 + 16 * c.scale, 5, 0xCFFB, Rgb(c.ink), Rgb(c.face), c.scale));
        EXPECT_EQ(c.ink, GetTextColor(canvas.dc)) << "the context's colours are put back";
        EXPECT_EQ(c.background, GetBkColor(canvas.dc));
    }
}

TEST_F(LabelText, DrawsOneByteCharactersOnePixelLowerWithTheContextsFont)
{
    Canvas canvas(300, 40, kWhite, GuiFont());
    DrawLabelText(canvas.dc, 10, 5, "取 Ok", 0);
    Canvas reference(300, 40, kWhite, GuiFont());
    DrawExpectedLabel(reference.dc, 26, 5, " Ok", RGB(0, 0, 0), RGB(0, 0, 0));
    Image drawn = canvas.Snapshot(), expected = reference.Snapshot();
    EXPECT_GT(PixelsNot(expected, 26, 0, 274, 40, Rgb(kWhite)), 10) << "the reference has ink";
    EXPECT_EQ(0, CountDifferences(drawn, expected, 26, 0, 274, 40));
}

TEST_F(LabelText, AdvancesOverThePaperCellOfTheIdeographicSpace)
{
    Canvas canvas(100, 40, kWhite);
    SIZE drawn = DrawLabelText(canvas.dc, 0, 0, "\xA1\xA1\xB0\xA1", 0);
    EXPECT_EQ(32, drawn.cx);
    Image image = canvas.Snapshot();
    EXPECT_EQ(0, PixelsNot(image, 0, 0, 16, 16, Rgb(kWhite)));
    EXPECT_EQ(0, GlyphMismatches(image, 16, 0, 0xB0A1, 0, Rgb(kWhite)));
}

TEST_F(LabelText, PairsATrailingLeadByteWithTheTerminator)
{
    Canvas canvas(100, 40, kWhite, GuiFont());
    SIZE drawn = DrawLabelText(canvas.dc, 0, 0, "A\xB0", 0);
    SIZE a;
    GetTextExtentPointA(canvas.dc, "A", 1, &a);
    EXPECT_EQ(a.cx + 16, drawn.cx);
    EXPECT_EQ(0, GlyphMismatches(canvas.Snapshot(), a.cx, 0, 0xB000, 0, Rgb(kWhite)));
}

TEST_F(LabelText, DrawsNothingForAnEmptyTextAndRestoresTheBackgroundMode)
{
    Canvas canvas(50, 20, kWhite);
    SetBkMode(canvas.dc, OPAQUE);
    SIZE drawn = DrawLabelText(canvas.dc, 0, 0, "", 0);
    EXPECT_EQ(0, drawn.cx);
    EXPECT_EQ(OPAQUE, GetBkMode(canvas.dc));
    EXPECT_EQ(0, PixelsNot(canvas.Snapshot(), 0, 0, 50, 20, Rgb(kWhite)));
}

// Random byte strings: ASCII, control bytes, lead bytes inside and outside
// GB2312, trail bytes below 0xA1, and a lone lead byte before the
// terminator. Each text, terminator included, ends at a guard page, and so
// do the sheets the renderer is loaded from. Measuring, drawing and cutting
// read nothing past the terminator, and the picture is the one the sheet
// file itself gives.
TEST_F(LabelText, RandomBytesAreMeasuredDrawnAndCutWithinTheTextAndTheSheets)
{
    ASSERT_EQ((size_t)kGlyphSheetsBytes, SheetData().size());
    GuardedBytes sheets(SheetData().data(), SheetData().size());
    ASSERT_TRUE(sheets.bytes != NULL);
    ReleaseGlyphSheets();
    ASSERT_EQ(1, LoadGlyphSheets((const unsigned char *)sheets.bytes));

    std::mt19937 random(110);
    Canvas drawn(420, 20, kWhite, GuiFont()), expected(420, 20, kWhite, GuiFont());
    int failures = 0;
    for (int round = 0; round < 1000 && failures < 5; round++) {
        std::string text;
        for (int n = (int)(random() % 25); n > 0; n--) {
            unsigned kind = random() % 10;
            text += (char)(kind < 4 ? 0x20 + random() % 0x5F : kind < 5 ? 1 + random() % 0x1F : 0x80 + random() % 0x80);
        }
        GuardedBytes guarded(text.c_str(), text.size() + 1);
        ASSERT_TRUE(guarded.bytes != NULL);
        const char *bytes = guarded.bytes;

        SIZE measured = MeasureLabelText(drawn.dc, bytes);
        drawn.Fill(kWhite);
        SIZE size = DrawLabelText(drawn.dc, 2, 2, bytes, 0);
        expected.Fill(kWhite);
        int width = DrawExpectedLabel(expected.dc, 2, 2, bytes, 0, 0);
        int differing = CountDifferences(drawn.Snapshot(), expected.Snapshot(), 0, 0, 420, 20);

        // Widened for screen readers within the capacity, terminated; the
        // one-byte part alone keeps no byte of a two-byte character.
        WCHAR name[32];
        int capacity = 1 + (int)(random() % 31);
        int widened = WidenLabelText(bytes, 1, name, capacity);
        bool widenedWithin = widened >= 0 && widened < capacity && name[widened] == 0;
        int english = WidenLabelText(bytes, 0, name, capacity);
        widenedWithin = widenedWithin && english >= 0 && english < capacity && name[english] == 0;
        for (int i = 0; i < english; i++)
            widenedWithin = widenedWithin && name[i] < 0x80;

        std::vector<char> original(guarded.bytes, guarded.bytes + text.size() + 1);
        size_t limit = random() % (text.size() + 2);
        CutLabelText(guarded.bytes, limit);
        size_t kept = strlen(guarded.bytes);
        size_t walked = 0;      // whole characters of the original, as the renderer pairs them
        while (walked < kept)
            walked += (unsigned char)original[walked] >= 0x80 && original[walked + 1] ? 2 : 1;

        if (measured.cx != width || size.cx != width || differing || kept > limit || walked != kept
            || !widenedWithin
            || memcmp(original.data(), guarded.bytes, kept) != 0) {
            ADD_FAILURE() << "text \"" << Printable(text) << "\": measured " << measured.cx << ", drawn "
                          << size.cx << ", expected " << width << ", " << differing
                          << " pixels differ; cut to " << limit << " kept " << kept
                          << (widenedWithin ? "" : "; widened past its capacity");
            failures++;
        }
    }
}

// ---- the sample line --------------------------------------------------------

TEST(SampleText, ReachesTheScreenAsTheSameCharactersOnBothPlatformPaths)
{
    CreateSampleFont();
    ASSERT_TRUE(SampleFont != NULL);
    LOGFONTA font;
    GetObjectA(SampleFont, sizeof font, &font);
    EXPECT_STREQ("Courier New", font.lfFaceName);
    EXPECT_EQ(GB2312_CHARSET, font.lfCharSet);
    EXPECT_EQ(16, font.lfHeight);
    EXPECT_EQ(8, font.lfWidth);

    static const char kSample[] = "日出江花红胜火";
    ASSERT_EQ(14u, strlen(kSample));
    WCHAR wide[8];
    ASSERT_EQ(7, MultiByteToWideChar(936, 0, kSample, 14, wide, 8));
    Canvas reference(200, 40, kWhite, SampleFont);
    TextOutW(reference.dc, 2, 2, wide, 7);
    Image expected = reference.Snapshot();
    EXPECT_GT(PixelsNot(expected, 0, 0, 200, 40, Rgb(kWhite)), 20) << "a CJK font draws the line";

    for (int nt = 0; nt <= 1; nt++) {
        NtPlatform = nt;
        Canvas canvas(200, 40, kWhite, SampleFont);
        DrawSampleText(canvas.dc, 2, 2, kSample, 14);
        EXPECT_EQ(0, CountDifferences(canvas.Snapshot(), expected, 0, 0, 200, 40))
            << (nt ? "TextOutA path" : "TextOutW path");
    }
    DeleteObject(SampleFont);
    SampleFont = NULL;
}

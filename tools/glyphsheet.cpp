// Builds the installer's glyph sheets, "ChnBmp.bin", from GNU Unifont.
//
//     glyphsheet UNIFONT_HEX OUT
//
// The file's format, the order of its cells and what each cell holds are
// described once, where the installer reads them: the comment at LocateGlyph
// in render/glyphs.cpp. This tool fills the cells in that order.
//
// GB2312 codes become Unicode through the C library's iconv ("GB2312", and
// "GBK" for 0xE946); a code that does not convert, or whose character
// Unifont lacks, is a paper cell. The output depends only on the hex file
// and the iconv tables, never on the time or the locale.
#include "../payload/capacities.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

static const int kRowBytes = kSheetWidth / 8;
static const int kCellsPerRow = kSheetWidth / 16;
static const int kCellsPerSheet = kCellsPerRow * (kSheetHeight / 16);  // 1,888
static const int kCellCount = kCellsPerSheet * kSheetCount;           // 7,552

static const int kFirstIdeographCell = 658;
static const int kStripeCells = 7426;     // .. 7455
static const int kExtraIdeographCell = 7456;
static const int kBoxLineCell = 7457;
static const int kPatternCells = 7458;    // .. 7487
static const int kPaperCells = 7488;      // .. 7551

// GB2312 leaves 0xA2A1, the first position of the numbered-forms row, empty;
// the lookup still sends it to a cell of its own, so that cell holds an
// ideograph rather than nothing: 喆 (U+5586, GBK 0x86B4), a name character
// that GB2312 lacks.
static const uint32_t kA2A1Ideograph = 0x5586;

// One Unifont glyph: 16 rows, ink bits with the leftmost pixel in bit 15.
struct Glyph {
    uint16_t rows[16];
};

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

/*
 * Unifont hex format: one glyph per line, "XXXX:bits". XXXX is the code
 * point in hex (4 to 6 digits); bits is 32 hex digits for an 8 x 16 glyph
 * (one byte per row) or 64 for a 16 x 16 glyph (two bytes per row), top row
 * first, the most significant bit the leftmost pixel, bit 1 ink. An 8-wide
 * glyph is centred in the 16-pixel cell, in columns 4..11, so that a
 * half-width letter does not cling to the left edge of its full-width cell.
 */
static int ReadUnifont(const std::string &path, std::unordered_map<uint32_t, Glyph> &glyphs, std::string &error)
{
    std::ifstream in(path);
    std::string line;
    int lineNumber = 0;
    if (!in) {
        error = path + ": cannot open the Unifont hex file";
        return 0;
    }
    while (std::getline(in, line)) {
        lineNumber++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        size_t colon = line.find(':');
        std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (colon < 4 || colon > 6) {
            error = where + "expected \"XXXX:hexbits\"";
            return 0;
        }
        uint32_t code = 0;
        for (size_t i = 0; i < colon; i++) {
            int v = HexValue(line[i]);
            if (v < 0) {
                error = where + "bad code point";
                return 0;
            }
            code = code * 16 + (uint32_t)v;
        }
        std::string bits = line.substr(colon + 1);
        if (bits.size() != 32 && bits.size() != 64) {
            error = where + "glyph of " + std::to_string(bits.size()) + " hex digits; expected 32 or 64";
            return 0;
        }
        std::vector<int> nibbles;
        for (char c : bits) {
            int v = HexValue(c);
            if (v < 0) {
                error = where + "bad hex digit in the glyph";
                return 0;
            }
            nibbles.push_back(v);
        }
        Glyph glyph;
        for (int row = 0; row < 16; row++) {
            if (bits.size() == 32)
                glyph.rows[row] = (uint16_t)(((nibbles[row * 2] << 4) | nibbles[row * 2 + 1]) << 4);
            else
                glyph.rows[row] = (uint16_t)((nibbles[row * 4] << 12) | (nibbles[row * 4 + 1] << 8) |
                                             (nibbles[row * 4 + 2] << 4) | nibbles[row * 4 + 3]);
        }
        glyphs[code] = glyph;
    }
    if (glyphs.empty()) {
        error = path + ": no glyphs";
        return 0;
    }
    return 1;
}

// Converts one double-byte code with an open iconv descriptor to a Unicode
// code point; returns 0 when the code has no character.
static uint32_t CodeToUnicode(iconv_t converter, unsigned code)
{
    char in[2] = {(char)(code >> 8), (char)(code & 0xFF)};
    unsigned char out[8];
    char *inPointer = in;
    char *outPointer = (char *)out;
    size_t inLeft = sizeof in, outLeft = sizeof out;

    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) == (size_t)-1 || inLeft != 0 ||
        sizeof out - outLeft != 4)
        return 0;
    return (uint32_t)out[0] | ((uint32_t)out[1] << 8) | ((uint32_t)out[2] << 16) | ((uint32_t)out[3] << 24);
}

// Stores ink rows into a cell; the sheet stores paper as 1, so ink is
// inverted on the way in.
static void PutCell(std::vector<uint8_t> &sheets, int cell, const uint16_t ink[16])
{
    int sheet = cell / kCellsPerSheet;
    int row = (cell % kCellsPerSheet) / kCellsPerRow;
    int column = cell % kCellsPerRow;
    for (int j = 0; j < 16; j++) {
        size_t offset = (size_t)sheet * kSheetBytes + (size_t)(row * 16 + j) * kRowBytes + (size_t)column * 2;
        uint16_t bits = (uint16_t)~ink[j];
        sheets[offset] = (uint8_t)(bits >> 8);
        sheets[offset + 1] = (uint8_t)(bits & 0xFF);
    }
}

// Puts the Unifont glyph of a code point into a cell; leaves the cell paper
// and returns 0 when Unifont has none.
static int PutCharacter(std::vector<uint8_t> &sheets, int cell, uint32_t codePoint,
                        const std::unordered_map<uint32_t, Glyph> &glyphs)
{
    auto found = glyphs.find(codePoint);
    if (codePoint == 0 || found == glyphs.end())
        return 0;
    PutCell(sheets, cell, found->second.rows);
    return 1;
}

static void PutPattern(std::vector<uint8_t> &sheets, int cell, uint16_t evenRows, uint16_t oddRows)
{
    uint16_t ink[16];
    for (int j = 0; j < 16; j++)
        ink[j] = (j % 2 == 0) ? evenRows : oddRows;
    PutCell(sheets, cell, ink);
}

// Fills the two symbol and ideograph ranges; counts drawn and paper cells.
static void PutGb2312Cells(std::vector<uint8_t> &sheets, iconv_t gb2312,
                           const std::unordered_map<uint32_t, Glyph> &glyphs, int &drawn, int &paper)
{
    static const unsigned kSymbolLeads[7] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA9, 0xA7};

    for (int block = 0; block < 7; block++) {
        for (unsigned trail = 0xA1; trail <= 0xFE; trail++) {
            unsigned code = kSymbolLeads[block] << 8 | trail;
            int cell = block * 94 + (int)(trail - 0xA1);
            uint32_t codePoint = CodeToUnicode(gb2312, code);
            if (code == 0xA1A1)
                codePoint = 0;  // the ideographic space is blank by nature
            else if (code == 0xA2A1)
                codePoint = kA2A1Ideograph;
            else if (kSymbolLeads[block] == 0xA9 && trail >= 0xAA && trail <= 0xAF)
                codePoint = 0;  // the dashed box-drawing forms are not used
            if (PutCharacter(sheets, cell, codePoint, glyphs))
                drawn++;
            else
                paper++;
        }
    }
    for (unsigned lead = 0xB0; lead <= 0xF7; lead++) {
        for (unsigned trail = 0xA1; trail <= 0xFE; trail++) {
            int cell = kFirstIdeographCell + (int)(lead - 0xB0) * 94 + (int)(trail - 0xA1);
            if (PutCharacter(sheets, cell, CodeToUnicode(gb2312, lead << 8 | trail), glyphs))
                drawn++;
            else
                paper++;
        }
    }
}

static int WriteFile(const std::string &path, const std::vector<uint8_t> &data)
{
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return 0;
        out.write((const char *)data.data(), (std::streamsize)data.size());
        out.close();
        if (!out)
            return 0;
    }
    std::error_code failure;
    std::filesystem::rename(temporary, path, failure);
    return failure ? 0 : 1;
}

int main(int argc, char **argv)
{
    int result = 1;
    std::unordered_map<uint32_t, Glyph> glyphs;
    std::vector<uint8_t> sheets((size_t)kSheetBytes * kSheetCount, 0xFF);  // all paper
    std::string error;
    iconv_t gb2312 = (iconv_t)-1, gbk = (iconv_t)-1;
    int drawn = 0, paper = 0;

    if (argc != 3) {
        std::fprintf(stderr, "usage: glyphsheet UNIFONT_HEX OUT\n");
        return 1;
    }
    if (!ReadUnifont(argv[1], glyphs, error)) {
        std::fprintf(stderr, "glyphsheet: %s\n", error.c_str());
        goto done;
    }
    gb2312 = iconv_open("UTF-32LE", "GB2312");
    gbk = iconv_open("UTF-32LE", "GBK");
    if (gb2312 == (iconv_t)-1 || gbk == (iconv_t)-1) {
        std::fprintf(stderr, "glyphsheet: the C library has no GB2312 or GBK converter: %s\n", std::strerror(errno));
        goto done;
    }

    PutGb2312Cells(sheets, gb2312, glyphs, drawn, paper);
    // The two cells outside the GB2312 ranges must not fall back to paper:
    // the installer draws them, so a missing glyph here is an error.
    if (!PutCharacter(sheets, kExtraIdeographCell, CodeToUnicode(gbk, 0xE946), glyphs) ||
        !PutCharacter(sheets, kBoxLineCell, CodeToUnicode(gb2312, 0xA9A4), glyphs)) {
        std::fprintf(stderr, "glyphsheet: no glyph for GBK 0xE946 or 0xA9A4 in %s\n", argv[1]);
        goto done;
    }
    drawn += 2;
    for (int cell = kStripeCells; cell < kExtraIdeographCell; cell++)
        PutPattern(sheets, cell, 0x5555, 0x5555);
    for (int cell = kPatternCells; cell < kPaperCells; cell++) {
        if ((cell - kPatternCells) % 2 == 0)
            PutPattern(sheets, cell, 0xFFFF, 0x0000);
        else
            PutPattern(sheets, cell, 0xAAAA, 0x5555);
    }
    // Cells kPaperCells .. kCellCount - 1 stay paper.
    static_assert(kCellCount == 7552, "four sheets of 1,888 cells");

    if (!WriteFile(argv[2], sheets)) {
        std::fprintf(stderr, "glyphsheet: %s: cannot write the glyph sheets\n", argv[2]);
        goto done;
    }
    std::printf("glyphsheet: %s: %d glyphs, %d paper cells in the symbol and ideograph ranges\n", argv[2], drawn,
                paper);
    result = 0;

done:
    if (gb2312 != (iconv_t)-1)
        iconv_close(gb2312);
    if (gbk != (iconv_t)-1)
        iconv_close(gbk);
    return result;
}

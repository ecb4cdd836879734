// Generators of synthetic payload files for demo builds (see democontent.h).
#include "democontent.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <vector>

// splitmix64: small, fast and the same everywhere.
struct Random {
    uint64_t state;
};

static uint64_t NextRandom(Random &random)
{
    uint64_t z = (random.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

static uint32_t RandomBelow(Random &random, uint32_t n)
{
    return (uint32_t)(NextRandom(random) % n);
}

// Small values far more often than large ones, as word frequencies go.
static uint32_t RandomSkewed(Random &random, uint32_t n, int draws)
{
    uint32_t best = n;
    for (int i = 0; i < draws; i++)
        best = std::min(best, RandomBelow(random, n));
    return best;
}

uint64_t SeedFromName(const std::string &name)
{
    uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

static bool NameHas(const std::string &name, const char *part)
{
    std::string lower = name;
    for (char &c : lower)
        c = (char)std::tolower((unsigned char)c);
    return lower.find(part) != std::string::npos;
}

// ---------------------------------------------------------------------------
// Words and characters

static const char *const kSyllables[] = {
    "a",     "ai",    "an",    "ba",    "bai",   "ban",   "bang",  "bao",   "bei",   "ben",   "bi",    "bian",
    "bu",    "cai",   "chang", "chao",  "cheng", "chi",   "chu",   "ci",    "cong",  "da",    "dai",   "dan",
    "dao",   "de",    "di",    "dian",  "ding",  "dong",  "du",    "duan",  "dui",   "er",    "fa",    "fan",
    "fang",  "fei",   "fen",   "feng",  "fu",    "gai",   "gan",   "gao",   "ge",    "gong",  "gu",    "guan",
    "guo",   "hai",   "han",   "hao",   "he",    "hen",   "hou",   "hua",   "huan",  "hui",   "ji",    "jia",
    "jian",  "jiang", "jiao",  "jie",   "jin",   "jing",  "jiu",   "ju",    "ke",    "kou",   "kuai",  "lai",
    "lao",   "le",    "li",    "lian",  "liang", "lin",   "liu",   "long",  "lu",    "lun",   "ma",    "mei",
    "men",   "mian",  "min",   "ming",  "mu",    "na",    "nan",   "nei",   "neng",  "ni",    "nian",  "pin",
    "qi",    "qian",  "qing",  "qu",    "quan",  "ren",   "ri",    "ru",    "shang", "shao",  "she",   "shen",
    "sheng", "shi",   "shou",  "shu",   "shui",  "shuo",  "si",    "suo",   "ta",    "tai",   "tian",  "tong",
    "wai",   "wan",   "wei",   "wen",   "wo",    "wu",    "xi",    "xia",   "xian",  "xiang", "xiao",  "xie",
    "xin",   "xing",  "xue",   "ya",    "yan",   "yang",  "ye",    "yi",    "yin",   "ying",  "you",   "yu",
    "yuan",  "yue",   "zai",   "zhe",   "zhen",  "zheng", "zhi",   "zhong", "zhu",   "zi",    "zong",  "zuo",
};

static const char *const kWords[] = {
    "the",       "of",       "and",      "to",       "a",        "in",       "is",        "you",      "that",
    "it",        "for",      "on",       "with",     "as",       "are",      "this",      "be",       "by",
    "or",        "can",      "word",     "words",    "input",    "pinyin",   "character", "characters",
    "type",      "key",      "keys",     "press",    "space",    "bar",      "enter",     "list",     "choose",
    "select",    "text",     "editor",   "window",   "menu",     "option",   "options",   "setting",  "user",
    "phrase",    "phrases",  "base",     "dictionary", "Chinese", "English", "mode",      "simplified",
    "traditional", "code",   "codes",    "stroke",   "strokes",  "shape",    "first",     "next",     "page",
    "number",    "when",     "then",     "each",     "all",      "more",     "one",       "two",      "letter",
    "letters",   "syllable", "tone",     "learn",    "quickly",  "faster",   "common",    "most",     "also",
    "default",   "screen",   "click",    "open",     "save",     "file",     "document",  "help",     "guide",
    "program",   "example",  "line",     "lines",    "candidate", "candidates", "shown",  "will",     "not",
    "from",      "your",     "use",      "using",    "new",      "old",      "keyboard",  "layout",   "map",
};

// The 3,755 first-level GB2312 ideographs, by index.
static void AppendGbIdeograph(std::string &out, uint32_t index)
{
    out += (char)(0xB0 + index / 94);
    out += (char)(0xA1 + index % 94);
}

// Frequent ideographs: most text draws from a few hundred characters.
static void AppendCommonGb(std::string &out, Random &random)
{
    uint32_t pool = RandomBelow(random, 10) < 9 ? 240 : 3755;
    AppendGbIdeograph(out, RandomSkewed(random, pool, 3));
}

static void AppendCommonBig5(std::string &out, Random &random)
{
    uint32_t pool = RandomBelow(random, 10) < 9 ? 240 : 34 * 157;
    uint32_t index = RandomSkewed(random, pool, 3);
    uint32_t trail = index % 157;
    out += (char)(0xA4 + index / 157);
    out += (char)(trail < 63 ? 0x40 + trail : 0xA1 + (trail - 63));
}

static std::string EnglishSentence(Random &random)
{
    std::string sentence;
    uint32_t count = 5 + RandomBelow(random, 10);
    for (uint32_t i = 0; i < count; i++) {
        std::string word = kWords[RandomSkewed(random, sizeof kWords / sizeof *kWords, 3)];
        if (i == 0)
            word[0] = (char)std::toupper((unsigned char)word[0]);
        else
            sentence += ' ';
        sentence += word;
    }
    return sentence + ".";
}

// The words of one file: real text repeats its words, which is most of
// what makes it compress, so sentences are drawn from a small lexicon of
// words of one to four characters, each with its pinyin.
struct Lexicon {
    std::vector<std::string> words, pinyin;
};

static Lexicon MakeLexicon(Random &random, bool big5, size_t fileSize)
{
    const uint32_t syllableCount = sizeof kSyllables / sizeof *kSyllables;
    // A short page uses few words, a long one many.
    size_t count = std::clamp(fileSize / 30, (size_t)40, (size_t)400);
    Lexicon lexicon;
    for (size_t i = 0; i < count; i++) {
        uint32_t length = 1 + RandomSkewed(random, 4, 2);
        std::string word, pinyin;
        for (uint32_t j = 0; j < length; j++) {
            if (big5)
                AppendCommonBig5(word, random);
            else
                AppendCommonGb(word, random);
            pinyin += kSyllables[RandomSkewed(random, syllableCount, 2)];
        }
        lexicon.words.push_back(word);
        lexicon.pinyin.push_back(pinyin);
    }
    return lexicon;
}

static uint32_t PickWord(Random &random, const Lexicon &lexicon)
{
    return RandomSkewed(random, (uint32_t)lexicon.words.size(), 2);
}

// A Chinese sentence; big5 selects the Big5 punctuation.
static std::string ChineseSentence(Random &random, const Lexicon &lexicon, bool big5)
{
    std::string sentence;
    uint32_t clauses = 1 + RandomBelow(random, 3);
    for (uint32_t c = 0; c < clauses; c++) {
        uint32_t count = 2 + RandomBelow(random, 5);
        for (uint32_t i = 0; i < count; i++)
            sentence += lexicon.words[PickWord(random, lexicon)];
        if (RandomBelow(random, 6) == 0)
            sentence += " " + lexicon.pinyin[PickWord(random, lexicon)] + " ";
        sentence += big5 ? (c + 1 < clauses ? "\xA1\x41" : "\xA1\x43") : (c + 1 < clauses ? "\xA3\xAC" : "\xA1\xA3");
    }
    return sentence;
}

// ---------------------------------------------------------------------------
// Exact-size text

static const size_t kMinPadLine = 24;

// ASCII text of exactly length bytes ending in CR LF where there is room.
static std::string PadLine(Random &random, size_t length, const std::string &prefix, const std::string &suffix)
{
    if (length < prefix.size() + suffix.size() + 2)
        return std::string(length >= 2 ? length - 2 : length, ' ') + (length >= 2 ? "\r\n" : "");
    std::string body;
    size_t bodyLength = length - prefix.size() - suffix.size() - 2;
    while (body.size() < bodyLength)
        body += EnglishSentence(random) + " ";
    body.resize(bodyLength);
    if (!body.empty() && body.back() == ' ')
        body.back() = '.';
    return prefix + body + suffix + "\r\n";
}

// head, then lines from makeLine, then tail; the last line is padded so that
// the whole is exactly size bytes.
static std::string FillToSize(size_t size, const std::string &head, const std::string &tail,
                              const std::function<std::string()> &makeLine,
                              const std::function<std::string(size_t)> &makePad)
{
    std::string out = head;
    if (head.size() + tail.size() + kMinPadLine > size) {
        out += tail;
        out.resize(size, ' ');
        return out;
    }
    for (;;) {
        size_t room = size - tail.size() - out.size();
        std::string line = makeLine();
        if (line.size() + kMinPadLine <= room) {
            out += line;
            continue;
        }
        out += makePad(room);
        break;
    }
    return out + tail;
}

std::string MakeDemoText(const std::string &name, size_t size)
{
    Random random{SeedFromName(name)};
    bool english = NameHas(name, "_en");
    bool prose = NameHas(name, ".txt") || NameHas(name, ".igb");
    Lexicon lexicon = MakeLexicon(random, false, size);

    auto makeLine = [&]() -> std::string {
        if (english) {
            std::string line;
            while (line.size() < 60)
                line += EnglishSentence(random) + " ";
            line.pop_back();
            return line + "\r\n";
        }
        if (prose)
            return ChineseSentence(random, lexicon, false) + "\r\n";
        // A dictionary entry: pinyin, the word, a frequency.
        uint32_t word = PickWord(random, lexicon);
        return lexicon.pinyin[word] + " " + lexicon.words[word] + " " +
               std::to_string(RandomSkewed(random, 5000, 3)) + "\r\n";
    };
    auto makePad = [&](size_t room) { return PadLine(random, room, "", ""); };
    return FillToSize(size, "", "", makeLine, makePad);
}

std::string MakeDemoHtml(const std::string &name, size_t size)
{
    Random random{SeedFromName(name)};
    bool english = NameHas(name, "_en");
    bool big5 = NameHas(name, "_b5");
    std::string title = name.substr(0, name.find('.'));
    std::string head = std::string("<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=") +
                       (english ? "iso-8859-1" : big5 ? "big5" : "gb2312") + "\">\r\n<title>" + title +
                       "</title>\r\n<style>\r\nbody { font-size: 10pt; margin: 12px; }\r\nh2 { color: #204080; }\r\n"
                       "</style>\r\n</head>\r\n<body>\r\n<h2>" + title + "</h2>\r\n";
    std::string tail = "</body>\r\n</html>\r\n";
    Lexicon lexicon = MakeLexicon(random, big5, size);

    auto sentence = [&]() { return english ? EnglishSentence(random) : ChineseSentence(random, lexicon, big5); };
    auto makeLine = [&]() -> std::string {
        uint32_t kind = RandomBelow(random, 10);
        if (kind == 0)
            return "<h3><a name=\"s" + std::to_string(RandomBelow(random, 40)) + "\"></a>" + sentence() + "</h3>\r\n";
        if (kind <= 2)
            return "<li><font color=\"#204080\">" + sentence() + "</font></li>\r\n";
        if (kind == 3)
            return "<tr><td class=\"key\">" + sentence() + "</td><td class=\"text\">" + sentence() + "</td></tr>\r\n";
        if (kind == 4)
            return "<p class=\"note\"><a href=\"" + title + ".htm#s" + std::to_string(RandomBelow(random, 40)) +
                   "\">" + sentence() + "</a></p>\r\n";
        std::string paragraph = "<p class=\"text\">";
        uint32_t count = 1 + RandomBelow(random, 3);
        for (uint32_t i = 0; i < count; i++)
            paragraph += (i ? (RandomBelow(random, 4) == 0 ? "<br>\r\n" : " ") : "") + sentence();
        return paragraph + "</p>\r\n";
    };
    auto makePad = [&](size_t room) { return PadLine(random, room, "<p>", "</p>"); };
    return FillToSize(size, head, tail, makeLine, makePad);
}

// ---------------------------------------------------------------------------
// Binary data

static void PutLe16(std::string &out, uint32_t v)
{
    out += (char)(v & 0xFF);
    out += (char)((v >> 8) & 0xFF);
}

static void PutLe32(std::string &out, uint32_t v)
{
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

static void PutBe32(std::string &out, uint32_t v)
{
    out += (char)(v >> 24);
    out += (char)((v >> 16) & 0xFF);
    out += (char)((v >> 8) & 0xFF);
    out += (char)(v & 0xFF);
}

std::string MakeDemoData(const std::string &name, size_t size)
{
    Random random{SeedFromName(name)};
    Lexicon lexicon = MakeLexicon(random, false, size);
    std::string out;
    uint32_t offset = RandomBelow(random, 4096);
    out.reserve(size + 256);
    while (out.size() < size) {
        uint32_t kind = RandomBelow(random, 20);
        uint32_t count = 8 + RandomBelow(random, 40);
        if (kind < 6) {
            // An index: ascending offsets into a string area.
            for (uint32_t i = 0; i < count; i++) {
                offset += 1 + RandomSkewed(random, 300, 2);
                PutLe32(out, offset);
            }
        } else if (kind < 13) {
            // Word entries: the word, a frequency class, a flag byte.
            for (uint32_t i = 0; i < count; i++) {
                out += lexicon.words[PickWord(random, lexicon)];
                out += (char)RandomSkewed(random, 16, 2);
                out += (char)(RandomBelow(random, 4) == 0 ? RandomBelow(random, 256) : 0);
            }
        } else if (kind < 16) {
            // Character codes in use order, two bytes each.
            for (uint32_t i = 0; i < count; i++)
                AppendCommonGb(out, random);
        } else if (kind < 19) {
            // Pinyin keys, zero-terminated.
            for (uint32_t i = 0; i < count / 4; i++) {
                out += lexicon.pinyin[PickWord(random, lexicon)];
                out += '\0';
            }
        } else {
            // Packed bit fields that look random.
            for (uint32_t i = 0; i < count; i++)
                out += (char)RandomBelow(random, 256);
        }
    }
    out.resize(size);
    return out;
}

// A stream of common i386 instruction shapes with random operands, calls to
// a small import table and the odd string or zero run: compresses about as
// well as compiled code, around 2:1.
std::string MakeProgramFiller(const std::string &name, size_t size)
{
    Random random{SeedFromName(name + "#code")};
    uint32_t imports[48];
    std::string out;
    for (uint32_t &address : imports)
        address = 0x00450000 + RandomBelow(random, 0x4000) * 4;
    out.reserve(size + 64);
    while (out.size() < size) {
        switch (RandomSkewed(random, 16, 2)) {
        case 0:  // prologue
            out += "\x55\x8B\xEC";
            out += "\x83\xEC";
            out += (char)(4 * (1 + RandomBelow(random, 16)));
            break;
        case 1:  // mov eax, [ebp+disp8]
        case 2:
            out += "\x8B\x45";
            out += (char)(8 + 4 * RandomBelow(random, 6));
            break;
        case 3:  // mov [ebp-disp8], eax
            out += "\x89\x45";
            out += (char)(0x100 - 4 * (1 + RandomBelow(random, 12)));
            break;
        case 4:  // call rel32, near
        {
            int32_t delta = (int32_t)RandomBelow(random, 0x20000) - 0x10000;
            out += '\xE8';
            PutLe32(out, (uint32_t)delta);
            break;
        }
        case 5:  // call [import]
            out += "\xFF\x15";
            PutLe32(out, imports[RandomSkewed(random, 48, 2)]);
            break;
        case 6:  // test eax, eax; jz short
            out += "\x85\xC0\x74";
            out += (char)RandomBelow(random, 0x40);
            break;
        case 7:  // push imm8
            out += '\x6A';
            out += (char)RandomSkewed(random, 64, 2);
            break;
        case 8:  // push imm32 (an address)
            out += '\x68';
            PutLe32(out, 0x00460000 + RandomBelow(random, 0x10000));
            break;
        case 9:  // xor eax, eax
            out += "\x33\xC0";
            break;
        case 10:  // epilogue and alignment
            out += "\x8B\xE5\x5D\xC3";
            out.append(RandomBelow(random, 12), '\xCC');
            break;
        case 11:  // mov reg, reg
            out += '\x8B';
            out += (char)(0xC0 + RandomBelow(random, 64));
            break;
        case 12:  // a string constant
            out += kWords[RandomBelow(random, sizeof kWords / sizeof *kWords)];
            out += '\0';
            break;
        case 13:  // cmp eax, imm32; jnz near
            out += "\x3D";
            PutLe32(out, RandomSkewed(random, 0x1000, 2));
            out += "\x0F\x85";
            PutLe32(out, RandomBelow(random, 0x800));
            break;
        case 14:  // zero-filled data
            out.append(4 + RandomBelow(random, 28), '\0');
            break;
        default:  // lea, movzx and other irregular bytes
            for (uint32_t i = 0; i < 3; i++)
                out += (char)RandomBelow(random, 256);
            break;
        }
    }
    out.resize(size);
    return out;
}

// ---------------------------------------------------------------------------
// Pictures

struct Canvas {
    int width, height;
    std::vector<uint8_t> rgb;  // top-down, 3 bytes per pixel
};

static void FillRect(Canvas &canvas, int left, int top, int right, int bottom, uint32_t rgb)
{
    left = std::max(left, 0), top = std::max(top, 0);
    right = std::min(right, canvas.width), bottom = std::min(bottom, canvas.height);
    for (int y = top; y < bottom; y++) {
        for (int x = left; x < right; x++) {
            uint8_t *p = &canvas.rgb[((size_t)y * canvas.width + x) * 3];
            p[0] = (uint8_t)(rgb >> 16), p[1] = (uint8_t)(rgb >> 8), p[2] = (uint8_t)rgb;
        }
    }
}

// A keyboard map: rows of keys, each with a small legend of random dots, in
// a few colour zones the way finger charts are drawn.
static void DrawKeyboard(Canvas &canvas, Random &random)
{
    static const uint32_t kZones[] = {0xF6D8D8, 0xF6EED0, 0xD8F0D8, 0xD8E4F6, 0xEADAF4};
    int keySize = std::max(canvas.width / 16, 6);
    int margin = keySize / 2;
    FillRect(canvas, 0, 0, canvas.width, canvas.height, 0xFFFFFF);
    for (int row = 0; row < 5; row++) {
        int top = margin + row * (keySize + keySize / 4);
        for (int column = 0; column < 14; column++) {
            int left = margin + row * keySize / 3 + column * keySize;
            if (left + keySize > canvas.width - margin || top + keySize > canvas.height)
                break;
            FillRect(canvas, left, top, left + keySize - 2, top + keySize - 2, 0x000000);
            FillRect(canvas, left + 1, top + 1, left + keySize - 3, top + keySize - 3, kZones[column % 5]);
            int cell = std::max(keySize / 10, 1);
            for (int gy = 0; gy < 7; gy++)
                for (int gx = 0; gx < 5; gx++)
                    if (RandomBelow(random, 3) == 0)
                        FillRect(canvas, left + 3 + gx * cell, top + 3 + gy * cell, left + 3 + (gx + 1) * cell,
                                 top + 3 + (gy + 1) * cell, 0x000000);
        }
    }
}

// A splash screen: a two-colour gradient, a title band, soft noise.
static void DrawSplash(Canvas &canvas, Random &random)
{
    for (int y = 0; y < canvas.height; y++) {
        for (int x = 0; x < canvas.width; x++) {
            uint8_t *p = &canvas.rgb[((size_t)y * canvas.width + x) * 3];
            int noise = (int)RandomBelow(random, 9) - 4;
            p[0] = (uint8_t)std::clamp(40 + 120 * y / canvas.height + noise, 0, 255);
            p[1] = (uint8_t)std::clamp(90 + 100 * x / canvas.width + noise, 0, 255);
            p[2] = (uint8_t)std::clamp(200 - 60 * y / canvas.height + noise, 0, 255);
        }
    }
    int band = canvas.height / 3;
    FillRect(canvas, canvas.width / 10, band, canvas.width * 9 / 10, band + canvas.height / 6, 0xFFFFFF);
    for (int i = 0; i < 24; i++) {
        int x = canvas.width / 10 + 8 + i * canvas.width / 32;
        FillRect(canvas, x, band + 6, x + canvas.width / 48, band + canvas.height / 6 - 6,
                 RandomBelow(random, 2) ? 0x204080 : 0x802020);
    }
}

struct BmpLayout {
    int bitsPerPixel, width, height, paletteEntries;
    size_t imageBytes;
};

static size_t BmpStride(int width, int bitsPerPixel)
{
    return ((size_t)width * bitsPerPixel + 31) / 32 * 4;
}

// Finds an image whose file is exactly size bytes: the deepest colour depth
// that fits, landscape between 1:1 and 5:2, rows without padding bits
// preferred, then the shape nearest 4:3. Without an exact fit the image is
// the largest 24-bit 4:3 one that fits and the file ends with spare bytes.
static BmpLayout ChooseBmpLayout(size_t size)
{
    static const int kDepths[] = {24, 8, 4, 1};
    BmpLayout best{0, 0, 0, 0, 0};
    double bestScore = 1e9;
    for (int depth : kDepths) {
        int palette = depth <= 8 ? 1 << depth : 0;
        size_t headers = 54 + 4 * (size_t)palette;
        if (size <= headers)
            continue;
        for (int width = 8; width <= 4096; width++) {
            size_t stride = BmpStride(width, depth);
            if ((size - headers) % stride != 0)
                continue;
            int height = (int)((size - headers) / stride);
            if (height <= 0 || width < height || width > height * 5 / 2)
                continue;
            double score = std::abs((double)width / height - 4.0 / 3.0) + ((size_t)width * depth % 32 ? 1.0 : 0.0);
            if (score < bestScore)
                bestScore = score, best = BmpLayout{depth, width, height, palette, stride * (size_t)height};
        }
        if (best.width != 0)
            return best;
    }
    int width = 8;
    while (54 + BmpStride(width + 4, 24) * (size_t)((width + 4) * 3 / 4) <= size)
        width += 4;
    return BmpLayout{24, width, width * 3 / 4, 0, BmpStride(width, 24) * (size_t)(width * 3 / 4)};
}

static uint32_t PaletteColour(int depth, int index)
{
    static const uint32_t kVga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                      0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                      0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    if (depth == 1)
        return index ? 0xFFFFFF : 0x000000;
    if (depth == 4)
        return kVga[index];
    if (index < 216)  // a 6 x 6 x 6 colour cube, then greys
        return (uint32_t)(index / 36 * 51) << 16 | (uint32_t)(index / 6 % 6 * 51) << 8 | (uint32_t)(index % 6 * 51);
    uint32_t grey = (uint32_t)(index - 216) * 255 / 39;
    return grey << 16 | grey << 8 | grey;
}

static int NearestPaletteIndex(int depth, const uint8_t *rgb)
{
    if (depth == 1)
        return rgb[0] * 3 + rgb[1] * 6 + rgb[2] >= 128 * 10 ? 1 : 0;
    if (depth == 8)
        return (rgb[0] + 25) / 51 * 36 + (rgb[1] + 25) / 51 * 6 + (rgb[2] + 25) / 51;
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 16; i++) {
        uint32_t c = PaletteColour(depth, i);
        long dr = rgb[0] - (long)(c >> 16), dg = rgb[1] - (long)((c >> 8) & 0xFF), db = rgb[2] - (long)(c & 0xFF);
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance)
            bestDistance = distance, best = i;
    }
    return best;
}

std::string MakeDemoBitmap(const std::string &name, size_t size)
{
    Random random{SeedFromName(name)};
    BmpLayout layout = ChooseBmpLayout(size);
    Canvas canvas{layout.width, layout.height, std::vector<uint8_t>((size_t)layout.width * layout.height * 3, 0)};
    if (NameHas(name, "welcome"))
        DrawSplash(canvas, random);
    else
        DrawKeyboard(canvas, random);

    std::string out;
    out += "BM";
    PutLe32(out, (uint32_t)size);
    PutLe32(out, 0);
    PutLe32(out, 54 + 4 * (uint32_t)layout.paletteEntries);
    PutLe32(out, 40);
    PutLe32(out, (uint32_t)layout.width);
    PutLe32(out, (uint32_t)layout.height);  // positive: rows bottom-up
    PutLe16(out, 1);
    PutLe16(out, (uint32_t)layout.bitsPerPixel);
    PutLe32(out, 0);  // BI_RGB
    PutLe32(out, (uint32_t)layout.imageBytes);
    PutLe32(out, 2835);  // 72 dots per inch
    PutLe32(out, 2835);
    PutLe32(out, (uint32_t)layout.paletteEntries);
    PutLe32(out, 0);
    for (int i = 0; i < layout.paletteEntries; i++) {
        uint32_t c = PaletteColour(layout.bitsPerPixel, i);
        out += (char)(c & 0xFF);
        out += (char)((c >> 8) & 0xFF);
        out += (char)(c >> 16);
        out += '\0';
    }
    size_t stride = BmpStride(layout.width, layout.bitsPerPixel);
    for (int y = layout.height - 1; y >= 0; y--) {
        std::string row(stride, '\0');
        for (int x = 0; x < layout.width; x++) {
            const uint8_t *p = &canvas.rgb[((size_t)y * layout.width + x) * 3];
            if (layout.bitsPerPixel == 24) {
                row[(size_t)x * 3] = (char)p[2];
                row[(size_t)x * 3 + 1] = (char)p[1];
                row[(size_t)x * 3 + 2] = (char)p[0];
                continue;
            }
            int index = NearestPaletteIndex(layout.bitsPerPixel, p);
            size_t bit = (size_t)x * layout.bitsPerPixel;
            int shift = 8 - layout.bitsPerPixel - (int)(bit % 8);
            row[bit / 8] = (char)(row[bit / 8] | (index << shift));
        }
        out += row;
    }
    out.resize(size, '\0');
    return out;
}

static void PutPngChunk(std::string &out, const char *type, const std::string &data)
{
    std::string typed = std::string(type, 4) + data;
    PutBe32(out, (uint32_t)data.size());
    out += typed;
    PutBe32(out, (uint32_t)crc32(0L, (const Bytef *)typed.data(), (uInt)typed.size()));
}

// The IDAT data of a width x height RGB image of noise, zlib-compressed.
static std::string NoiseImageData(Random random, int width, int height)
{
    std::string raw;
    for (int y = 0; y < height; y++) {
        raw += '\0';  // filter type None
        for (int x = 0; x < width * 3; x++)
            raw += (char)RandomBelow(random, 256);
    }
    uLongf length = compressBound((uLong)raw.size());
    std::string packed(length, '\0');
    compress2((Bytef *)&packed[0], &length, (const Bytef *)raw.data(), (uLong)raw.size(), Z_BEST_COMPRESSION);
    packed.resize(length);
    return packed;
}

std::string MakeDemoPng(const std::string &name, size_t size)
{
    // Signature 8, IHDR 25, IDAT 12 + data, IEND 12; the rest goes into a
    // tEXt chunk, which needs 20 bytes at least ("Comment", NUL, no text).
    const size_t fixed = 8 + 25 + 12 + 12, minText = 20;
    Random random{SeedFromName(name)};
    int width = 4;
    while (fixed + minText + (size_t)((width + 4) * 3 + 1) * ((width + 4) * 3 / 4) + 64 <= size)
        width += 4;
    std::string idat;
    for (;; width--) {
        idat = NoiseImageData(random, width, std::max(width * 3 / 4, 1));
        size_t rest = size >= fixed + idat.size() ? size - fixed - idat.size() : 0;
        if (width <= 1 || (size >= fixed + idat.size() && (rest == 0 || rest >= minText)))
            break;
    }
    int height = std::max(width * 3 / 4, 1);

    std::string out = "\x89PNG\r\n\x1A\n";
    std::string header;
    PutBe32(header, (uint32_t)width);
    PutBe32(header, (uint32_t)height);
    header += "\x08\x02";  // 8 bits per sample, RGB
    header += std::string(3, '\0');
    PutPngChunk(out, "IHDR", header);
    PutPngChunk(out, "IDAT", idat);
    if (out.size() + 12 < size) {
        size_t textLength = size - out.size() - 12 - 12 - 8;
        std::string text = std::string("Comment") + '\0';
        while (text.size() < 8 + textLength)
            text += "Lunko demo picture. ";
        text.resize(8 + textLength);
        PutPngChunk(out, "tEXt", text);
    }
    PutPngChunk(out, "IEND", "");
    out.resize(size, '\0');  // only for sizes too small for any image
    return out;
}

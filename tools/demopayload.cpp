// Makes the payload folder of a demo build: every file that the payload list
// names, under its own name, of the kind and at the exact size of the real
// product's file that the list gives, so that a demo installer behaves like
// the real one in everything but the content.
//
//     demopayload --list LIST --out DIR --program EXE --sheets BIN --msi MSI
//                 --agreement-zh UTF8TEXT --agreement-en TEXT
//
//   --program       the demo program; padded to the size of each program row
//   --sheets        the glyph sheets made by glyphsheet, copied as they are
//   --msi           the speech component's package made by wixl, copied
//   --agreement-zh  the Chinese agreement in UTF-8; stored GB2312 with CR LF
//   --agreement-en  the English agreement in ASCII; stored with CR LF
//
// Files whose content is unchanged are not rewritten, so a rebuild of the
// tools does not make the packer's outputs look new.
#include "../payload/capacities.h"
#include "democontent.h"
#include "hostfiles.h"
#include "payloadlist.h"

#include <iconv.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// What a file holds, from the content field of the payload list.
enum Kind { kText, kHtml, kBitmap, kPng, kData, kProgram, kSheets, kConfig, kAgreementZh, kAgreementEn, kSpeech };

struct Recipe {
    std::string name;
    size_t size;  // 0: whatever the source gives
    Kind kind;
};

static const struct {
    const char *content;
    Kind kind;
} kKinds[] = {
    {"text", kText},       {"html", kHtml},       {"bitmap", kBitmap},           {"png", kPng},
    {"data", kData},       {"program", kProgram}, {"sheets", kSheets},           {"config", kConfig},
    {"agreement-zh", kAgreementZh},               {"agreement-en", kAgreementEn}, {"speech", kSpeech},
};

static const size_t kAgreementTextLimit = kAgreementCapacity - 1;  // the last byte is the terminator

// The files that other build steps make.
struct Sources {
    std::string program, sheets, msi, agreementZh, agreementEn;
};


// Converts UTF-8 text to charset; returns 0 when a character has no code
// there (the tool must never store a '?' in place of a character).
static int ConvertText(const std::string &utf8, const char *charset, std::string &out)
{
    iconv_t converter = iconv_open(charset, "UTF-8");
    int result = 0;
    if (converter == (iconv_t)-1)
        return 0;
    std::vector<char> buffer(utf8.size() * 2 + 16);
    char *in = const_cast<char *>(utf8.data());
    char *outPointer = buffer.data();
    size_t inLeft = utf8.size(), outLeft = buffer.size();
    if (iconv(converter, &in, &inLeft, &outPointer, &outLeft) != (size_t)-1 && inLeft == 0) {
        out.assign(buffer.data(), buffer.size() - outLeft);
        result = 1;
    }
    iconv_close(converter);
    return result;
}

// Splits text into lines at LF, dropping a CR before it; a final line
// without LF counts as a line.
static std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

/*
 * The programs' configuration file: a [UI_STR] section of interface strings,
 * each text as an "_En" and a "_Cn" (GBK) line, and then the [Config]
 * section with "UseBmpFont=0" and one empty line, which the installer
 * rewrites in place and extends with "ForceLanguage=". No line reaches 255
 * characters, since the installer reads lines through a 256-byte buffer, and
 * no string contains "UseBmpFont=", "ForceLanguage=" or "[Config]", which the
 * installer looks for anywhere on a line.
 */
struct UiText {
    const char *key, *english, *chinese;
};

static const UiText kMenuTexts[] = {
    {"Menu_File", "File", "文件"},           {"Menu_Edit", "Edit", "编辑"},
    {"Menu_View", "View", "查看"},           {"Menu_Insert", "Insert", "插入"},
    {"Menu_Format", "Format", "格式"},       {"Menu_Tools", "Tools", "工具"},
    {"Menu_Window", "Window", "窗口"},       {"Menu_Help", "Help", "帮助"},
    {"Menu_New", "New", "新建"},             {"Menu_Open", "Open...", "打开..."},
    {"Menu_Save", "Save", "保存"},           {"Menu_SaveAs", "Save As...", "另存为..."},
    {"Menu_Close", "Close", "关闭"},         {"Menu_Print", "Print...", "打印..."},
    {"Menu_Preview", "Print Preview", "打印预览"}, {"Menu_PageSetup", "Page Setup...", "页面设置..."},
    {"Menu_Exit", "Exit", "退出"},           {"Menu_Undo", "Undo", "撤消"},
    {"Menu_Redo", "Redo", "重做"},           {"Menu_Cut", "Cut", "剪切"},
    {"Menu_Copy", "Copy", "复制"},           {"Menu_Paste", "Paste", "粘贴"},
    {"Menu_SelectAll", "Select All", "全选"}, {"Menu_Find", "Find...", "查找..."},
    {"Menu_Replace", "Replace...", "替换..."}, {"Menu_Font", "Font...", "字体..."},
    {"Menu_Paragraph", "Paragraph...", "段落..."}, {"Menu_Options", "Options...", "选项..."},
    {"Menu_WordBase", "Word Base", "词库"},  {"Menu_UserPhrases", "User Phrases", "用户词组"},
    {"Menu_InputMode", "Input Mode", "输入方式"}, {"Menu_Pinyin", "Pinyin", "拼音"},
    {"Menu_Stroke", "Strokes", "笔画"},      {"Menu_Simplified", "Simplified Chinese", "简体中文"},
    {"Menu_Traditional", "Traditional Chinese", "繁体中文"}, {"Menu_Toolbar", "Toolbar", "工具栏"},
    {"Menu_StatusBar", "Status Bar", "状态栏"}, {"Menu_Contents", "Help Contents", "帮助目录"},
    {"Menu_About", "About", "关于"},         {"Btn_OK", "OK", "确定"},
    {"Btn_Cancel", "Cancel", "取消"},        {"Btn_Yes", "Yes", "是"},
    {"Btn_No", "No", "否"},                  {"Btn_Apply", "Apply", "应用"},
    {"Btn_Browse", "Browse...", "浏览..."},  {"Btn_Default", "Default", "默认"},
};

static const UiText kVerbs[] = {
    {"Open", "Open", "打开"},     {"Save", "Save", "保存"},       {"Close", "Close", "关闭"},
    {"Print", "Print", "打印"},   {"Copy", "Copy", "复制"},       {"Delete", "Delete", "删除"},
    {"Insert", "Insert", "插入"}, {"Find", "Find", "查找"},       {"Export", "Export", "导出"},
    {"Import", "Import", "导入"}, {"Show", "Show", "显示"},       {"Hide", "Hide", "隐藏"},
    {"Update", "Update", "更新"}, {"Select", "Select", "选择"},   {"Rename", "Rename", "重命名"},
};

static const UiText kObjects[] = {
    {"Doc", "document", "文档"},          {"File", "file", "文件"},
    {"WordBase", "word base", "词库"},    {"Dict", "dictionary", "词典"},
    {"Para", "paragraph", "段落"},        {"Table", "table", "表格"},
    {"Pic", "picture", "图片"},           {"KeyMap", "keyboard map", "键盘图"},
    {"Toolbar", "toolbar", "工具栏"},     {"StatusBar", "status bar", "状态栏"},
    {"Phrase", "user phrase", "用户词组"}, {"Template", "template", "模板"},
    {"Bookmark", "bookmark", "书签"},     {"Note", "note", "笔记"},
    {"Folder", "folder", "文件夹"},       {"HelpPage", "help page", "帮助页"},
    {"Font", "font", "字体"},             {"Style", "style", "样式"},
    {"PageSetup", "page setup", "页面设置"}, {"Selection", "selection", "选定内容"},
};

static std::string LowerFirst(const char *text)
{
    std::string lower = text;
    if (!lower.empty())
        lower[0] = (char)std::tolower((unsigned char)lower[0]);
    return lower;
}

// The interface strings in UTF-8, in a fixed order: menus and buttons, then
// a tip and an error message for every verb and object.
static std::vector<std::string> UiStringLines()
{
    std::vector<std::string> lines;
    for (const UiText &t : kMenuTexts) {
        lines.push_back(std::string(t.key) + "_En=" + t.english);
        lines.push_back(std::string(t.key) + "_Cn=" + t.chinese);
    }
    for (const UiText &object : kObjects) {
        for (const UiText &verb : kVerbs) {
            std::string key = std::string(verb.key) + "_" + object.key;
            lines.push_back("Tip_" + key + "_En=" + verb.english + " the " + object.english);
            lines.push_back("Tip_" + key + "_Cn=" + verb.chinese + object.chinese);
            lines.push_back("Err_" + key + "_En=Cannot " + LowerFirst(verb.english) + " the " + object.english + ".");
            lines.push_back("Err_" + key + "_Cn=无法" + verb.chinese + object.chinese + "。");
        }
    }
    return lines;
}

static int MakeConfigFile(size_t configSize, std::string &out, std::string &error)
{
    const std::string head = "[UI_STR]\r\n";
    const std::string tail = "[Config]\r\nUseBmpFont=0\r\n\r\n";
    const std::string noteKey = "Build_Note_En=";
    const size_t shortestNote = noteKey.size() + 8;
    const char *noteText = "This is a demo build; the strings above are samples of the interface texts. ";
    out = head;
    for (const std::string &utf8 : UiStringLines()) {
        std::string line;
        if (!ConvertText(utf8 + "\r\n", "GBK", line)) {
            error = "vevedaro.ini: no GBK code for a character of \"" + utf8 + "\"";
            return 0;
        }
        if (out.size() + line.size() + shortestNote + tail.size() > configSize)
            break;
        out += line;
    }
    // One note line takes up the rest, cut to fit exactly.
    size_t room = configSize - out.size() - tail.size();
    if (room < shortestNote || room - 2 > 254) {
        error = "vevedaro.ini: cannot reach the size of " + std::to_string(configSize) + " bytes";
        return 0;
    }
    std::string note = noteKey;
    while (note.size() < room - 2)
        note += noteText;
    note.resize(room - 2);
    if (note.back() == ' ')
        note.back() = '.';
    out += note + "\r\n" + tail;
    return 1;
}

// The Chinese agreement is shown line by line in a list box whose items the
// installer draws from its glyph sheets, which hold GB2312 symbol rows
// 0xA1..0xA5 and 0xA7 and the GB2312 ideographs: any other character would
// show as a wrong glyph. Every line, the last included, ends with CR LF,
// since the installer drops text after the last CR.
static int MakeChineseAgreement(const std::string &utf8, std::string &out, std::string &error)
{
    std::vector<std::string> lines = SplitLines(utf8);
    out.clear();
    if (lines.size() > (size_t)kAgreementLineLimit) {
        error = std::to_string(lines.size()) + " lines, more than the " + std::to_string(kAgreementLineLimit) +
                " that the agreement list shows";
        return 0;
    }
    for (size_t i = 0; i < lines.size(); i++) {
        std::string where = "line " + std::to_string(i + 1) + ": ";
        std::string converted;
        if (!ConvertText(lines[i], "GB2312", converted)) {
            error = where + "a character outside GB2312";
            return 0;
        }
        for (size_t j = 0; j < converted.size(); j++) {
            unsigned char lead = (unsigned char)converted[j];
            if (lead < 0x80)
                continue;
            bool drawn = (lead >= 0xA1 && lead <= 0xA5) || lead == 0xA7 || (lead >= 0xB0 && lead <= 0xF7);
            if (!drawn) {
                error = where + "a symbol of GB2312 row 0x" + std::to_string(lead - 0xA0) +
                        " that the glyph sheets do not hold";
                return 0;
            }
            j++;
        }
        if (converted.size() > (kListItemCapacity - 1)) {
            error = where + "longer than " + std::to_string((kListItemCapacity - 1)) + " bytes";
            return 0;
        }
        out += converted + "\r\n";
    }
    if (out.size() > kAgreementTextLimit) {
        error = std::to_string(out.size()) + " bytes, over the limit of " + std::to_string(kAgreementTextLimit);
        return 0;
    }
    return 1;
}

// The English agreement goes into an edit box with WM_SETTEXT: ASCII, and
// CR LF, the only line end a multi-line edit control breaks at.
static int MakeEnglishAgreement(const std::string &text, std::string &out, std::string &error)
{
    std::vector<std::string> lines = SplitLines(text);
    out.clear();
    for (size_t i = 0; i < lines.size(); i++) {
        for (unsigned char c : lines[i]) {
            if (c >= 0x80 || (c < 0x20 && c != '\t')) {
                error = "line " + std::to_string(i + 1) + ": not plain ASCII";
                return 0;
            }
        }
        out += lines[i] + "\r\n";
    }
    if (out.size() > kAgreementTextLimit) {
        error = std::to_string(out.size()) + " bytes, over the limit of " + std::to_string(kAgreementTextLimit);
        return 0;
    }
    return 1;
}

// The recipe of a list entry; 0 when the entry does not say what it holds.
static int FindRecipe(const PayloadListEntry &entry, Recipe &recipe)
{
    for (const auto &known : kKinds)
        if (entry.described && entry.content == known.content) {
            recipe = Recipe{entry.fileName, entry.size < 0 ? 0 : (size_t)entry.size, known.kind};
            return 1;
        }
    return 0;
}

// Makes one file's content; returns 0 with a message in error.
static int MakeContent(const Recipe &recipe, const Sources &sources, const std::string &program,
                       std::string &data, std::string &error)
{
    std::string source;
    switch (recipe.kind) {
    case kText:
        data = MakeDemoText(recipe.name, recipe.size);
        return 1;
    case kHtml:
        data = MakeDemoHtml(recipe.name, recipe.size);
        return 1;
    case kBitmap:
        data = MakeDemoBitmap(recipe.name, recipe.size);
        return 1;
    case kPng:
        data = MakeDemoPng(recipe.name, recipe.size);
        return 1;
    case kData:
        data = MakeDemoData(recipe.name, recipe.size);
        return 1;
    case kConfig:
        return MakeConfigFile(recipe.size, data, error);
    case kProgram:
        if (program.size() > recipe.size) {
            error = "the demo program " + sources.program + " is " + std::to_string(program.size()) +
                    " bytes, more than the " + std::to_string(recipe.size) + " it must be padded to";
            return 0;
        }
        // The loader ignores what follows the image, so the padded file still runs.
        data = program + MakeProgramFiller(recipe.name, recipe.size - program.size());
        return 1;
    case kSheets:
        if (!ReadWholeFile(sources.sheets, data) || data.size() != kGlyphSheetsBytes) {
            error = sources.sheets + ": missing or not " + std::to_string(kGlyphSheetsBytes) + " bytes of glyph sheets";
            return 0;
        }
        return 1;
    case kSpeech:
        if (!ReadWholeFile(sources.msi, data) || data.size() < 8 ||
            std::memcmp(data.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) {
            error = sources.msi + ": missing or not an installer package (compound file)";
            return 0;
        }
        return 1;
    case kAgreementZh:
        if (!ReadWholeFile(sources.agreementZh, source)) {
            error = sources.agreementZh + ": cannot read";
            return 0;
        }
        if (!MakeChineseAgreement(source, data, error)) {
            error = sources.agreementZh + ": " + error;
            return 0;
        }
        return 1;
    case kAgreementEn:
        if (!ReadWholeFile(sources.agreementEn, source)) {
            error = sources.agreementEn + ": cannot read";
            return 0;
        }
        if (!MakeEnglishAgreement(source, data, error)) {
            error = sources.agreementEn + ": " + error;
            return 0;
        }
        return 1;
    }
    error = "unknown kind";
    return 0;
}

int main(int argc, char **argv)
{
    std::map<std::string, std::string> options;
    static const char *const kOptions[] = {"--list", "--out", "--program", "--sheets",
                                           "--msi", "--agreement-zh", "--agreement-en"};
    std::vector<PayloadListEntry> entries;
    std::string error, program;
    size_t total = 0;
    int written = 0;

    for (int i = 1; i + 1 < argc; i += 2)
        options[argv[i]] = argv[i + 1];
    bool usable = argc % 2 == 1 && options.size() == sizeof kOptions / sizeof *kOptions;
    for (const char *option : kOptions)
        usable = usable && options.count(option) == 1;
    if (!usable) {
        std::fprintf(stderr, "usage: demopayload --list LIST --out DIR --program EXE --sheets BIN --msi MSI\n"
                             "                   --agreement-zh UTF8TEXT --agreement-en TEXT\n");
        return 1;
    }
    Sources sources{options["--program"], options["--sheets"], options["--msi"], options["--agreement-zh"],
                    options["--agreement-en"]};
    fs::path outDir = options["--out"];

    if (!ReadPayloadList(options["--list"], entries, error)) {
        std::fprintf(stderr, "demopayload: %s\n", error.c_str());
        return 1;
    }
    if (!ReadWholeFile(sources.program, program) || program.size() < 2 || program.compare(0, 2, "MZ") != 0) {
        std::fprintf(stderr, "demopayload: %s: missing or not a program\n", sources.program.c_str());
        return 1;
    }
    std::error_code failure;
    fs::create_directories(outDir, failure);
    if (failure) {
        std::fprintf(stderr, "demopayload: %s: %s\n", outDir.string().c_str(), failure.message().c_str());
        return 1;
    }

    for (const PayloadListEntry &entry : entries) {
        Recipe recipe;
        std::string data;
        bool fileWritten = false;
        if (!FindRecipe(entry, recipe)) {
            std::fprintf(stderr, "demopayload: %s:%d: no demo content '%s' is known for '%s'\n",
                         options["--list"].c_str(), entry.line, entry.content.c_str(), entry.fileName.c_str());
            return 1;
        }
        if (!MakeContent(recipe, sources, program, data, error)) {
            std::fprintf(stderr, "demopayload: %s: %s\n", entry.fileName.c_str(), error.c_str());
            return 1;
        }
        if (recipe.size != 0 && data.size() != recipe.size) {
            std::fprintf(stderr, "demopayload: %s: made %zu bytes instead of %zu\n", entry.fileName.c_str(),
                         data.size(), recipe.size);
            return 1;
        }
        std::string path = (outDir / entry.fileName).string();
        if (!WriteIfChanged(path, data, fileWritten)) {
            std::fprintf(stderr, "demopayload: %s: cannot write\n", path.c_str());
            return 1;
        }
        total += data.size();
        written += fileWritten ? 1 : 0;
    }
    std::printf("demopayload: %zu files, %zu bytes, %d rewritten\n", entries.size(), total, written);
    return 0;
}

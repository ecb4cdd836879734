// The update of vevedaro.ini with the wizard's answers, checked byte for byte
// on the real file system, and the attribute handling around it. Runs as
// root and as an unprivileged user, for whom a read-only file cannot be
// opened for writing, as on Windows.

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <random>
#include <string>

#include "payload/payload.h"
#include "tests/driver/driver.h"
#include "wizard/wizard.h"

// This build's copy as extracted: interface strings, then the [Config]
// section (the demo payload's file ends the same way).
static const char kFreshCopy[] =
    "[UI_STR]\r\n"
    "Title=伦科编辑器 Lunko Editor\r\n"
    "Open=打开 Open\r\n"
    "\r\n"
    "[Config]\r\n"
    "UseBmpFont=0\r\n"
    "\r\n";
static const char kFreshCopyHead[] = "[UI_STR]\r\nTitle=伦科编辑器 Lunko Editor\r\nOpen=打开 Open\r\n\r\n";

static const DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

static std::string IniPath(void)
{
    return std::string(InstallFolderPath) + "\\vevedaro.ini";
}

// Every test works in an installation folder of its own.
static void NewInstallationFolder(void)
{
    static int serial;
    CreateDirectoryA("C:\\cfg", NULL);
    snprintf(InstallFolderPath, MAX_PATH, "C:\\cfg\\%d", ++serial);
    CreateDirectoryA(InstallFolderPath, NULL);
}

// Hidden goes before read-only: an unprivileged Wine process cannot add the
// hidden bit to a file that is already read-only.
static void SetAttributes(const std::string &path, DWORD attributes)
{
    SetFileAttributesA(path.c_str(), (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_ARCHIVE);
    SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_ARCHIVE);
}

static DWORD Attributes(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) & (kReadOnlyHidden | FILE_ATTRIBUTE_SYSTEM);
}

// Writes `content` as the install sequence leaves the file (read-only and
// hidden) into a fresh folder.
static void ExtractIni(const std::string &content)
{
    NewInstallationFolder();
    ASSERT_TRUE(WriteWholeFile(IniPath(), content));
    SetAttributes(IniPath(), kReadOnlyHidden);
}

static std::string IniBytes(void)
{
    return ReadFileText(IniPath());
}

static std::string Update(int chineseDisplayAnswer, UiLanguage language)
{
    ChineseDisplayAnswer = chineseDisplayAnswer;
    ChosenLanguage = language;
    UpdateConfigFile();
    return IniBytes();
}

static std::string UpdateOnce(const std::string &before, int chineseDisplayAnswer, UiLanguage language)
{
    ExtractIni(before);
    return Update(chineseDisplayAnswer, language);
}

// ---- this build's file ---------------------------------------------------

TEST(ConfigFileUpdate, FreshCopyGetsTheFontSettingInPlaceAndTheLanguageAppended)
{
    std::string after = UpdateOnce(kFreshCopy, 0, 2);
    EXPECT_EQ(after, std::string(kFreshCopyHead)
                     + "[Config]\r\nUseBmpFont=1\r\n\r\n\r\nForceLanguage=2\r\n");
    // The Chinese above is GBK ("伦科" then "打开"), not the source's UTF-8.
    EXPECT_NE(after.find("Title=\xc2\xd7\xbf\xc6"), std::string::npos);
    EXPECT_NE(after.find("Open=\xb4\xf2\xbf\xaa Open\r\n"), std::string::npos);
    EXPECT_EQ(Attributes(IniPath()), kReadOnlyHidden);
}

TEST(ConfigFileUpdate, ShippedFileIsUpdatedTheSameWay)
{
    std::string before = ReadFileText(PayloadFilePath("vevedaro.ini"));
    if (TestSetting("LUNKO_PAYLOAD_FILES").empty() || before.empty())
        GTEST_SKIP() << "no payload files in this build";
    const std::string tail = "[Config]\r\nUseBmpFont=0\r\n\r\n";
    ASSERT_GE(before.size(), tail.size());
    ASSERT_EQ(before.substr(before.size() - tail.size()), tail);

    std::string head = before.substr(0, before.size() - tail.size());
    EXPECT_EQ(UpdateOnce(before, 0, 0), head + "[Config]\r\nUseBmpFont=1\r\n\r\n\r\nForceLanguage=0\r\n");
}

TEST(ConfigFileUpdate, SecondRunWithAnswer1OverwritesBothSettingsInPlaceAndAppendsNothing)
{
    UpdateOnce(kFreshCopy, 0, 2);
    EXPECT_EQ(Update(1, 0),
              std::string(kFreshCopyHead) + "[Config]\r\nUseBmpFont=0\r\n\r\n\r\nForceLanguage=0\r\n");
    EXPECT_EQ(Attributes(IniPath()), kReadOnlyHidden);
}

TEST(ConfigFileUpdate, EmptyFileGetsTheSectionAndBothSettings)
{
    EXPECT_EQ(UpdateOnce("", 0, 2),
              "\r\n\r\n[Config]\r\n\r\n\r\nUseBmpFont=1\r\n\r\nForceLanguage=2\r\n");
}

TEST(ConfigFileUpdate, ExistingLanguageSettingIsOverwrittenNotAppended)
{
    EXPECT_EQ(UpdateOnce("[Config]\r\nUseBmpFont=0\r\nForceLanguage=1\r\n", 1, 0),
              "[Config]\r\nUseBmpFont=0\r\nForceLanguage=0\r\n");
}

TEST(ConfigFileUpdate, MissingFileIsNotCreated)
{
    NewInstallationFolder();
    ChineseDisplayAnswer = 0;
    ChosenLanguage = 2;
    UpdateConfigFile();
    EXPECT_EQ(GetFileAttributesA(IniPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ConfigFileUpdate, InstallationFolderTooLongForThePathIsRefusedNotCut)
{
    // Folder + "\vevedaro.ini" is 260 characters, one more than MAX_PATH
    // holds; cut short it would name the file "vevedaro.in" beside it.
    CreateDirectoryA("C:\\cfg", NULL);
    std::string folder = "C:\\cfg\\" + std::string(MAX_PATH - 13 - 7, 'f');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    std::string neighbour = folder + "\\vevedaro.in";
    ASSERT_TRUE(WriteWholeFile(neighbour, "[Config]\r\nUseBmpFont=0\r\n"));

    lstrcpyA(InstallFolderPath, folder.c_str());
    ChineseDisplayAnswer = 0;
    ChosenLanguage = 2;
    UpdateConfigFile();
    EXPECT_EQ(ReadFileText(neighbour), "[Config]\r\nUseBmpFont=0\r\n");
    EXPECT_EQ(Attributes(neighbour), 0u);
}

// ---- lines that are not as this build writes them --------------------------

TEST(ConfigFileUpdate, KeyLineOfAnotherLengthChangesAloneAndKeepsItsLineEnd)
{
    // Longer: the rest of the line goes. Shorter: the line grows, the
    // file after it moves along, and the last line keeps having no end.
    EXPECT_EQ(UpdateOnce("[Config]\r\nUseBmpFont=0 ; bitmap font\r\nForceLanguage=12\r\nAfter=1\r\n", 0, 2),
              "[Config]\r\nUseBmpFont=1\r\nForceLanguage=2\r\nAfter=1\r\n");
    EXPECT_EQ(UpdateOnce("[Config]\r\nForceLanguage=\r\nAfter=1\r\nUseBmpFont=", 0, 2),
              "[Config]\r\nForceLanguage=2\r\nAfter=1\r\nUseBmpFont=1");
}

TEST(ConfigFileUpdate, LinesAfterAChangedLineAreMovedByteForByte)
{
    // Text mode would turn the lone line feed into CR LF and stop reading
    // at the Ctrl-Z; the file must keep both.
    EXPECT_EQ(UpdateOnce("[Config]\r\nUseBmpFont=\r\nForceLanguage=\r\nlone\nfeed\r\nctrl\x1a-z\r\nend", 0, 2),
              "[Config]\r\nUseBmpFont=1\r\nForceLanguage=2\r\nlone\nfeed\r\nctrl\x1a-z\r\nend");
    EXPECT_EQ(UpdateOnce("[Config]\r\nUseBmpFont=0000\r\nForceLanguage=2222\r\nlone\nfeed\r\nend", 0, 2),
              "[Config]\r\nUseBmpFont=1\r\nForceLanguage=2\r\nlone\nfeed\r\nend");
}

TEST(ConfigFileUpdate, KeyAnywhereInALineMakesTheWholeLineTheSetting)
{
    EXPECT_EQ(UpdateOnce("[Config]\r\n  UseBmpFont=0\r\n;ForceLanguage=1\r\nAfter\r\n", 0, 2),
              "[Config]\r\nUseBmpFont=1\r\nForceLanguage=2\r\nAfter\r\n");
}

TEST(ConfigFileUpdate, LineHoldingBothKeysKeepsTheFontSettingAndTheLanguageIsAppended)
{
    EXPECT_EQ(UpdateOnce("[Config]\r\nUseBmpFont=0 ForceLanguage=1\r\nAfter\r\n", 0, 2),
              "[Config]\r\nUseBmpFont=1\r\nAfter\r\n\r\nForceLanguage=2\r\n");
}

TEST(ConfigFileUpdate, SettingsBeforeAnyHeaderGetTheHeaderAppendedOnceAtTheEnd)
{
    const char before[] = "UseBmpFont=0\r\nForceLanguage=1\r\n[UI_STR]\r\nA=1\r\n";
    EXPECT_EQ(UpdateOnce(before, 0, 2),
              "UseBmpFont=1\r\nForceLanguage=2\r\n[UI_STR]\r\nA=1\r\n\r\n\r\n[Config]\r\n\r\n");
    EXPECT_EQ(Update(1, 0),
              "UseBmpFont=0\r\nForceLanguage=0\r\n[UI_STR]\r\nA=1\r\n\r\n\r\n[Config]\r\n\r\n");
}

TEST(ConfigFileUpdate, SettingsBeforeAHeaderFurtherDownGetNoSecondHeader)
{
    EXPECT_EQ(UpdateOnce("UseBmpFont=0\r\nForceLanguage=1\r\nA=1\r\n[Config]\r\nB=2\r\n", 0, 2),
              "UseBmpFont=1\r\nForceLanguage=2\r\nA=1\r\n[Config]\r\nB=2\r\n");
}

// ---- lines longer than the 255 characters one read takes -----------------

TEST(ConfigFileUpdate, LinesLongerThanOneReadPassUnchanged)
{
    std::string head = "[UI_STR]\r\n";
    for (size_t length : { 254, 255, 256, 300, 511, 600 })
        head += "L=" + std::string(length - 2, 'a') + "\r\n";
    // A long line of two-byte characters, split by the reads between bytes.
    std::string chinese;
    for (int i = 0; i < 150; ++i)
        chinese += "汉";
    head += "C=" + chinese + "\r\n";
    EXPECT_EQ(UpdateOnce(head + "[Config]\r\nUseBmpFont=0\r\n", 0, 1),
              head + "[Config]\r\nUseBmpFont=1\r\n\r\nForceLanguage=1\r\n");
}

TEST(ConfigFileUpdate, KeyInALongLineReplacesThe255CharacterPieceItWasReadIn)
{
    // First piece: the key at its start; the line's last 47 characters and
    // its line end were read later and stay.
    std::string first = "UseBmpFont=0" + std::string(290, 'y');
    // Second piece: characters 255 on, holding the key.
    std::string second = std::string(260, 'x') + "ForceLanguage=1";
    EXPECT_EQ(UpdateOnce("[Config]\r\n" + first + "\r\n" + second + "\r\nAfter\r\n", 0, 2),
              "[Config]\r\nUseBmpFont=1" + std::string(47, 'y') + "\r\n" + std::string(255, 'x')
              + "ForceLanguage=2\r\nAfter\r\n");
}

// ---- random files ----------------------------------------------------------

// Lone CRs and LFs, CR LF pairs, Ctrl-Z, NUL bytes, GBK bytes, runs longer
// than one read, and the header and keys in odd places. Nothing here holds
// a "1" or a "2", so every "UseBmpFont=1" and "ForceLanguage=2" found after
// the update is one the update wrote.
static std::string RandomIni(std::mt19937 &random)
{
    static const std::string kPieces[] = {
        "\r\n", "\r", "\n", "\x1a", std::string(1, '\0'), "[Config]", "UseBmpFont=", "ForceLanguage=",
        "UseBmpFont=0", "[UI_STR]", "=", " ", "a", "\xb0\xa1", "\r\n\r\n",
    };
    std::string text;
    for (int n = (int)(random() % 40); n > 0; n--) {
        if (random() % 12 == 0)
            text += std::string(200 + random() % 400, 'a' + random() % 3);
        else
            text += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
    }
    return text;
}

// Whether before[at..] matches the body's parts from `part` on: the text
// between settings kept byte for byte, and each setting written over a
// piece of a line that holds the setting's key and ends before the line
// feed or NUL that ends what the update reads of the line.
static bool MatchesFrom(const std::string &before, size_t at, const std::vector<std::string> &kept,
                        const std::vector<std::string> &settings, size_t part)
{
    if (before.compare(at, kept[part].size(), kept[part]) != 0)
        return false;
    at += kept[part].size();
    if (part == settings.size())
        return at == before.size();
    std::string key = settings[part].substr(0, settings[part].find('=') + 1);
    size_t lineEnd = std::min(before.find_first_of(std::string("\n\0", 2), at), before.size());
    size_t keyAt = before.find(key, at);
    if (keyAt == std::string::npos || keyAt + key.size() > lineEnd)
        return false;
    for (size_t to = keyAt + key.size(); to <= lineEnd; to++)
        if (MatchesFrom(before, to, kept, settings, part + 1))
            return true;
    return false;
}

// Whether `after` is `before` with pieces of lines holding a key written
// over by that key's setting, and with each setting found nowhere appended
// at the end, after the header when the file had none.
static bool OnlyTheSettingsChanged(const std::string &before, const std::string &after,
                                   const std::string &font, const std::string &language)
{
    const std::string header = "\r\n\r\n[Config]\r\n\r\n";
    for (int appended = 0; appended < 8; appended++) {
        std::string tail = (appended & 1 ? header : "") + (appended & 2 ? "\r\n" + font + "\r\n" : "")
                           + (appended & 4 ? "\r\n" + language + "\r\n" : "");
        if (after.size() < tail.size() || after.compare(after.size() - tail.size(), tail.size(), tail) != 0)
            continue;
        if (!(appended & 1) && before.find("[Config]") == std::string::npos)
            continue;
        std::string body = after.substr(0, after.size() - tail.size());
        if ((body.find(font) == std::string::npos) != ((appended & 2) != 0)
            || (body.find(language) == std::string::npos) != ((appended & 4) != 0))
            continue;
        std::vector<std::string> kept, settings;
        size_t at = 0;
        for (;;) {
            size_t f = body.find(font, at), l = body.find(language, at);
            size_t next = std::min(f, l);
            kept.push_back(body.substr(at, next == std::string::npos ? std::string::npos : next - at));
            if (next == std::string::npos)
                break;
            settings.push_back(next == f ? font : language);
            at = next + settings.back().size();
        }
        if (MatchesFrom(before, 0, kept, settings, 0))
            return true;
    }
    return false;
}

TEST(ConfigFileUpdate, RandomFilesKeepEveryByteOutsideTheSettingsLines)
{
    std::mt19937 random(10);
    int failures = 0;
    for (int round = 0; round < 500 && failures < 5; round++) {
        std::string before = RandomIni(random);
        std::string after = UpdateOnce(before, 0, 2);
        if (!OnlyTheSettingsChanged(before, after, "UseBmpFont=1", "ForceLanguage=2")) {
            ADD_FAILURE() << "bytes outside the settings' lines changed\n  before \"" << Printable(before)
                          << "\"\n  after  \"" << Printable(after) << "\"";
            failures++;
        }
    }
}

// ---- attributes ----------------------------------------------------------

TEST(ConfigFileAttributes, FileEndsReadOnlyAndHiddenKeepingItsOtherAttributes)
{
    ExtractIni(kFreshCopy);
    SetAttributes(IniPath(), kReadOnlyHidden | FILE_ATTRIBUTE_SYSTEM);
    Update(0, 2);
    EXPECT_EQ(Attributes(IniPath()), kReadOnlyHidden | FILE_ATTRIBUTE_SYSTEM);
}

TEST(ConfigFileAttributes, UpdatedFileCannotBeOpenedForWritingByAnUnprivilegedUser)
{
    if (TestSetting("LUNKO_USER").empty())
        GTEST_SKIP() << "as root Wine lets every file be written";
    std::string after = UpdateOnce(kFreshCopy, 0, 2);
    EXPECT_NE(after.find("ForceLanguage=2"), std::string::npos);
    FILE *file = fopen(IniPath().c_str(), "r+");
    EXPECT_EQ(file, nullptr);
    if (file)
        fclose(file);
}

TEST(ClearFileAttributes, ClearsOnlyTheAttributesAskedFor)
{
    ExtractIni("");
    const std::string path = IniPath();
    const DWORD all = kReadOnlyHidden | FILE_ATTRIBUTE_SYSTEM;

    SetAttributes(path, all);
    ClearFileAttributes(path.c_str(), 1, 0);
    EXPECT_EQ(Attributes(path), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    // An unprivileged Wine process cannot change the hidden bit of a file
    // that stays read-only (the bit lives in an extended attribute).
    if (TestSetting("LUNKO_USER").empty()) {
        SetAttributes(path, all);
        ClearFileAttributes(path.c_str(), 0, 1);
        EXPECT_EQ(Attributes(path), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    }
    SetAttributes(path, all);
    ClearFileAttributes(path.c_str(), 1, 1);
    EXPECT_EQ(Attributes(path), (DWORD)FILE_ATTRIBUTE_SYSTEM);

    std::string missing = std::string(InstallFolderPath) + "\\missing.bin";
    ClearFileAttributes(missing.c_str(), 1, 1);
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

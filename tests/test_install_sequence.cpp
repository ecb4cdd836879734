// The install sequence run for real: the wizard dialog of the installer's
// own template (so the progress bar exists), the whole catalogue of the
// build's payload, and every notice and question answered through the real
// message box from a second thread.

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <sddl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "payload/catalogue.h"
#include "payload/payload.h"
#include "render/render.h"
#include "resources/ids.h"
#include "shell/shell.h"
#include "tests/driver/driver.h"
#include "tests/test_shortcuts_support.h"
#include "wizard/wizard.h"

typedef std::vector<unsigned char> Bytes;

static const DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
static const int kAllPositions[] = { 10, 15, 20, 25, 30, 35, 45, 50, 55, 65, 70, 90, 94, 97, 100 };
// Rows (counted from 1) of the word base that a user may keep.
static const int kWordBaseRows[] = { 25, 98, 99, 100 };
static const char kEditorClass[] = "LKOEditor.Document";

static std::vector<int> positions;               // what the progress bar was told, in order
static WNDPROC barProcedure;

static LRESULT CALLBACK RecordPositions(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS)
        positions.push_back((int)wParam);
    return CallWindowProcA(barProcedure, bar, message, wParam, lParam);
}

static std::string ShellFolder(int kind)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, path, kind, FALSE);
    return path;
}

class InstallSequence : public testing::Test {
protected:
    std::string folder;
    std::vector<SeenNotice> notices;
    HANDLE held = INVALID_HANDLE_VALUE;
    HANDLE mapping = NULL;
    void *view = NULL;

    static void SetUpTestSuite()
    {
        ModuleInstance = GetModuleHandleA(NULL);
        Bytes sheets = ReadWholeFile(PayloadFilePath("ChnBmp.bin"));
        ASSERT_EQ((size_t)kGlyphSheetsBytes, sheets.size());
        ASSERT_TRUE(LoadGlyphSheets(sheets.data()));
        InitCommonControls();
        WizardWindow = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_WIZARD), NULL,
                                          WizardDialogProc, 0);
        ASSERT_TRUE(WizardWindow != NULL);
        barProcedure = (WNDPROC)SetWindowLongA(GetDlgItem(WizardWindow, IDC_PROGRESS), GWL_WNDPROC,
                                               (LONG)RecordPositions);
    }

    void SetUp() override
    {
        folder = std::string("C:\\seq-") + testing::UnitTest::GetInstance()->current_test_info()->name();
        MakeFolders(folder);
        lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);
        DesktopIconChoice = 1;
        DocumentRegistration = 0;
        SystemLanguage = 0;
        ChosenLanguage = 2;
        ChineseDisplayAnswer = 1;
        ShowWindow(GetDlgItem(WizardWindow, IDC_PROGRESS), SW_HIDE);
    }

    void TearDown() override { Release(); }

    int Run(int questionAnswer = IDYES)
    {
        positions.clear();
        StartNoticeWatch(questionAnswer);
        int result = RunInstallSequence();
        notices = StopNoticeWatch();
        return result;
    }

    std::string Path(const char *name) const { return folder + "\\" + name; }
    std::string RowPath(int row) const { return Path(PayloadCatalogue[row - 1].fileName); }

    // Holds a file open without sharing, as a running program would.
    void Hold(const std::string &path)
    {
        held = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_ALWAYS, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << path;
    }
    // Holds a file open and mapped into memory, sharing reading and writing,
    // as the pinyin server holds its index.
    void HoldMapped(const std::string &path)
    {
        held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << path;
        mapping = CreateFileMappingA(held, NULL, PAGE_READONLY, 0, 0, NULL);
        view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : NULL;
        ASSERT_TRUE(view != NULL) << path;
    }
    void Release()
    {
        if (view)
            UnmapViewOfFile(view);
        if (mapping)
            CloseHandle(mapping);
        view = mapping = NULL;
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }

    static void Plant(const std::string &path, const std::string &content, DWORD attributes = 0)
    {
        ASSERT_TRUE(PlantFile(path, content, attributes)) << path;
    }

    void ExpectInstalled(int row) const { EXPECT_TRUE(InstalledAsCatalogueSays(folder, row)); }
    void ExpectAllInstalledBut(std::vector<int> skipped = {}) const
    {
        // Row 11, the configuration file, is changed by the update that
        // follows the extraction; its own checks look at the settings.
        skipped.push_back(11);
        for (int row = 1; row <= kCatalogueRowCount; row++)
            if (std::find(skipped.begin(), skipped.end(), row) == skipped.end())
                ExpectInstalled(row);
    }
    void ExpectNoQuestion() const
    {
        for (const SeenNotice &notice : notices)
            EXPECT_FALSE(notice.question) << notice.english;
    }
    int QuestionsAsked() const
    {
        int count = 0;
        for (const SeenNotice &notice : notices)
            count += notice.question;
        return count;
    }
    std::string ConfigText() const
    {
        return ReadFileText(Path("vevedaro.ini"));
    }

    static std::string GroupFolder(int language = 0)
    {
        return ShellFolder(CSIDL_PROGRAMS) + "\\" + kShortcutNames[language].group;
    }
    static std::string DesktopLink(const char *name)
    {
        return ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\" + name + ".lnk";
    }
    // No shortcut and no document class left from an earlier case.
    static void ForgetShellTraces(int language = 0)
    {
        const ShortcutNames &names = kShortcutNames[language];
        for (const std::string &link : FilesIn(GroupFolder(language), "*.lnk"))
            DeleteFileA((GroupFolder(language) + "\\" + link).c_str());
        RemoveDirectoryA(GroupFolder(language).c_str());
        DeleteFileA(DesktopLink(names.group).c_str());
        DeleteFileA(DesktopLink(names.notes).c_str());
        SHDeleteKeyA(HKEY_CLASSES_ROOT, kEditorClass);
    }
    static std::vector<std::string> SortedLinks(const std::string &folder)
    {
        std::vector<std::string> links = FilesIn(folder, "*.lnk");
        std::sort(links.begin(), links.end());
        return links;
    }
    static std::vector<std::string> GroupLinks(int language)
    {
        std::vector<std::string> links = { std::string(kShortcutNames[language].group) + ".lnk",
                                           std::string(kShortcutNames[language].uninstaller) + ".lnk" };
        std::sort(links.begin(), links.end());
        return links;
    }
    static bool ClassRegistered()
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kEditorClass, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
};

TEST_F(InstallSequence, InstallsTheWholeCatalogueIntoAFreshFolder)
{
    ForgetShellTraces();
    DocumentRegistration = 1;
    ASSERT_EQ(1, Run());

    ExpectAllInstalledBut();
    EXPECT_EQ(std::vector<int>(std::begin(kAllPositions), std::end(kAllPositions)), positions);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(WizardWindow, IDC_PROGRESS)));
    EXPECT_TRUE(notices.empty()) << notices.size() << " notices, the first: " << notices[0].english;

    std::string config = ConfigText();
    std::string tail = config.substr(config.size() > 60 ? config.size() - 60 : 0);
    EXPECT_NE(std::string::npos, tail.find("[Config]\r\nUseBmpFont=0\r\n")) << tail;
    EXPECT_EQ(tail.size() - 17, tail.rfind("ForceLanguage=2\r\n")) << tail;

    const ShortcutNames &names = kShortcutNames[0];
    EXPECT_EQ(GroupLinks(0), SortedLinks(GroupFolder()));
    LinkFields editor = ReadLink(GroupFolder() + "\\" + names.group + ".lnk");
    EXPECT_EQ(Path("LKOEdit.exe"), editor.localPath) << editor.report;
    EXPECT_TRUE(FileExists(DesktopLink(names.group)));
    LinkFields notes = ReadLink(DesktopLink(names.notes));
    EXPECT_EQ(Path("Tavelorn.exe"), notes.localPath) << notes.report;
    EXPECT_TRUE(ClassRegistered());
}

TEST_F(InstallSequence, ReplacesAWholeEarlierInstallationAndItsLeftoverDictionaries)
{
    ASSERT_EQ(1, Run());
    std::string firstConfig = ConfigText();

    // Numbered variants of four dictionaries from older versions, some
    // read-only and hidden, and files that only look like them.
    static const char *const kDictionaries[] = { "pykeys.dic", "Gbkflat.dic", "flatAuto.dic",
                                                 "flatAdjust.dic" };
    std::vector<std::string> variants;
    for (int count = 0; count < 16; count++) {
        char suffix[8] = "";
        if (count)
            snprintf(suffix, sizeof suffix, "%d%d%d%d", count >> 3 & 1, count >> 2 & 1, count >> 1 & 1,
                     count & 1);
        for (const char *name : kDictionaries)
            variants.push_back(Path(name) + suffix);
    }
    for (size_t i = 0; i < variants.size(); i++)
        if (!FileExists(variants[i]))
            Plant(variants[i], "old variant", i % 3 ? kReadOnlyHidden : 0);
    const char *const lookAlikes[] = { "flatAuto.dic2", "flatAuto.dic10100", "flatAuto.dic1020",
                                       "myflatAuto.dic", "flatAdjust.dic1010.bak", "pykeys.dic.old" };
    for (const char *name : lookAlikes)
        Plant(Path(name), "look-alike", kReadOnlyHidden);

    // The first run left a word base of this build behind: replacing it
    // is the user's to decide, and the answer here is Yes.
    ASSERT_EQ(1, Run(IDYES));
    ExpectAllInstalledBut();
    for (size_t i = 0; i < variants.size(); i++) {
        // pykeys.dic and gbkflat.dic come back as rows of the catalogue.
        if (i == 0 || i == 1)
            continue;
        EXPECT_FALSE(FileExists(variants[i])) << variants[i];
    }
    for (const char *name : lookAlikes)
        EXPECT_TRUE(FileExists(Path(name))) << name;
    EXPECT_EQ(firstConfig, ConfigText()) << "the settings are updated in place, not appended again";
}

// The word base: CiZuFlat.igb and the index whose first byte marks an old
// generation (bit 7), and what becomes of the four files it consists of:
// all old or all new, and success only where the base is as the user chose.
struct WordBaseCase {
    const char *name;
    bool flatPresent;       // CiZuFlat.igb in the folder
    int indexFirstByte;     // -1: no pycizudic.idx, -2: an empty one
    int heldRow;            // the row whose file another program holds open, or 0
    int answer;             // to the question, if asked
    bool asked;
    int result;
    bool kept;              // the four files keep their old bytes
    DWORD attributes = 0;   // of the old files
    bool mapped = false;    // the held file is also mapped, shared for reading and writing
    bool smallDrive = false;    // on drive D, too small for the new base: only in its own run
};

static const WordBaseCase kWordBaseCases[] = {
    { "old base, user keeps it", true, 0x80, 0, IDNO, true, 1, true },
    { "old base, user replaces it", true, 0xFF, 0, IDYES, true, 1, false },
    { "old base read-only and hidden, replaced", true, 0x80, 0, IDYES, true, 1, false, kReadOnlyHidden },
    { "read-only base, replaced", true, 0xFF, 0, IDYES, true, 1, false, FILE_ATTRIBUTE_READONLY },
    { "new-generation index", true, 0x7F, 0, IDNO, false, 1, false },
    { "no CiZuFlat.igb", false, 0x80, 0, IDNO, false, 1, false },
    { "no index", true, -1, 0, IDNO, false, 1, false },
    { "empty index", true, -2, 0, IDNO, false, 1, false },
    // An index that cannot be read is in use, not absent: the user is
    // asked rather than have the word base overwritten unasked.
    { "index in use, user keeps it", true, 0x7F, 99, IDNO, true, 1, true },
    // A base that cannot be replaced whole is not touched, and neither is
    // anything else: the run stops before its first write.
    { "index in use, user replaces it", true, 0x7F, 99, IDYES, true, 0, true },
    { "last file in use, no question", true, 0x7F, 100, IDYES, false, 0, true },
    { "user's words in use, no question", true, 0x7F, 25, IDYES, false, 0, true },
    // Mapped, the index opens for writing and only its truncation fails.
    { "index mapped, user replaces it", true, 0xFF, 99, IDYES, true, 0, true, 0, true },
    { "index mapped, user keeps it", true, 0xFF, 99, IDNO, true, 1, true, 0, true },
    { "optional file mapped, user replaces it", true, 0x80, 98, IDYES, true, 0, true, 0, true },
    { "read-only base, index mapped", true, 0x80, 99, IDYES, true, 0, true, FILE_ATTRIBUTE_READONLY, true },
    { "disk fills while the new base is written", true, 0x80, 0, IDYES, true, 0, true, 0, false, true },
};

TEST_F(InstallSequence, AsksBeforeReplacingAnOldWordBaseAndKeepsItOnNo)
{
    bool smallDriveRun = !TestSetting("LUNKO_SMALL_DRIVE").empty();
    if (smallDriveRun && !TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE").empty())
        GTEST_SKIP() << "no small drive here: " << TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE");
    for (const WordBaseCase &c : kWordBaseCases) {
        if (c.smallDrive != smallDriveRun)
            continue;
        SCOPED_TRACE(c.name);
        if (c.smallDrive) {
            folder = "D:\\wordbase";
            MakeFolders(folder);
            lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);
        }
        std::string old[4];
        for (int i = 0; i < 4; i++) {
            int row = kWordBaseRows[i];
            std::string path = RowPath(row);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
            old[i] = std::string("old word base ") + PayloadCatalogue[row - 1].fileName;
            if (row == 99) {
                if (c.indexFirstByte == -1)
                    continue;
                old[i] = c.indexFirstByte == -2 ? "" : std::string(1, (char)c.indexFirstByte) + old[i];
            }
            if (row == 25 && !c.flatPresent)
                continue;
            Plant(path, old[i], c.attributes);
        }
        // What a run that stops before its first write leaves alone.
        Plant(RowPath(1), "earlier pykeys.dic");
        Plant(Path("flatAuto.dic1010"), "leftover variant");
        if (c.heldRow && c.mapped)
            HoldMapped(RowPath(c.heldRow));
        else if (c.heldRow)
            Hold(RowPath(c.heldRow));

        ASSERT_EQ(c.result, Run(c.answer));
        Release();
        EXPECT_EQ(c.asked ? 1 : 0, QuestionsAsked());
        if (c.result)
            ExpectAllInstalledBut({ 25, 98, 99, 100 });
        for (int i = 0; i < 4; i++) {
            int row = kWordBaseRows[i];
            if (c.kept) {
                std::string data = ReadFileText(RowPath(row));
                // Not printed whole: a replaced index is 16 MB.
                EXPECT_TRUE(old[i] == data) << "row " << row << " replaced, now " << data.size() << " bytes";
                EXPECT_EQ(c.attributes, GetFileAttributesA(RowPath(row).c_str()) & kReadOnlyHidden) << "row " << row;
            } else {
                ExpectInstalled(row);
            }
        }
        EXPECT_TRUE(FilesIn(folder, "*.lunko*").empty()) << "no new or set-aside file is left";
        std::vector<int> expected(std::begin(kAllPositions), std::end(kAllPositions));
        if (c.result) {
            EXPECT_EQ(0, InstallFailure.count);
        } else if (c.smallDrive) {
            EXPECT_EQ(kPayloadDiskFull, InstallFailure.result);
            // The new base is written at the position of its first row.
            expected.erase(std::upper_bound(expected.begin(), expected.end(),
                                            PayloadCatalogue[kWordBaseRows[0] - 1].position),
                           expected.end());
        } else {
            EXPECT_STREQ(PayloadCatalogue[c.heldRow - 1].fileName, InstallFailure.fileName);
            EXPECT_EQ(kPayloadInUse, InstallFailure.result);
            EXPECT_EQ("earlier pykeys.dic", ReadFileText(RowPath(1)));
            EXPECT_EQ("leftover variant", ReadFileText(Path("flatAuto.dic1010")));
            expected.resize(1);
        }
        EXPECT_EQ(expected, positions) << "positions are set also before skipped rows";
    }
}

TEST_F(InstallSequence, QuestionUsesTheBilingualBoxWithYesAndNo)
{
    Plant(RowPath(25), "old");
    Plant(RowPath(99), "\x80old");
    ASSERT_EQ(1, Run(IDNO));
    ASSERT_EQ(1u, notices.size());
    EXPECT_TRUE(notices[0].question);
    EXPECT_EQ(WizardWindow, notices[0].owner);
    EXPECT_EQ("Old CiKu (Word Base) is detected. Replace it with new CiKu?", notices[0].english);
    EXPECT_EQ("安装目录有老词库。是否安装新词库(会冲掉老词库)?", notices[0].chinese);
}

TEST_F(InstallSequence, StopsAtARequiredRowThatCannotBeWritten)
{
    ForgetShellTraces();
    DocumentRegistration = 1;
    Hold(RowPath(101));                 // the notes editor, running
    EXPECT_EQ(0, Run());
    Release();

    for (int row = 1; row <= 100; row++)
        ExpectInstalled(row);
    for (int row = 102; row <= kCatalogueRowCount; row++)
        EXPECT_FALSE(FileExists(RowPath(row))) << "row " << row;
    EXPECT_TRUE(InstalledAsCatalogueSays(folder, 11, true, false)) << "no configuration update";
    EXPECT_FALSE(FolderExists(GroupFolder()));
    EXPECT_FALSE(FileExists(DesktopLink(kShortcutNames[0].notes)));
    EXPECT_FALSE(ClassRegistered());
    EXPECT_TRUE(notices.empty()) << "the wizard reports the failure, not the sequence";
    EXPECT_STREQ("Tavelorn.exe", InstallFailure.fileName);
    EXPECT_EQ(kPayloadInUse, InstallFailure.result);
}

TEST_F(InstallSequence, GoesOnPastAnOptionalRowThatCannotBeWritten)
{
    Plant(RowPath(102), "editor in use");
    Hold(RowPath(102));
    EXPECT_EQ(1, Run());
    Release();
    ExpectAllInstalledBut({ 102 });
    EXPECT_EQ("editor in use", ReadFileText(RowPath(102)));
    EXPECT_EQ(1, SkippedFiles.count) << "named in the success notice";
    EXPECT_STREQ("LKOEdit.exe", SkippedFiles.fileName);
    EXPECT_EQ(kPayloadInUse, SkippedFiles.result);
}

TEST_F(InstallSequence, LeavesOutTheDesktopAndTheClassRootWhenNotWanted)
{
    ForgetShellTraces();
    DesktopIconChoice = 0;
    DocumentRegistration = 0;
    ASSERT_EQ(1, Run());
    EXPECT_EQ(std::vector<int>(std::begin(kAllPositions), std::end(kAllPositions)), positions);
    EXPECT_FALSE(FileExists(DesktopLink(kShortcutNames[0].group)));
    EXPECT_FALSE(FileExists(DesktopLink(kShortcutNames[0].notes)));
    EXPECT_EQ(2u, FilesIn(GroupFolder(), "*.lnk").size()) << "the Start Menu group is made all the same";
    EXPECT_FALSE(ClassRegistered());
}

// Run in each locale: the system language decides the names' bytes. Under a
// Chinese code page the folder's own name ends in a character whose second
// byte is a backslash (GBK 祈禱, Big5 許功蓋), given in the code page's bytes
// and, as the link reader prints it, in UTF-8.
TEST_F(InstallSequence, NamesTheShortcutsInTheSystemLanguage)
{
    static const char *const kFolderNames[3][2] = {
        { "", "" },
        { "\xC6\xED\xB6\x5C", "\xE7\xA5\x88\xE7\xA6\xB1" },
        { "\xB3\x5C\xA5\x5C\xBB\x5C", "\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B" },
    };
    SystemLanguage = DetectSystemLanguage();
    std::string expected = TestSetting("LUNKO_EXPECT_LANGUAGE");
    ASSERT_EQ(expected.empty() ? 0 : atoi(expected.c_str()), SystemLanguage);
    const ShortcutNames &names = kShortcutNames[SystemLanguage];
    std::string parent = folder, printed = folder;
    if (SystemLanguage) {
        folder += std::string("\\") + kFolderNames[SystemLanguage][0];
        printed += std::string("\\") + kFolderNames[SystemLanguage][1];
        MakeFolders(folder);
        lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);
    }
    ForgetShellTraces(SystemLanguage);
    ASSERT_EQ(1, Run());

    ExpectAllInstalledBut();
    if (SystemLanguage) {
        EXPECT_EQ(std::vector<std::string>{ kFolderNames[SystemLanguage][0] }, FilesIn(parent, "*"))
            << "nothing beside the folder";
    }
    EXPECT_EQ(GroupLinks(SystemLanguage), SortedLinks(GroupFolder(SystemLanguage)));
    EXPECT_TRUE(FileExists(DesktopLink(names.group)));
    EXPECT_TRUE(FileExists(DesktopLink(names.notes)));
    LinkFields uninstaller = ReadLink(GroupFolder(SystemLanguage) + "\\" + names.uninstaller + ".lnk");
    EXPECT_EQ(printed + "\\LKOEditUnInstall.exe", uninstaller.localPath) << uninstaller.report;
    EXPECT_EQ(printed, uninstaller.workingDirectory) << uninstaller.report;
}

// A disk that fills during the installation (drive D of the run, a small
// file system): success is never reported while a file is missing or cut
// short, and every file left on the disk is whole.
TEST_F(InstallSequence, NeverReportsSuccessOnADiskThatFillsAndLeavesOnlyWholeFiles)
{
    if (TestSetting("LUNKO_SMALL_DRIVE").empty())
        GTEST_SKIP() << "this run has no small drive";
    if (!TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE").empty())
        GTEST_SKIP() << "no small drive here: " << TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE");
    folder = "D:\\Lunko";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);

    EXPECT_EQ(0, Run());
    int whole = 0;
    for (int row = 1; row <= kCatalogueRowCount; row++) {
        if (!FileExists(RowPath(row)))
            continue;
        EXPECT_TRUE(InstalledAsCatalogueSays(folder, row, true, false)) << "cut short";
        whole++;
    }
    EXPECT_LT(whole, kCatalogueRowCount) << "the disk was meant to fill";
    EXPECT_EQ(kPayloadDiskFull, InstallFailure.result) << (InstallFailure.fileName ? InstallFailure.fileName : "");
    EXPECT_GT(whole, 0);
}

// Paths that would pass 259 characters fail as whole rows: nothing is ever
// written under a shortened name. At 240 characters a required row is
// among them; at 228 only optional rows with long names are.
TEST_F(InstallSequence, FailsRowsWhosePathsWouldBeTooLongAndCutsNoPath)
{
    struct Case {
        size_t length;
        int result;
    };
    for (const Case &c : { Case{ 240, 0 }, Case{ 228, 1 } }) {
        folder = "C:\\long\\" + std::string(c.length - 8, 'x');
        SCOPED_TRACE(c.length);
        MakeFolders(folder);
        lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);
        EXPECT_EQ(c.result, Run());
        int tooLong = 0;
        for (int row = 1; row <= kCatalogueRowCount; row++)
            if (folder.size() + 1 + strlen(PayloadCatalogue[row - 1].fileName) > 259)
                tooLong++;
        EXPECT_GT(tooLong, 0);
        for (const std::string &name : FilesIn(folder, "*")) {
            int row = 0;
            while (row < kCatalogueRowCount && lstrcmpiA(PayloadCatalogue[row].fileName, name.c_str()))
                row++;
            ASSERT_LT(row, kCatalogueRowCount) << "a file no row names: " << name;
            if (row != 10) {            // the configuration file is updated
                EXPECT_TRUE(InstalledAsCatalogueSays(folder, row + 1, true, false));
            }
        }
    }
}

// A symbolic link planted at a file's name would send the payload into
// another file; the row fails instead and the other file stays as it was.
TEST_F(InstallSequence, WritesNothingThroughALinkPlantedAtAFileName)
{
    CreateDirectoryA("C:\\elsewhere", NULL);
    Plant("C:\\elsewhere\\victim.exe", "someone else's program");
    DeleteFileA(RowPath(102).c_str());
    std::string notLinked = MakeSymbolicLink(RowPath(102).c_str(), "C:\\elsewhere\\victim.exe", false);
    if (!notLinked.empty())
        GTEST_SKIP() << notLinked;

    EXPECT_EQ(1, Run()) << "the editor's program is an optional row";
    EXPECT_EQ("someone else's program", ReadFileText("C:\\elsewhere\\victim.exe"));
    EXPECT_STREQ("LKOEdit.exe", SkippedFiles.fileName);
    EXPECT_EQ(kPayloadRedirected, SkippedFiles.result);
}

// ---- who may change what is installed --------------------------------------
// Wine keeps no access control lists (it maps one to Unix mode bits), so the
// descriptors are checked as built: a protected list, Administrators as the
// owner and exactly these entries, in order.
static PSID Sid(const char *text)
{
    static std::vector<std::vector<BYTE>> kept;
    PSID sid = NULL;
    if (!ConvertStringSidToSidA(text, &sid))
        return NULL;
    kept.emplace_back((BYTE *)sid, (BYTE *)sid + GetLengthSid(sid));
    LocalFree(sid);
    return kept.back().data();
}

TEST(FolderSecurity, DescriptorsGrantExactlyTheirEntriesAndInheritNothing)
{
    struct Entry {
        const char *sid;
        DWORD mask;
    };
    static const struct {
        int kind;
        BYTE aceFlags;
        std::vector<Entry> entries;
    } kDescriptors[] = {
        { kInstallFolderSecurity, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
          { { "BA", FILE_ALL_ACCESS }, { "SY", FILE_ALL_ACCESS }, { "BU", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE } } },
        { kInstalledFileSecurity, 0,
          { { "BA", FILE_ALL_ACCESS }, { "SY", FILE_ALL_ACCESS }, { "BU", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE } } },
        // Read and write: no right to delete, nor to change the list or the owner.
        { kUserWritableFileSecurity, 0,
          { { "BA", FILE_ALL_ACCESS }, { "SY", FILE_ALL_ACCESS },
            { "BU", FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE } } },
        { kSpeechFolderSecurity, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
          { { "BA", FILE_ALL_ACCESS }, { "SY", FILE_ALL_ACCESS } } },
    };
    for (const auto &d : kDescriptors) {
        SCOPED_TRACE(testing::Message() << "kind " << d.kind);
        PSECURITY_DESCRIPTOR descriptor = MakeSecurityDescriptor(d.kind);
        ASSERT_TRUE(descriptor != NULL);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the parent";
        PSID owner = NULL;
        BOOL defaulted = FALSE;
        ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
        EXPECT_TRUE(owner && EqualSid(owner, Sid("BA"))) << "no one keeps an owner's right to change the list";
        BOOL present = FALSE;
        PACL dacl = NULL;
        ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
        ASSERT_TRUE(present && dacl) << "a null list would let everyone in";
        ASSERT_EQ(d.entries.size(), (size_t)dacl->AceCount);
        for (DWORD i = 0; i < dacl->AceCount; i++) {
            ACCESS_ALLOWED_ACE *ace = NULL;
            ASSERT_TRUE(GetAce(dacl, i, (void **)&ace));
            EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType) << "entry " << i;
            EXPECT_EQ(d.aceFlags, ace->Header.AceFlags) << "entry " << i;
            EXPECT_EQ(d.entries[i].mask, ace->Mask) << "entry " << i;
            PSID wanted = Sid(d.entries[i].sid);
            ASSERT_TRUE(wanted != NULL) << d.entries[i].sid;
            EXPECT_TRUE(EqualSid(&ace->SidStart, wanted)) << "entry " << i << " for " << d.entries[i].sid;
        }
        LocalFree(descriptor);
    }
    EXPECT_EQ(NULL, MakeSecurityDescriptor(kSecurityKindCount));
}

TEST(FolderSecurity, AcceptsAFolderOfAdministratorsSystemOrTheInstallingUserAlone)
{
    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE user[256];
    DWORD length = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &length));
    CloseHandle(token);
    static const struct {
        const char *owner;
        int accepted;
    } kOwners[] = {
        { "BA", 1 }, { "SY", 1 },
        { "BU", 0 }, { "AU", 0 }, { "WD", 0 }, { "PU", 0 },   // users, authenticated, everyone, power users
        { "S-1-5-7", 0 },                                     // anonymous: Wine's owner of another's file
        { "S-1-5-21-1-2-3-1001", 0 },                         // another account
        { "S-1-5-32", 0 },                                    // the prefix of Administrators alone
    };
    for (const auto &o : kOwners) {
        ASSERT_TRUE(Sid(o.owner) != NULL) << o.owner;
        EXPECT_EQ(o.accepted, IsAcceptableFolderOwner(Sid(o.owner))) << o.owner;
    }
    EXPECT_EQ(1, IsAcceptableFolderOwner(((TOKEN_USER *)user)->User.Sid)) << "the installing user";
    EXPECT_EQ(0, IsAcceptableFolderOwner(NULL));
}

// A folder on the installation folder's path, by its owner and list: only
// Administrators, SYSTEM and TrustedInstaller may move, delete or
// re-permission it, or remove what it holds. A drive's root is never moved;
// whoever owns it, only who may remove what is on it counts.
static const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1852259761-2271478464";
static const char kSomeUser[] = "S-1-5-21-1-2-3-1001";
static const struct {
    const char *owner;
    const char *list;                   // SDDL; null for a null list
    int driveRoot;
    int safe;
    const char *what;
} kPathFolders[] = {
    { kTrustedInstaller,
      "D:P(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1852259761-2271478464)(A;CIIO;GA;;;"
      "S-1-5-80-956008885-3418522649-1831038044-1852259761-2271478464)(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)"
      "(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)",
      0, 1, "Program Files as Windows 7 makes it" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", 0, 1, "Administrators'" },
    { "SY", "D:P(A;OICI;FA;;;SY)", 0, 1, "SYSTEM's" },
    { kSomeUser, "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", 0, 0, "owned by a user" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIID;0x1301bf;;;AU)", 0, 0,
      "Authenticated Users modify, inherited from a drive's root" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;;0x10000;;;AU)", 0, 0, "DELETE alone" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;;0x40000;;;BU)", 0, 0, "WRITE_DAC alone" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;;0x40;;;BU)", 0, 0, "FILE_DELETE_CHILD alone: what it holds can be moved" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;;GA;;;WD)", 0, 0, "generic all to everyone" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;OICIIO;0x1301bf;;;AU)", 0, 1, "modify for what is made below only" },
    { "BA", "D:(D;;FA;;;AU)(A;OICI;FA;;;BA)", 0, 1, "an entry that denies" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;;0x1201bf;;;BU)", 0, 1, "read and write without delete" },
    { "BA", "D:", 0, 1, "an empty list: no one but the owner" },
    { "BA", nullptr, 0, 0, "a null list: everyone" },
    { kSomeUser, "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)(A;OICI;0x1200a9;;;BU)", 1, 1,
      "a data drive's root as Vista and later format it, whoever owns it" },
    { "BA", "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;0x1301bf;;;AU)(A;;0x4;;;AU)", 1, 1,
      "drive C's root: users may add folders" },
    { "BA", "D:(A;OICI;FA;;;WD)", 1, 0, "a root where everyone has full control (Windows 2000)" },
    // As Wine reads back the harness's read-only drive C: and a folder of the prefix's user.
    { kSomeUser, "D:(A;OICI;FA;;;SY)(A;OICI;0x1e00a9;;;S-1-5-21-1-2-3-1001)(A;OICI;0x1200a9;;;WD)", 1, 1,
      "Wine's read-only root" },
    { kSomeUser, "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;0x1200a9;;;WD)", 0, 0,
      "Wine's folder of the prefix's user" },
};

TEST(FolderSecurity, TrustsAFolderOnThePathOnlyWhenTheSystemAloneCanMoveOrChangeIt)
{
    for (const auto &f : kPathFolders) {
        SCOPED_TRACE(f.what);
        PSECURITY_DESCRIPTOR descriptor = NULL;
        std::string text = std::string("O:") + f.owner + (f.list ? f.list : "");
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &descriptor,
                                                                         NULL));
        PSID owner = NULL;
        PACL list = NULL;
        BOOL present = FALSE, defaulted = FALSE;
        ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
        ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted));
        EXPECT_EQ(f.safe, IsSafePathFolder(owner, list, f.driveRoot));
        LocalFree(descriptor);
    }
}

// What the system's own access check grants, on each kind's list, to the
// installing user's unelevated programs (Administrators for denying only, as
// UAC makes their token) and to an administrator (everything).
TEST(FolderSecurity, AStandardUserUpdatesTheWordBaseButDeletesAndChangesNoInstalledFile)
{
    static const struct {
        int kind;
        DWORD access;
        BOOL userGranted;
    } kRights[] = {
        { kUserWritableFileSecurity, GENERIC_READ | GENERIC_WRITE, TRUE },     // the programs learn into it
        { kUserWritableFileSecurity, DELETE, FALSE },
        { kUserWritableFileSecurity, WRITE_DAC, FALSE },
        { kInstalledFileSecurity, GENERIC_READ | GENERIC_EXECUTE, TRUE },
        { kInstalledFileSecurity, FILE_WRITE_DATA, FALSE },
        { kInstallFolderSecurity, FILE_ADD_FILE, FALSE },
        { kInstallFolderSecurity, FILE_DELETE_CHILD, FALSE },
        { kSpeechFolderSecurity, FILE_LIST_DIRECTORY, FALSE },
    };
    HANDLE process, filtered, user, administrator;
    SID_AND_ATTRIBUTES denyOnly = { Sid("BA"), 0 };
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process)
                && CreateRestrictedToken(process, 0, 1, &denyOnly, 0, NULL, 0, NULL, &filtered)
                && DuplicateToken(filtered, SecurityImpersonation, &user)
                && DuplicateToken(process, SecurityImpersonation, &administrator));
    GENERIC_MAPPING mapping = { FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS };
    for (const auto &r : kRights) {
        SCOPED_TRACE(testing::Message() << "kind " << r.kind << ", access " << std::hex << r.access);
        // The check wants a group, which the lists leave to the creator.
        PSECURITY_DESCRIPTOR built = MakeSecurityDescriptor(r.kind), descriptor = NULL;
        char *text = NULL;
        ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
                        built, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, NULL)
                    && ConvertStringSecurityDescriptorToSecurityDescriptorA((std::string(text) + "G:SY").c_str(),
                                                                            SDDL_REVISION_1, &descriptor, NULL));
        for (HANDLE token : { user, administrator }) {
            DWORD wanted = r.access, granted = 0, length = sizeof(PRIVILEGE_SET);
            BOOL status = FALSE;
            PRIVILEGE_SET privileges;
            MapGenericMask(&wanted, &mapping);
            ASSERT_TRUE(AccessCheck(descriptor, token, wanted, &mapping, &privileges, &length, &granted, &status));
            EXPECT_EQ(token == user ? r.userGranted : TRUE, status) << (token == user ? "user" : "administrator");
        }
        LocalFree(descriptor);
        LocalFree(text);
        LocalFree(built);
    }
}

// The speech package goes to Windows Installer by its own path, with /i,
// both quoted: never to whatever the shell's associations name. A command
// line that would not fit is none.
TEST(SpeechPackage, IsStartedByMsiexecOwnPathInTheSystemFolder)
{
    char program[MAX_PATH], commandLine[2 * MAX_PATH + 16];
    ASSERT_EQ(1, ComposeSpeechCommand(program, commandLine, sizeof commandLine, "D:\\Win NT\\System32",
                                      "E:\\My Apps\\LunkoSpeech7\\Sapi51forLunko.msi"));
    EXPECT_STREQ("D:\\Win NT\\System32\\msiexec.exe", program);
    EXPECT_STREQ("\"D:\\Win NT\\System32\\msiexec.exe\" /i \"E:\\My Apps\\LunkoSpeech7\\Sapi51forLunko.msi\"", commandLine);
    std::string longest(MAX_PATH - 1, 'p');
    EXPECT_EQ(0, ComposeSpeechCommand(program, commandLine, MAX_PATH, "C:\\WINDOWS\\system32", longest.c_str()));
    EXPECT_EQ(0, ComposeSpeechCommand(program, commandLine, sizeof commandLine, longest.c_str(), "C:\\p.msi"));
}

// A folder made with its list reports an existing folder as CreateDirectoryA
// does: the speech folder's search for a free name relies on it.
TEST(FolderSecurity, ASecuredFolderThatExistsFailsWithAlreadyExists)
{
    ReadPlatformFlags();
    for (int kind : { kInstallFolderSecurity, kSpeechFolderSecurity }) {
        RemoveDirectoryA("C:\\secured");
        ASSERT_TRUE(CreateSecuredFolder("C:\\secured", kind)) << kind;
        SetLastError(0);
        EXPECT_FALSE(CreateSecuredFolder("C:\\secured", kind)) << kind;
        EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError()) << kind;
    }
}

// The lists of the installed files are set on the files themselves: a
// second name (a hard link) planted at a catalogue name in an existing
// folder never hands Users modify to the file it names elsewhere.
TEST(FolderSecurity, SetsTheListsOfTheInstalledFilesThemselvesAndOfNoFileBehindALink)
{
    ReadPlatformFlags();
    ASSERT_TRUE(NtFiveOrLater);
    MakeFolders("C:\\secured-files");
    MakeFolders("C:\\elsewhere");
    lstrcpynA(InstallFolderPath, "C:\\secured-files", MAX_PATH);
    const std::string victim = "C:\\elsewhere\\hosts";
    const std::string linked = std::string(InstallFolderPath) + "\\sort.dic";        // a writable row
    const std::string program = std::string(InstallFolderPath) + "\\LKOEdit.exe";   // a read-only row
    ASSERT_TRUE(PlantFile(victim, "someone else's file"));
    ASSERT_TRUE(PlantFile(program, "program", FILE_ATTRIBUTE_READONLY));
    DeleteFileA(linked.c_str());
    ASSERT_TRUE(CreateHardLinkA(linked.c_str(), victim.c_str(), NULL));
    std::string before = ListReadBack(victim);
    ASSERT_NE(std::string::npos, before.find(";;;WD)")) << before;

    SecureInstalledFiles();
    EXPECT_EQ(before, ListReadBack(victim)) << "the file behind the second name keeps its list";
    std::string closed = ListReadBack(program);
    EXPECT_EQ(std::string::npos, closed.find(";;;WD)")) << closed;
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, GetFileAttributesA(program.c_str()) & FILE_ATTRIBUTE_READONLY)
        << "the read-only mark stays";
}

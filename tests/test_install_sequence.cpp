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

static DWORD LinkCount(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    BY_HANDLE_FILE_INFORMATION information = {};
    GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    return information.nNumberOfLinks;
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
    InstallResult last;
    bool asked = false;                 // the wizard would ask the word-base question
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
        // As the wizard does: the question first, then the run.
        asked = HasOldWordBase() != 0;
        KeepOldWordBase = asked && questionAnswer != IDYES;
        last = RunInstallSequence();
        notices = StopNoticeWatch();
        return last.succeeded;
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
        int count = asked;
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

// An upgrade over an earlier installation, all of whose files are planted
// with bytes of their own: afterwards the catalogue is all old or all new,
// byte for byte, success is reported only when it is all new (a kept word
// base aside), and no temporary name is left. The word base is CiZuFlat.igb
// and the index whose first byte marks an old generation (bit 7); the user
// decides about its four files, which are replaced as a set or not at all.
enum UpgradeFault {
    kNoFault,
    kServerRunning,     // DoVaz.exe started from the folder; quit after the first, failed run
    kDamagedLate,       // the last required row's resource is cut short: only in its own run
    kHardLink,          // sort.dic is a second name of a file elsewhere
    kCutWhileStaging,   // a run cut off left new files under their temporary names
    kCutWhileMoving,    // ... and had moved rows 1 to 25 (CiZuFlat.igb aside, its name empty)
    kCutAfterMoves,     // ... and had moved everything, the old copies still aside
};

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
    UpgradeFault fault = kNoFault;
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
    // A file that cannot be replaced now stops the run before its first
    // write; the files of a base the user keeps are not looked at.
    { "index in use, user replaces it", true, 0x7F, 99, IDYES, true, 0, true },
    { "last file in use, no question", true, 0x7F, 100, IDYES, false, 0, true },
    { "user's words in use, no question", true, 0x7F, 25, IDYES, false, 0, true },
    { "notes editor held", true, 0x7F, 101, IDYES, false, 0, true },
    // A file mapped by a program that shares reading and writing is held too.
    { "index mapped, user replaces it", true, 0xFF, 99, IDYES, true, 0, true, 0, true },
    { "index mapped, user keeps it", true, 0xFF, 99, IDNO, true, 1, true, 0, true },
    { "optional file mapped, user replaces it", true, 0x80, 98, IDYES, true, 0, true, 0, true },
    { "read-only base, index mapped", true, 0x80, 99, IDYES, true, 0, true, FILE_ATTRIBUTE_READONLY, true },
    { "optional dictionary mapped", true, 0x7F, 33, IDYES, false, 0, true, 0, true },
    { "disk fills while the new files are staged", true, 0x80, 0, IDYES, true, 0, true, 0, false, true },
    { "pinyin server running, quit, tried again", true, 0x7F, 0, IDYES, false, 1, false, 0, false, false,
      kServerRunning },
    { "late resource damaged", true, 0x7F, 0, IDYES, false, 0, true, 0, false, false, kDamagedLate },
    { "hard link at a catalogue name", true, 0x7F, 0, IDYES, false, 1, false, 0, false, false, kHardLink },
    { "cut off while staging", true, 0x80, 0, IDYES, true, 1, false, 0, false, false, kCutWhileStaging },
    // The base it had set aside is back before the question.
    { "cut off during the moves, user keeps the base", true, 0x80, 0, IDNO, true, 1, true, 0, false, false,
      kCutWhileMoving },
    { "cut off after the moves", true, 0x80, 0, IDYES, true, 1, false, 0, false, false, kCutAfterMoves },
};

static const char kAside[] = ".lunkoold", kStaged[] = ".lunkonew";

TEST_F(InstallSequence, ReplacesAnEarlierInstallationAllOrNothingAndAsksBeforeReplacingAnOldWordBase)
{
    bool smallDriveRun = !TestSetting("LUNKO_SMALL_DRIVE").empty();
    std::string damaged = DosPath(TestSetting("LUNKO_DAMAGED_INSTALLER"));
    if (smallDriveRun && !TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE").empty())
        GTEST_SKIP() << "no small drive here: " << TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE");
    const int server = 108, flat = kWordBaseRows[0], link = 4;
    ASSERT_STREQ("DoVaz.exe", PayloadCatalogue[server - 1].fileName);
    for (const WordBaseCase &c : kWordBaseCases) {
        if (c.smallDrive != smallDriveRun || (c.fault == kDamagedLate) != !damaged.empty())
            continue;
        SCOPED_TRACE(c.name);
        if (c.smallDrive) {
            folder = "D:\\wordbase";
            MakeFolders(folder);
            lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);
        }
        for (const std::string &name : FilesIn(folder, "*.lunko*")) {
            SetFileAttributesA(Path(name.c_str()).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(Path(name.c_str()).c_str());
        }
        // The earlier installation; absent files are "".
        std::vector<std::string> earlier(kCatalogueRowCount + 1);
        for (int row = 1; row <= kCatalogueRowCount; row++) {
            std::string path = RowPath(row);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
            const int *base = std::find(std::begin(kWordBaseRows), std::end(kWordBaseRows), row);
            earlier[row] = std::string(base == std::end(kWordBaseRows) ? "earlier " : "old word base ")
                           + PayloadCatalogue[row - 1].fileName;
            if (row == 99) {
                if (c.indexFirstByte == -1) {
                    earlier[row] = "";
                    continue;
                }
                earlier[row] = c.indexFirstByte == -2 ? "" : std::string(1, (char)c.indexFirstByte) + earlier[row];
            }
            if (row == flat && !c.flatPresent) {
                earlier[row] = "";
                continue;
            }
            if (row == server && c.fault == kServerRunning) {
                const Bytes &program = PayloadOfRow(row);
                earlier[row].assign(program.begin(), program.end());
            }
            if (row == link && c.fault == kHardLink) {
                MakeFolders("C:\\elsewhere");
                Plant("C:\\elsewhere\\upgrade-victim", earlier[row] = "someone else's file");
                ASSERT_TRUE(CreateHardLinkA(path.c_str(), "C:\\elsewhere\\upgrade-victim", NULL));
                continue;
            }
            Plant(path, earlier[row], base != std::end(kWordBaseRows) ? c.attributes : 0);
        }
        Plant(Path("flatAuto.dic1010"), "leftover variant");
        auto expectEarlier = [&](const char *when) {
            for (int row = 1; row <= kCatalogueRowCount; row++) {
                if (earlier[row].empty() && row != 99)
                    EXPECT_FALSE(FileExists(RowPath(row))) << when << ": row " << row;
                else    // not printed whole: a replaced index is 16 MB
                    EXPECT_TRUE(earlier[row] == ReadFileText(RowPath(row))) << when << ": row " << row;
            }
            // A run past its last move had finished with the old files but for the deletions.
            if (c.fault == kCutAfterMoves)
                EXPECT_FALSE(FileExists(Path("flatAuto.dic1010"))) << when;
            else
                EXPECT_EQ("leftover variant", ReadFileText(Path("flatAuto.dic1010"))) << when;
            EXPECT_TRUE(FilesIn(folder, "*.lunko*").empty()) << when << ": no temporary name is left";
        };

        // What a run that was cut off leaves: the next one first makes the
        // folder whole, old before its last move, new after.
        if (c.fault >= kCutWhileStaging) {
            for (int row = 1; row <= kCatalogueRowCount; row++) {
                bool moved = c.fault == kCutAfterMoves || (c.fault == kCutWhileMoving && row <= flat);
                if (!moved) {
                    Plant(RowPath(row) + kStaged, "half-staged");
                } else if (c.fault == kCutWhileMoving) {
                    ASSERT_TRUE(MoveFileA(RowPath(row).c_str(), (RowPath(row) + kAside).c_str()));
                    if (row < flat)
                        Plant(RowPath(row), "moved in");
                } else if (row <= flat) {
                    Plant(RowPath(row) + kAside, "older still");
                }
            }
            if (c.fault != kCutWhileStaging)
                Plant(Path(c.fault == kCutAfterMoves ? "committed.lunkorun" : "moving.lunkorun"),
                      std::string(kCatalogueRowCount, '\1'));
            EXPECT_EQ(c.asked ? 1 : 0, HasOldWordBase());
            expectEarlier("made whole");
        }
        HMODULE payload = ModuleInstance;
        if (c.fault == kDamagedLate) {
            ModuleInstance = LoadLibraryExA(damaged.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
            ASSERT_TRUE(ModuleInstance != NULL) << damaged;
        }
        PROCESS_INFORMATION running = {};
        if (c.fault == kServerRunning) {
            STARTUPINFOA start = {};
            start.cb = sizeof start;
            ASSERT_TRUE(CreateProcessA(RowPath(server).c_str(), NULL, NULL, NULL, FALSE, 0, NULL, folder.c_str(),
                                       &start, &running));
            WaitForInputIdle(running.hProcess, 10000);
            EXPECT_EQ(0, Run(c.answer));
            EXPECT_STREQ("DoVaz.exe", last.failure.fileName);
            EXPECT_EQ(kPayloadInUse, last.failure.result);
            expectEarlier("while the server runs");
            TerminateProcess(running.hProcess, 0);
            WaitForSingleObject(running.hProcess, 10000);
            CloseHandle(running.hProcess);
            CloseHandle(running.hThread);
        }
        if (c.heldRow && c.mapped)
            HoldMapped(RowPath(c.heldRow));
        else if (c.heldRow)
            Hold(RowPath(c.heldRow));

        ASSERT_EQ(c.result, Run(c.answer));
        Release();
        ModuleInstance = payload;
        EXPECT_EQ(c.asked ? 1 : 0, QuestionsAsked());
        for (int i = 0; i < 4 && c.result; i++) {
            int row = kWordBaseRows[i];
            if (c.kept) {
                EXPECT_TRUE(earlier[row] == ReadFileText(RowPath(row))) << "row " << row << " replaced";
                EXPECT_EQ(c.attributes, GetFileAttributesA(RowPath(row).c_str()) & kReadOnlyHidden) << "row " << row;
            }
        }
        std::vector<int> expected(std::begin(kAllPositions), std::end(kAllPositions));
        if (c.result) {
            ExpectAllInstalledBut(c.kept ? std::vector<int>(std::begin(kWordBaseRows), std::end(kWordBaseRows))
                                         : std::vector<int>());
            EXPECT_FALSE(FileExists(Path("flatAuto.dic1010")));
            EXPECT_TRUE(FilesIn(folder, "*.lunko*").empty()) << "no temporary name is left";
            EXPECT_EQ(0, last.failure.count);
        } else {
            expectEarlier("after the failed run");
            if (c.attributes) {
                EXPECT_EQ(c.attributes, GetFileAttributesA(RowPath(flat).c_str()) & kReadOnlyHidden);
            }
        }
        if (c.fault == kHardLink) {
            EXPECT_EQ("someone else's file", ReadFileText("C:\\elsewhere\\upgrade-victim"));
            EXPECT_EQ(1u, LinkCount(RowPath(link))) << "the installed file has one name";
        }
        if (!c.result && (c.smallDrive || c.fault == kDamagedLate)) {
            EXPECT_EQ(c.smallDrive ? kPayloadDiskFull : kPayloadDamaged, last.failure.result);
            if (c.fault == kDamagedLate) {
                EXPECT_STREQ("Tavelorn.exe", last.failure.fileName);
            }
            // Staged in the catalogue's order: the bar stops where the run failed.
            ASSERT_LE(positions.size(), expected.size());
            expected.resize(positions.size());
        } else if (!c.result) {
            EXPECT_STREQ(PayloadCatalogue[c.heldRow - 1].fileName, last.failure.fileName);
            EXPECT_EQ(kPayloadInUse, last.failure.result);
            expected.clear();           // found before the bar is shown
        }
        EXPECT_EQ(expected, positions) << "positions are set also before skipped rows";
    }
}

// The question is the wizard's (its texts are checked by the walks): the
// sequence only says that it is to be asked, and shows nothing itself.
TEST_F(InstallSequence, LeavesTheWordBaseQuestionToItsCaller)
{
    Plant(RowPath(25), "old");
    Plant(RowPath(99), "\x80old");
    EXPECT_EQ(1, HasOldWordBase());
    ASSERT_EQ(1, Run(IDNO));
    EXPECT_TRUE(notices.empty()) << notices[0].english;
}

// A held file is found before anything is written, the program holding it
// named where the system can tell (Wine's Restart Manager names none).
TEST_F(InstallSequence, WritesNothingWhileARequiredFileIsHeld)
{
    ForgetShellTraces();
    DocumentRegistration = 1;
    Hold(RowPath(101));                 // the notes editor, running
    InstallResult found;
    EXPECT_EQ(1, FindFileInUse(found));
    EXPECT_STREQ("Tavelorn.exe", found.failure.fileName);
    EXPECT_EQ(kPayloadInUse, found.failure.result);
    EXPECT_EQ(0, Run());
    Release();

    EXPECT_EQ(std::vector<std::string>{ "Tavelorn.exe" }, FilesIn(folder, "*")) << "nothing written";
    EXPECT_TRUE(positions.empty());
    EXPECT_FALSE(FolderExists(GroupFolder()));
    EXPECT_FALSE(FileExists(DesktopLink(kShortcutNames[0].notes)));
    EXPECT_FALSE(ClassRegistered());
    EXPECT_TRUE(notices.empty()) << "the wizard reports the failure, not the sequence";
    EXPECT_STREQ("Tavelorn.exe", last.failure.fileName);
    EXPECT_EQ(kPayloadInUse, last.failure.result);
    EXPECT_STREQ("", last.holder);
}

// Optional files are checked as well: none is left old beside a new
// installation because a program held it.
TEST_F(InstallSequence, WaitsForAnOptionalFileThatIsHeldAndCompletesOnceItIsFree)
{
    Plant(RowPath(102), "editor in use");
    Hold(RowPath(102));
    EXPECT_EQ(0, Run());
    EXPECT_STREQ("LKOEdit.exe", last.failure.fileName);
    EXPECT_EQ(kPayloadInUse, last.failure.result);
    Release();
    EXPECT_EQ("editor in use", ReadFileText(RowPath(102)));
    InstallResult found;
    EXPECT_EQ(0, FindFileInUse(found));
    EXPECT_EQ(1, Run());
    ExpectAllInstalledBut();
    EXPECT_EQ(0, last.skipped.count);
}

// An old copy that a finished run could not delete keeps the run's
// committed mark: no later run takes it for a file to put back, and the
// next one deletes it before it starts.
TEST_F(InstallSequence, FinishesTheDeletionsOfACommittedRunBeforeItStarts)
{
    ASSERT_EQ(1, Run());
    std::string aside = RowPath(25) + ".lunkoold";
    Plant(aside, "the old words, mapped still");
    Plant(Path("committed.lunkorun"), std::string(kCatalogueRowCount, '\1'));
    Hold(aside);
    EXPECT_EQ(0, Run());
    Release();
    EXPECT_STREQ("CiZuFlat.igb", last.failure.fileName);
    EXPECT_EQ(kPayloadInUse, last.failure.result);
    EXPECT_TRUE(FileExists(Path("committed.lunkorun")));
    EXPECT_TRUE(InstalledAsCatalogueSays(folder, 25)) << "the new words stay in place";
    EXPECT_EQ(1, Run());
    EXPECT_TRUE(FilesIn(folder, "*.lunko*").empty());
}

// A rollback step that fails is not passed over: the old copy it could not
// put back is named with the name it sits under, and it stays there.
TEST_F(InstallSequence, NamesAnOldCopyThatCannotBePutBack)
{
    Plant(RowPath(25) + ".lunkoold", "the user's words");
    Plant(RowPath(25), "moved in");
    Plant(Path("moving.lunkorun"), std::string(kCatalogueRowCount, '\1'));
    Hold(RowPath(25));
    EXPECT_EQ(0, Run());
    Release();
    EXPECT_STREQ("CiZuFlat.igb", last.stranded.fileName);
    EXPECT_STREQ("CiZuFlat.igb.lunkoold", last.strandedAs);
    EXPECT_STREQ("CiZuFlat.igb", last.failure.fileName);
    EXPECT_EQ("the user's words", ReadFileText(RowPath(25) + ".lunkoold"));
    EXPECT_EQ(1, Run()) << "put back once it is free, then replaced";
    EXPECT_TRUE(FilesIn(folder, "*.lunko*").empty());
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
// short, and the folder is left as it was, empty.
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
    EXPECT_EQ(kPayloadDiskFull, last.failure.result) << (last.failure.fileName ? last.failure.fileName : "");
    EXPECT_EQ(std::vector<std::string>(), FilesIn(folder, "*")) << "every staged file is removed";
}

// Paths that would pass 259 characters, with the new file's temporary
// suffix, fail as whole rows: nothing is ever written under a shortened
// name. At 240 characters a required row is among them; at 224 only
// optional rows with long names are.
TEST_F(InstallSequence, FailsRowsWhosePathsWouldBeTooLongAndCutsNoPath)
{
    struct Case {
        size_t length;
        int result;
    };
    for (const Case &c : { Case{ 240, 0 }, Case{ 224, 1 } }) {
        folder = "C:\\long\\" + std::string(c.length - 8, 'x');
        SCOPED_TRACE(c.length);
        MakeFolders(folder);
        lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);
        EXPECT_EQ(c.result, Run());
        int tooLong = 0;
        for (int row = 1; row <= kCatalogueRowCount; row++)
            if (folder.size() + 1 + strlen(PayloadCatalogue[row - 1].fileName) + strlen(".lunkonew") > 259)
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
    EXPECT_STREQ("LKOEdit.exe", last.skipped.fileName);
    EXPECT_EQ(kPayloadRedirected, last.skipped.result);
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

// The lists of the installed files are set on the files themselves, as
// they are made: a second name (a hard link) planted at a catalogue name in
// an existing folder never hands Users modify to the file it names
// elsewhere, and never receives the payload's bytes.
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

    KeepOldWordBase = 0;
    ASSERT_TRUE(RunInstallSequence().succeeded);
    EXPECT_EQ(before, ListReadBack(victim)) << "the file behind the second name keeps its list";
    EXPECT_EQ("someone else's file", ReadFileText(victim)) << "and its bytes";
    EXPECT_EQ(1u, LinkCount(linked)) << "the installed file has one name";
    std::string closed = ListReadBack(program);
    EXPECT_EQ(std::string::npos, closed.find(";;;WD)")) << closed;
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, GetFileAttributesA(program.c_str()) & FILE_ATTRIBUTE_READONLY)
        << "the read-only mark stays";
}

// The Start Menu group, desktop shortcuts and link files on a fresh Wine
// prefix (Windows 7, Chinese locale): what lands on disk, what an
// independent reader finds in each .lnk, and which notices the user sees.

#include <gtest/gtest.h>

#include <shlobj.h>
#include <sddl.h>

#include <algorithm>
#include <string>

#include "shell/shell.h"
#include "tests/driver/driver.h"
#include "tests/test_shortcuts_support.h"
#include "wizard/wizard.h"

static const char kInstallFolder[] = "C:\\Lunko";

// "伦科编辑器" and "伦科笔记" in GBK, and as lnkinfo prints them (UTF-8).
static const char kEditorName[] = "\xc2\xd7\xbf\xc6\xb1\xe0\xbc\xad\xc6\xf7";
static const char kEditorNameUtf8[] = "\xe4\xbc\xa6\xe7\xa7\x91\xe7\xbc\x96\xe8\xbe\x91\xe5\x99\xa8";
static const char kNotesName[] = "\xc2\xd7\xbf\xc6\xb1\xca\xbc\xc7";
static const char kNotesNameUtf8[] = "\xe4\xbc\xa6\xe7\xa7\x91\xe7\xac\x94\xe8\xae\xb0";

static const char kStartMenuNotice[] =
    "\xce\xde\xb7\xa8\xd4\xda\x20\x53\x74\x61\x72\x74\x20\xb2\xcb\xb5\xa5\xd6\xd0\xce\xaa\xb1\xbe"
    "\xb3\xcc\xd0\xf2\xbd\xa8\xc1\xa2\xd2\xbb\xb8\xf6\xcc\xf5\xc4\xbf\xa1\xa3\xba\xdc\xb1\xa7\xc7"
    "\xb8\xa3\xac\xd6\xbb\xba\xc3\xc7\xeb\xc4\xfa\xd2\xd4\xba\xf3\xd7\xd4\xd2\xd1\xbd\xa8\xc1\xa2"
    "\xc1\xcb\xa1\xa3";
static const char kStartMenuNoticeEnglish[] = "Failed to create an entry on Start Menu.";

static std::string SpecialFolder(int kind)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(NULL, kind, NULL, SHGFP_TYPE_CURRENT, path);
    return path;
}

// A fresh installation as the install sequence leaves it before the
// shortcuts: the folder and the programs the links point to.
static void PrepareInstallation(void)
{
    lstrcpyA(InstallFolderPath, kInstallFolder);
    VersionThree = 0;
    NtPlatform = 1;
    MakeFolders(kInstallFolder);
    for (const char *name : { "edit.exe", "uninst.exe", "notes.exe" })
        WriteDummyFile(std::string(kInstallFolder) + "\\" + name);
}

static int MakeGroup(const char *groupName, const ShortcutSpec *shortcuts,
                     std::vector<SeenNotice> *notices, int folderKind = CSIDL_PROGRAMS)
{
    PrepareInstallation();
    StartNoticeWatch();
    int result = CreateStartMenuGroup(groupName, shortcuts, folderKind);
    *notices = StopNoticeWatch();
    return result;
}

static void ExpectStartMenuNotice(const SeenNotice &notice)
{
    EXPECT_EQ(notice.chinese, kStartMenuNotice);
    EXPECT_EQ(notice.english, kStartMenuNoticeEnglish);
    EXPECT_TRUE(notice.okOnly);
    EXPECT_EQ(notice.owner, WizardWindow);
}

static void ExpectLink(const std::string &linkPath, const char *target, const char *description)
{
    SCOPED_TRACE(linkPath);
    LinkFields link = ReadLink(linkPath);
    ASSERT_TRUE(link.parsed) << link.report;
    std::string targetPath = std::string(kInstallFolder) + "\\" + target;
    EXPECT_EQ(link.localPath, targetPath) << link.report;
    EXPECT_EQ(link.description, description);
    EXPECT_EQ(link.workingDirectory, kInstallFolder);
    EXPECT_EQ(link.iconLocation, targetPath);
    EXPECT_EQ(link.iconIndex, "0");
}

// ---- the Start Menu group ------------------------------------------------

TEST(StartMenuGroup, MakesTheGroupFolderWithOneWorkingLinkPerProgram)
{
    const ShortcutSpec shortcuts[] = {
        { kEditorName, "edit.exe" }, { "Uninstall Lunko", "uninst.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_NE(MakeGroup(kEditorName, shortcuts, &notices), 0);
    EXPECT_TRUE(notices.empty());

    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\" + kEditorName;
    ASSERT_TRUE(FolderExists(group));
    std::vector<std::string> links = LinksIn(group);
    std::sort(links.begin(), links.end());
    EXPECT_EQ(links, (std::vector<std::string>{ "Uninstall Lunko.lnk", std::string(kEditorName) + ".lnk" }));
    ExpectLink(group + "\\" + kEditorName + ".lnk", "edit.exe", kEditorNameUtf8);
    ExpectLink(group + "\\Uninstall Lunko.lnk", "uninst.exe", "Uninstall Lunko");
}

TEST(StartMenuGroup, ReusesAnExistingGroupFolderSilently)
{
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Existing Group";
    MakeFolders(group);
    WriteDummyFile(group + "\\keep.txt");
    const ShortcutSpec shortcuts[] = { { "Editor", "edit.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_NE(MakeGroup("Existing Group", shortcuts, &notices), 0);
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(FileExists(group + "\\keep.txt"));
    EXPECT_TRUE(FileExists(group + "\\Editor.lnk"));
}

TEST(StartMenuGroup, PutsTheLinksStraightIntoTheProgramsFolderWithoutAGroupName)
{
    std::string programs = SpecialFolder(CSIDL_PROGRAMS);
    const ShortcutSpec forNull[] = { { "Ungrouped One", "edit.exe" }, { NULL, NULL } };
    const ShortcutSpec forEmpty[] = { { "Ungrouped Two", "notes.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;

    EXPECT_NE(MakeGroup(NULL, forNull, &notices), 0);
    EXPECT_TRUE(notices.empty());
    EXPECT_NE(MakeGroup("", forEmpty, &notices), 0);
    EXPECT_TRUE(notices.empty());
    ExpectLink(programs + "\\Ungrouped One.lnk", "edit.exe", "Ungrouped One");
    ExpectLink(programs + "\\Ungrouped Two.lnk", "notes.exe", "Ungrouped Two");
}

TEST(StartMenuGroup, WritesNoLinkForAListWhoseFirstNameIsNull)
{
    const ShortcutSpec shortcuts[] = { { NULL, "edit.exe" }, { "Never", "edit.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_NE(MakeGroup("Empty List", shortcuts, &notices), 0);
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(LinksIn(SpecialFolder(CSIDL_PROGRAMS) + "\\Empty List").empty());
}

TEST(StartMenuGroup, DoesNotReportAFailureBeforeTheLastLink)
{
    const ShortcutSpec shortcuts[] = {
        { "no such folder\\First", "edit.exe" }, { "Second", "uninst.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_NE(MakeGroup("Early Failure", shortcuts, &notices), 0);
    EXPECT_TRUE(notices.empty());
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Early Failure";
    EXPECT_EQ(LinksIn(group), std::vector<std::string>{ "Second.lnk" });
}

TEST(StartMenuGroup, ShowsTheStartMenuNoticeWhenTheLastLinkFailsAndKeepsTheEarlierOnes)
{
    const ShortcutSpec shortcuts[] = {
        { "First", "edit.exe" }, { "no such folder\\Second", "uninst.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_EQ(MakeGroup("Late Failure", shortcuts, &notices), 0);
    ASSERT_EQ(notices.size(), 1u);
    ExpectStartMenuNotice(notices[0]);
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Late Failure";
    EXPECT_EQ(LinksIn(group), std::vector<std::string>{ "First.lnk" });
}

TEST(StartMenuGroup, RefusesALinkPathLongerThanItsBufferAsAFailedLink)
{
    // The group's link paths: folder, backslash, name, ".lnk". A path of
    // 259 characters fits MAX_PATH with its terminator; 260 does not.
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\Long Names";
    size_t fitting = MAX_PATH - 1 - (group.size() + 1 + 4);
    std::string fits(fitting, 'f');
    std::string tooLong(fitting + 1, 't');
    const ShortcutSpec shortcuts[] = {
        { fits.c_str(), "edit.exe" }, { tooLong.c_str(), "edit.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_EQ(MakeGroup("Long Names", shortcuts, &notices), 0);
    ASSERT_EQ(notices.size(), 1u);
    ExpectStartMenuNotice(notices[0]);
    EXPECT_EQ(FilesIn(group, "*"), std::vector<std::string>{ fits + ".lnk" });
}

TEST(StartMenuGroup, ShowsOnlyTheFolderNoticeNamingTheGroupWhenItsFolderCannotBeMade)
{
    const ShortcutSpec shortcuts[] = { { "Editor", "edit.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_EQ(MakeGroup("No Such Parent\\Group", shortcuts, &notices), 0);
    ASSERT_EQ(notices.size(), 1u);
    std::string group = SpecialFolder(CSIDL_PROGRAMS) + "\\No Such Parent\\Group";
    EXPECT_EQ(notices[0].chinese, std::string(kShortcutFolderNoticeStart) + group + ")!");
    EXPECT_EQ(notices[0].english, kShortcutFolderNotice);
    EXPECT_TRUE(notices[0].okOnly);
    EXPECT_EQ(notices[0].owner, WizardWindow);
    EXPECT_FALSE(FolderExists(group));
}

TEST(StartMenuGroup, RefusesAGroupPathLongerThanItsBufferWithTheFolderNotice)
{
    std::string programs = SpecialFolder(CSIDL_PROGRAMS);
    std::string name(MAX_PATH - 1 - programs.size(), 'g');     // one more than fits
    const ShortcutSpec shortcuts[] = { { "Editor", "edit.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_EQ(MakeGroup(name.c_str(), shortcuts, &notices), 0);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].chinese, std::string(kShortcutFolderNoticeStart) + programs + "\\" + name + ")!");
    EXPECT_EQ(notices[0].english, kShortcutFolderNotice);
    EXPECT_TRUE(FilesIn(programs, "ggg*").empty());
}

TEST(StartMenuGroup, ShowsTheStartMenuNoticeWhenTheFolderLookupFails)
{
    const ShortcutSpec shortcuts[] = { { "Editor", "edit.exe" }, { NULL, NULL } };
    std::vector<SeenNotice> notices;
    EXPECT_EQ(MakeGroup("Group", shortcuts, &notices, 0x7F), 0);
    ASSERT_EQ(notices.size(), 1u);
    ExpectStartMenuNotice(notices[0]);
}

// ---- desktop shortcuts ---------------------------------------------------

TEST(DesktopShortcut, PutsWorkingLinksOnTheCurrentUsersDesktop)
{
    PrepareInstallation();
    StartNoticeWatch();
    CreateDesktopShortcut("notes.exe", kNotesName);
    CreateDesktopShortcut("edit.exe", kEditorName);
    EXPECT_TRUE(StopNoticeWatch().empty());

    std::string desktop = SpecialFolder(CSIDL_DESKTOP);
    ExpectLink(desktop + "\\" + kNotesName + ".lnk", "notes.exe", kNotesNameUtf8);
    ExpectLink(desktop + "\\" + kEditorName + ".lnk", "edit.exe", kEditorNameUtf8);
}

TEST(DesktopShortcut, RefusesANameTooLongForTheLinkNameBufferWithoutANotice)
{
    // "\" + name + ".lnk" must fit 100 bytes with its terminator: 94
    // characters of name do, 95 do not.
    std::string fits(94, 'd');
    std::string tooLong(95, 'e');
    PrepareInstallation();
    StartNoticeWatch();
    CreateDesktopShortcut("edit.exe", fits.c_str());
    CreateDesktopShortcut("edit.exe", tooLong.c_str());
    CreateDesktopShortcut("edit.exe", "no such folder\\Desk");
    EXPECT_TRUE(StopNoticeWatch().empty());

    std::string desktop = SpecialFolder(CSIDL_DESKTOP);
    EXPECT_TRUE(FileExists(desktop + "\\" + fits + ".lnk"));
    EXPECT_TRUE(FilesIn(desktop, "eee*").empty());
    EXPECT_TRUE(FilesIn(desktop, "*Desk*").empty());
}

// ---- link files and folder lookup ----------------------------------------

TEST(ShellLink, CutsTheWorkingFolderAtARealBackslashNotInsideAChineseCharacter)
{
    // 0x81 0x5C is one GBK character ("乗") whose second byte is a
    // backslash; here it names both the folder and the program.
    PrepareInstallation();
    std::string folder = std::string(kInstallFolder) + "\\\x81\x5c";
    std::string target = folder + "\\\x81\x5c.exe";
    MakeFolders(folder);
    WriteDummyFile(target);
    ASSERT_TRUE(FileExists(target));
    std::string linkPath = std::string(kInstallFolder) + "\\trail.lnk";
    EXPECT_EQ(CreateShellLink(target.c_str(), linkPath.c_str(), "Trail"), 1);

    LinkFields link = ReadLink(linkPath);
    ASSERT_TRUE(link.parsed) << link.report;
    EXPECT_EQ(link.localPath, "C:\\Lunko\\\xe4\xb9\x97\\\xe4\xb9\x97.exe");
    EXPECT_EQ(link.workingDirectory, "C:\\Lunko\\\xe4\xb9\x97");
}

TEST(ShellLink, SetsNoWorkingFolderForATargetWithoutABackslash)
{
    PrepareInstallation();
    std::string linkPath = std::string(kInstallFolder) + "\\bare.lnk";
    EXPECT_EQ(CreateShellLink("edit.exe", linkPath.c_str(), "Bare"), 1);
    LinkFields link = ReadLink(linkPath);
    ASSERT_TRUE(link.parsed) << link.report;
    EXPECT_EQ(link.workingDirectory, "") << link.report;
    EXPECT_EQ(link.report.find("Contains a working directory string"), std::string::npos);
}

TEST(ShellLink, RefusesPathsOfMaxPathOrMore)
{
    PrepareInstallation();
    std::string longLink = "C:\\" + std::string(MAX_PATH - 7, 'x') + ".lnk";   // 260 characters
    std::string longTarget = "C:\\Lunko\\" + std::string(MAX_PATH - 9, 'y');
    EXPECT_EQ(CreateShellLink("C:\\Lunko\\edit.exe", longLink.c_str(), "Long"), 0);
    EXPECT_EQ(CreateShellLink(longTarget.c_str(), "C:\\Lunko\\long.lnk", "Long"), 0);
    EXPECT_FALSE(FileExists(longLink));
    EXPECT_FALSE(FileExists("C:\\Lunko\\long.lnk"));
}

TEST(ShellLink, SavesNoLinkAtARelativePath)
{
    PrepareInstallation();
    SetCurrentDirectoryA(kInstallFolder);
    for (const char *relative : { "relative.lnk", "Lunko\\relative.lnk", "\\relative.lnk", "C:relative.lnk" })
        EXPECT_EQ(CreateShellLink("C:\\Lunko\\edit.exe", relative, "Relative"), 0) << relative;
    for (const char *folder : { "C:\\Lunko", "C:\\Lunko\\Lunko", "C:\\" })
        EXPECT_TRUE(FilesIn(folder, "relative*").empty()) << folder;
}

// The user at the desk gets the shortcuts: in their own folders when the
// installer runs as them, else (another account elevated for them, SYSTEM,
// no one at the desk) in the all-users folders.
TEST(SpecialFolders, ShortcutsGoToTheDeskUsersOwnFoldersOnlyWhenTheInstallerRunsAsThatUser)
{
    static const char kUser[] = "S-1-5-21-7-8-9-1001";
    static const struct {
        const char *installing;
        const char *desk;               // null: no one at the desk
        int kind;
        int expected;
    } kCases[] = {
        { kUser, kUser, CSIDL_PROGRAMS, CSIDL_PROGRAMS },
        { kUser, kUser, CSIDL_DESKTOP, CSIDL_DESKTOP },
        { "S-1-5-21-7-8-9-500", kUser, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS },     // over the shoulder
        { "S-1-5-21-7-8-9-500", kUser, CSIDL_DESKTOP, CSIDL_COMMON_DESKTOPDIRECTORY },
        { "S-1-5-21-7-8-6-1001", kUser, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS },    // same number, other domain
        { "S-1-5-21-7-8-9", kUser, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS },         // fewer parts
        { "S-1-5-18", kUser, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS },               // SYSTEM with a user there
        { "S-1-5-18", nullptr, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS },
        { "S-1-5-18", nullptr, CSIDL_DESKTOP, CSIDL_COMMON_DESKTOPDIRECTORY },
        { nullptr, kUser, CSIDL_DESKTOP, CSIDL_COMMON_DESKTOPDIRECTORY },           // own user unreadable
    };
    for (const auto &c : kCases) {
        PSID installing = NULL, desk = NULL;
        ASSERT_TRUE(!c.installing || ConvertStringSidToSidA(c.installing, &installing));
        ASSERT_TRUE(!c.desk || ConvertStringSidToSidA(c.desk, &desk));
        EXPECT_EQ(c.expected, ShortcutFolderKind(c.kind, installing, desk))
            << (c.installing ? c.installing : "(none)") << " for " << (c.desk ? c.desk : "no one") << ", kind " << c.kind;
        LocalFree(installing);
        LocalFree(desk);
    }
    // This test program is the shell, as the user running it.
    EXPECT_EQ(CSIDL_PROGRAMS, DeskFolderKind(CSIDL_PROGRAMS));
}

TEST(SpecialFolders, ShellLookupGivesTheCurrentUsersProgramsAndDesktopFolders)
{
    char path[MAX_PATH];
    ASSERT_EQ(GetShellFolderPath(path, CSIDL_PROGRAMS), 1);
    EXPECT_EQ(std::string(path), SpecialFolder(CSIDL_PROGRAMS));
    ASSERT_EQ(GetShellFolderPath(path, CSIDL_DESKTOP), 1);
    EXPECT_EQ(std::string(path), SpecialFolder(CSIDL_DESKTOP));
    EXPECT_EQ(GetShellFolderPath(path, 0x7F), 0);
    WCHAR wide[MAX_PATH], expected[MAX_PATH] = L"";
    ASSERT_EQ(GetShellFolderPathW(wide, CSIDL_COMMON_PROGRAMS), 1);
    SHGetFolderPathW(NULL, CSIDL_COMMON_PROGRAMS, NULL, SHGFP_TYPE_CURRENT, expected);
    EXPECT_TRUE(wcscmp(wide, expected) == 0);
}

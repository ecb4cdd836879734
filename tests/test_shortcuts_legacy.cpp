// Special folders on systems of major version 3, where they are composed by
// hand from the Windows folder: Wine pretends NT 3.51 or Windows 3.1
// (Win32s) for this program, and LUNKO_EXPECT_NT says which of the two.

#include <gtest/gtest.h>

#include <shlobj.h>
#include <stdlib.h>

#include <string>

#include "shell/shell.h"
#include "tests/driver/driver.h"
#include "tests/test_shortcuts_support.h"
#include "wizard/wizard.h"

static const char kInstallFolder[] = "C:\\Lunko";

// The user's part of the composed paths, found independently: the Windows
// folder, then "profiles\<user>\" on the NT platform only.
static std::string UserRoot(void)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string root = windows;
    if (root.back() != '\\')
        root += "\\";
    if (TestSetting("LUNKO_EXPECT_NT") == "1") {
        char user[256];
        DWORD size = sizeof user;
        GetUserNameA(user, &size);
        root += std::string("profiles\\") + user + "\\";
    }
    return root;
}

static void PrepareInstallation(void)
{
    ReadPlatformFlags();
    lstrcpyA(InstallFolderPath, kInstallFolder);
    MakeFolders(kInstallFolder);
    WriteDummyFile(std::string(kInstallFolder) + "\\edit.exe");
    WriteDummyFile(std::string(kInstallFolder) + "\\notes.exe");
}

TEST(LegacyFolders, WinePretendsAVersionThreeSystem)
{
    ReadPlatformFlags();
    EXPECT_EQ(VersionThree, 1);
    EXPECT_EQ(NtPlatform, atoi(TestSetting("LUNKO_EXPECT_NT").c_str()));
}

TEST(LegacyFolders, ComposesTheFoldersFromTheWindowsFolder)
{
    ReadPlatformFlags();
    char path[MAX_PATH];
    ASSERT_EQ(GetLegacyShellFolderPath(path, CSIDL_PROGRAMS), 1);
    EXPECT_EQ(std::string(path), UserRoot() + "start menu\\programs");
    ASSERT_EQ(GetLegacyShellFolderPath(path, CSIDL_DESKTOP), 1);
    EXPECT_EQ(std::string(path), UserRoot() + "Desktop");
    ASSERT_EQ(GetLegacyShellFolderPath(path, CSIDL_PERSONAL), 1);
    EXPECT_EQ(std::string(path), UserRoot());
}

TEST(LegacyFolders, NamesTheWholeGroupPathWhenTheComposedParentIsMissing)
{
    PrepareInstallation();
    std::string programs = UserRoot() + "start menu\\programs";
    ASSERT_FALSE(FolderExists(programs));
    const ShortcutSpec shortcuts[] = { { "Editor", "edit.exe" }, { NULL, NULL } };
    StartNoticeWatch();
    EXPECT_EQ(CreateStartMenuGroup("Lunko", shortcuts, CSIDL_PROGRAMS), 0);
    std::vector<SeenNotice> notices = StopNoticeWatch();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].chinese, std::string(kShortcutFolderNoticeStart) + programs + "\\Lunko)!");
    EXPECT_EQ(notices[0].english, kShortcutFolderNotice);
    EXPECT_FALSE(FolderExists(programs + "\\Lunko"));
}

TEST(LegacyFolders, DesktopShortcutFailsSilentlyWithoutTheComposedDesktop)
{
    PrepareInstallation();
    std::string desktop = UserRoot() + "Desktop";
    ASSERT_FALSE(FolderExists(desktop));
    StartNoticeWatch();
    CreateDesktopShortcut("notes.exe", "Notes");
    EXPECT_TRUE(StopNoticeWatch().empty());
    EXPECT_FALSE(FileExists(desktop + "\\Notes.lnk"));
}

TEST(LegacyFolders, PutsTheGroupAndDesktopLinksIntoTheComposedFolders)
{
    PrepareInstallation();
    std::string programs = UserRoot() + "start menu\\programs";
    std::string desktop = UserRoot() + "Desktop";
    MakeFolders(programs);
    MakeFolders(desktop);
    const ShortcutSpec shortcuts[] = { { "Editor", "edit.exe" }, { NULL, NULL } };
    StartNoticeWatch();
    EXPECT_NE(CreateStartMenuGroup("Lunko", shortcuts, CSIDL_PROGRAMS), 0);
    CreateDesktopShortcut("notes.exe", "Notes");
    EXPECT_TRUE(StopNoticeWatch().empty());

    LinkFields group = ReadLink(programs + "\\Lunko\\Editor.lnk");
    ASSERT_TRUE(group.parsed) << group.report;
    EXPECT_EQ(group.localPath, "C:\\Lunko\\edit.exe");
    EXPECT_EQ(group.description, "Editor");
    LinkFields onDesktop = ReadLink(desktop + "\\Notes.lnk");
    ASSERT_TRUE(onDesktop.parsed) << onDesktop.report;
    EXPECT_EQ(onDesktop.localPath, "C:\\Lunko\\notes.exe");
    EXPECT_EQ(onDesktop.workingDirectory, "C:\\Lunko");
}

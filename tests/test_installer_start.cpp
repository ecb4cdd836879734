// The installer as a user meets it at start: the wizard on its first page,
// and the ways out of it with their exit codes.

#include <gtest/gtest.h>

#include "resources/ids.h"
#include "tests/driver/driver.h"
#include "wizard/wizard.h"

class Installer : public testing::Test {
protected:
    Program program = {};
    HWND wizard = NULL;

    void Start(const std::string &exe)
    {
        wizard = StartWizard(&program, exe);
        ASSERT_TRUE(wizard != NULL) << "the wizard of " << exe << " did not appear";
    }
    void TearDown() override { EndProgram(&program); }
};

TEST_F(Installer, OpensTheWizardOnItsFirstPage)
{
    Start(InstallerPath());
    SaveScreenshot(wizard, "wizard-start");

    for (int id : { IDC_DESKTOP_ICON, IDC_FOLDER_EDIT, IDC_FOLDER_LABEL, IDC_BROWSE, IDC_NEXT,
                    IDCANCEL, IDC_PANEL_BRAND, IDC_PANEL_PRODUCT, IDC_PANEL_INSTALLER,
                    IDC_PRODUCT_ICON, IDC_PRODUCT_NAME, IDC_INSTALLER_WORD, IDC_WEB_ADDRESS })
        EXPECT_TRUE(IsControlVisible(wizard, id)) << "control " << id;
    for (int id : { IDC_DISPLAY_FRAME, IDC_DISPLAY_QUESTION, IDC_DISPLAY_SAMPLE, IDC_DISPLAY_OK,
                    IDC_DISPLAY_NO, IDC_SHOW_ENGLISH, IDC_AGREEMENT_ZH, IDC_AGREEMENT_EN,
                    IDC_LANGUAGE_LABEL, IDC_LANGUAGE_COMBO, IDC_PROGRESS, IDC_WAIT_TEXT })
        EXPECT_FALSE(IsControlVisible(wizard, id)) << "control " << id;
    EXPECT_FALSE(IsControlVisible(wizard, IDC_BACK));
    EXPECT_FALSE(IsControlEnabled(wizard, IDC_BACK));

    EXPECT_EQ("C:\\Lunko", ControlText(wizard, IDC_FOLDER_EDIT));
    EXPECT_TRUE(IsChecked(wizard, IDC_DESKTOP_ICON));
    EXPECT_EQ(Control(wizard, IDC_FOLDER_EDIT), FocusedWindow(program.threadId))
        << "the focus starts in the folder box";

    HWND combo = Control(wizard, IDC_LANGUAGE_COMBO);
    ASSERT_EQ(3, SendMessageA(combo, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(0, SendMessageA(combo, CB_GETCURSEL, 0, 0));
    // The items hold the GBK bytes as the system code page reads them.
    EXPECT_EQ("English \xD3\xA2\xCE\xC4", ListItemText(combo, 0, true));
    EXPECT_EQ("Chinese(Simplified)  中文简体", ListItemText(combo, 1, true));
    EXPECT_EQ("Chinese(Traditional) 中文繁体", ListItemText(combo, 2, true));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(i, SendMessageA(combo, CB_GETITEMDATA, i, 0));
}

TEST_F(Installer, EndsWithExitCodeZeroOnEscape)
{
    Start(InstallerPath());
    PostKey(Control(wizard, IDC_FOLDER_EDIT), VK_ESCAPE);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

TEST_F(Installer, EndsWithExitCodeZeroOnCancel)
{
    Start(InstallerPath());
    ClickControl(wizard, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

TEST_F(Installer, EndsWithExitCodeZeroOnTheCloseBox)
{
    Start(InstallerPath());
    PostMessageA(wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

TEST_F(Installer, QuitsOnEnterWhileCancelHasTheFocus)
{
    Start(InstallerPath());
    FocusControl(wizard, IDCANCEL);
    ASSERT_EQ(Control(wizard, IDCANCEL), FocusedWindow(program.threadId));
    PostKey(Control(wizard, IDCANCEL), VK_RETURN);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

TEST_F(Installer, EndsWithExitCodeOneWhenTheGlyphSheetsDoNotInflate)
{
    for (const char *variant : { "LUNKO_BROKEN_SHEETS_INSTALLER", "LUNKO_SHORT_SHEETS_INSTALLER" }) {
        Program broken;
        ASSERT_TRUE(StartProgram(DosPath(TestSetting(variant)), &broken)) << variant;
        EXPECT_EQ(1, WaitForExit(&broken, 60000)) << variant;
        EndProgram(&broken);
    }
}

// One installer at a time: a second start, while the first shows its
// wizard (moved on a page) or a notice, brings that to the front and ends
// with 0 (an unattended one with 1618); a start after the first has ended runs as ever, also where some
// other program holds the name and shows no wizard.
TEST_F(Installer, ASecondStartShowsTheFirstWizardAndEndsWithZero)
{
    Start(InstallerPath());
    ASSERT_TRUE(PressForPage(wizard, IDC_NEXT, 1));
    for (bool notice : { false, true }) {
        SCOPED_TRACE(notice ? "while a notice shows" : "on page 1");
        if (notice)
            ClickControl(wizard, IDC_NEXT);     // no display answer: a notice
        HWND front = notice ? WaitForWindow(kNoticeCaption, program.processId, 30000) : wizard;
        ASSERT_TRUE(front != NULL);
        Program second;
        ASSERT_TRUE(StartProgram(InstallerPath(), &second));
        EXPECT_EQ(0, WaitForExit(&second, 120000));
        EndProgram(&second);
        EXPECT_EQ(front, GetForegroundWindow()) << "the first's window in front";
        EXPECT_EQ(1, PageOnScreen(wizard)) << "the first wizard goes on where it was";
    }
    // Unattended, it brings nothing forward, writes nothing and ends with
    // the system's code for another installation running.
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    SetForegroundWindow(other);
    Program silent;
    ASSERT_TRUE(StartProgram(InstallerPath(), &silent, nullptr, "/S"));
    EXPECT_EQ(1618, WaitForExit(&silent, 120000));
    EndProgram(&silent);
    EXPECT_EQ(other, GetForegroundWindow());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Lunko"));
    DestroyWindow(other);
    AnswerNotice(program.processId, IDOK);
    ClickControl(wizard, IDCANCEL);
    ASSERT_EQ(0, WaitForExit(&program, 60000));
    EndProgram(&program);

    HANDLE squatter = CreateMutexA(NULL, FALSE, "Global\\LunkovanZavavIrazazInstaller");
    ASSERT_TRUE(squatter != NULL);
    Start(InstallerPath());
    EXPECT_EQ(0, PageOnScreen(wizard));
    CloseHandle(squatter);
}

// The command line, read in place: without /S it stays unused; /D= takes the
// rest of the line as the folder, and what NSIS's rule would put in the
// folder is no switch.
TEST(Switches, StartUnattendedOnlyWithSlashSAndTakeTheRestOfTheLineAfterSlashDAsTheFolder)
{
    static const struct {
        const char *line;
        int expected;
        const char *folder;             // null: no /D=
    } kCases[] = {
        { "", kWizardStart, nullptr },
        { "/Q /D=C:\\Lunko", kWizardStart, "C:\\Lunko" },
        { "/SS", kWizardStart, nullptr },
        { "/S", kUnattended, nullptr },
        { "  /s\t", kUnattended, nullptr },
        { "/S /D=C:\\Program Files\\Lunko Silent", kUnattended, "C:\\Program Files\\Lunko Silent" },
        { "/s\t/d=C:\\Lunko Silent  \t", kUnattended, "C:\\Lunko Silent" },
        { "/S /D=C:\\Lunko /S", kUnattended, "C:\\Lunko /S" },
        { "/S /D=\"C:\\Lunko\"", kUnattended, "\"C:\\Lunko\"" },
        { "/D=C:\\Lunko /S", kWizardStart, "C:\\Lunko /S" },
        { "/S /D=", kUnattended, "" },
        { "/S /D=   ", kUnattended, "" },
        { "/S /Q", kUnknownSwitch, nullptr },
        { "/DIR=C:\\Lunko /S", kUnknownSwitch, nullptr },
        { "/S S", kUnknownSwitch, nullptr },
    };
    for (const auto &c : kCases) {
        std::string line = c.line;
        const char *folder = "(unset)";
        EXPECT_EQ(c.expected, ReadSwitches(&line[0], &folder)) << "\"" << c.line << "\"";
        EXPECT_EQ(c.folder ? c.folder : "(none)", std::string(folder ? folder : "(none)")) << "\"" << c.line << "\"";
    }
}

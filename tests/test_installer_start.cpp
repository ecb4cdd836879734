// The installer as a user meets it at start: the wizard on its first page,
// and the ways out of it with their exit codes.

#include <gtest/gtest.h>

#include "resources/ids.h"
#include "tests/driver/driver.h"

static const char kWizardCaption[] = "Lunkovan Zavav Irazaz Installer";

static std::string ItemBytes(HWND combo, int index)
{
    std::wstring text = ListItemText(combo, index, true);
    char bytes[512];
    int n = WideCharToMultiByte(936, 0, text.c_str(), (int)text.size(), bytes, sizeof bytes,
                                NULL, NULL);
    return std::string(bytes, n > 0 ? (size_t)n : 0);
}

class Installer : public testing::Test {
protected:
    Program program = {};
    HWND wizard = NULL;

    void Start(const std::string &exe)
    {
        ASSERT_TRUE(StartProgram(exe, &program)) << exe;
        wizard = WaitForWindow(kWizardCaption, program.processId);
        ASSERT_TRUE(wizard != NULL) << "the wizard did not appear";
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
    EXPECT_EQ("English \xD3\xA2\xCE\xC4", ItemBytes(combo, 0));
    EXPECT_EQ("Chinese(Simplified)  中文简体", ItemBytes(combo, 1));
    EXPECT_EQ("Chinese(Traditional) 中文繁体", ItemBytes(combo, 2));
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

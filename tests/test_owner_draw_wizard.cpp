// Owner drawing in the real wizard dialog: made here from template 114 with
// the wizard's own dialog procedure, so that the page can be set directly,
// and then the built installer's first page as a user sees it. The labels
// are compared on the screen with pictures built from the glyph sheet file.

#include <windows.h>

#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

#include "render/render.h"
#include "resources/ids.h"
#include "tests/pixel_support.h"
#include "wizard/wizard.h"

static const char kNextText[] = "\xCF\xC2\xD2\xBB\xB2\xBD Next";
static const char kInstallText[] = "\xCD\xAC\xD2\xE2/\xB0\xB2\xD7\xB0 Agree/Install";
static const char kProductText[] = "\xC2\xD7\xBF\xC6\xCD\xF2 Zavav Irazaz";

class WizardDrawing : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(LoadSheetsForTest()) << "ChnBmp.bin of the payload";
        CreateSampleFont();
        INITCOMMONCONTROLSEX classes = { sizeof classes, ICC_PROGRESS_CLASS };
        InitCommonControlsEx(&classes);
        ModuleInstance = GetModuleHandleA(NULL);
        WizardIcon = LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_WIZARD));
        WizardPage = 0;
        wizard = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_WIZARD), NULL,
                                    WizardDialogProc, 0);
        ASSERT_TRUE(wizard != NULL);
        WizardWindow = wizard;
        PumpMessages(1000);
    }
    static void TearDownTestSuite()
    {
        if (wizard)
            DestroyWindow(wizard);
        wizard = WizardWindow = NULL;
        WizardPage = 0;
    }

    static HFONT DialogFont() { return (HFONT)SendMessageA(wizard, WM_GETFONT, 0, 0); }

    // Differing pixels between the control's part of `screen` (the dialog's
    // client area) and its expected face, `inset` pixels in from the edge.
    static int LabelDifferences(HWND dialog, const Image &screen, int id, const char *text,
                                bool left, int inset, bool pressed = false)
    {
        return ControlDifferences(dialog, screen, id, text, DialogFont(), left, inset, pressed);
    }

    static Image Screen(HWND dialog)
    {
        Image image;
        EXPECT_TRUE(CaptureClient(dialog, &image));
        return image;
    }

    static void Redraw(int id)
    {
        InvalidateRect(GetDlgItem(wizard, id), NULL, TRUE);
        PumpMessages(500);
    }

    static HWND wizard;
};
HWND WizardDrawing::wizard;

TEST_F(WizardDrawing, ShowsTheLabelsOfTheFirstPageWhereTheirLayoutPutsThem)
{
    Image screen = Screen(wizard);
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDC_NEXT, kNextText, false, 3));
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDCANCEL, "取消 Cancel", false, 3));
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDC_BROWSE, "改变 Browse ....", false, 3));
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDC_FOLDER_LABEL, "安装路径： (Install Path)",
                                  true, 0));
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDC_PANEL_BRAND, "《Lunko》 Lunko", false, 0));
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDC_PANEL_PRODUCT, kProductText, false, 0));
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDC_PANEL_INSTALLER, "安装程序", false, 0));
}

TEST_F(WizardDrawing, PaintsTheSubclassedDesktopIconBoxWithItsBilingualText)
{
    // Made 26 pixels high, where the square sits at (2, 4)-(17, 18) and the
    // text at (32, 1); the template's 16 dialog units give another height
    // with Wine's fonts.
    HWND box = GetDlgItem(wizard, IDC_DESKTOP_ICON);
    RECT r = ControlClientRect(wizard, IDC_DESKTOP_ICON);
    MoveWindow(box, r.left, r.top, r.right - r.left, 26, TRUE);
    PumpMessages(500);
    RECT client;
    GetClientRect(box, &client);
    ASSERT_EQ(26, client.bottom);
    Image screen;
    ASSERT_TRUE(CaptureClient(box, &screen));

    // A fresh paint context: its own default font, black text.
    Image expected = ExpectedCheckBox(client.right, 26, kCheckSquare, DFCS_BUTTONCHECK | DFCS_CHECKED,
                                      32, 1, kDesktopIconText, GetFocus() == box);
    EXPECT_EQ(0, CountDifferences(screen, expected, 0, 0, client.right, 26));
}

TEST_F(WizardDrawing, LabelsNextByThePageItIsDrawnOn)
{
    const struct { int page; const char *text; } pages[] = {
        { 2, kNextText }, { 3, kInstallText }, { 99, kInstallText }, { 0, kNextText },
    };
    for (const auto &page : pages) {
        WizardPage = page.page;
        Redraw(IDC_NEXT);
        EXPECT_EQ(0, LabelDifferences(wizard, Screen(wizard), IDC_NEXT, page.text, false, 3))
            << "page " << page.page;
    }
    WizardPage = 0;
}

TEST_F(WizardDrawing, PressedNextKeepsItsBlackFrameAndMovesItsLabel)
{
    HWND next = GetDlgItem(wizard, IDC_NEXT);
    SendMessageA(next, BM_SETSTATE, TRUE, 0);
    PumpMessages(500);
    Image screen = Screen(wizard);
    SendMessageA(next, BM_SETSTATE, FALSE, 0);
    PumpMessages(300);

    RECT r = ControlClientRect(wizard, IDC_NEXT);
    int w = r.right - r.left, h = r.bottom - r.top;
    Image part = Crop(screen, r.left, r.top, w, h);
    EXPECT_EQ(0, PixelsNot(part, 0, 0, w, 1, 0)) << "top of the frame";
    EXPECT_EQ(0, PixelsNot(part, 0, h - 1, w, 1, 0)) << "bottom of the frame";
    EXPECT_EQ(0, PixelsNot(part, 0, 0, 1, h, 0)) << "left of the frame";
    EXPECT_EQ(0, PixelsNot(part, w - 1, 0, 1, h, 0)) << "right of the frame";
    EXPECT_EQ(SystemColour(COLOR_BTNSHADOW), part.At(1, h / 2)) << "light and shadow swapped";
    EXPECT_EQ(SystemColour(COLOR_BTNHIGHLIGHT), part.At(w - 3, h / 2));
    EXPECT_EQ(0, LabelDifferences(wizard, screen, IDC_NEXT, kNextText, false, 3, true));
}

// The built installer, started as a user would start it.
TEST_F(WizardDrawing, TheInstallersFirstPageShowsItsLabelsWhole)
{
    ASSERT_FALSE(TestSetting("LUNKO_INSTALLER").empty()) << "the installer is built";
    Program installer;
    HWND shown = StartWizard(&installer, InstallerPath());
    ASSERT_TRUE(shown != NULL);
    Sleep(500);                         // the labels are drawn after the window shows
    EXPECT_TRUE(SaveScreenshot(shown, "wizard_first_page"));

    Image screen = Screen(shown);
    EXPECT_EQ(0, LabelDifferences(shown, screen, IDC_NEXT, kNextText, false, 3));
    EXPECT_EQ(0, LabelDifferences(shown, screen, IDC_PANEL_PRODUCT, kProductText, false, 0));
    EXPECT_EQ(0, LabelDifferences(shown, screen, IDC_FOLDER_LABEL, "安装路径： (Install Path)",
                                  true, 0));

    ClickControl(shown, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&installer, 30000));
    EndProgram(&installer);
}

// Owner drawing on memory DCs with hand-made draw records: each label's text
// and place, the bevel and its pressed look, the default command's frame,
// the focus rectangle, list and combo items, and the check boxes, compared
// pixel by pixel with pictures built from the glyph sheet file.

#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "render/render.h"
#include "resources/ids.h"
#include "tests/pixel_support.h"
#include "wizard/wizard.h"

static const COLORREF kUntouched = RGB(255, 0, 255);

class OwnerButton : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadSheetsForTest()) << "ChnBmp.bin of the payload"; }

    void SetUp() override { savedPage = WizardPage; }
    void TearDown() override { WizardPage = savedPage; }

    // A draw record for control `id` over the whole canvas, drawn on a DC
    // prepared as a button's: the given font, black text, face background.
    static void Draw(Canvas &canvas, int id, UINT action, UINT state, HWND window = NULL)
    {
        DRAWITEMSTRUCT item;
        ZeroMemory(&item, sizeof item);
        item.CtlType = ODT_BUTTON;
        item.CtlID = (UINT)id;
        item.itemAction = action;
        item.itemState = state;
        item.hwndItem = window;
        item.hDC = canvas.dc;
        SetRect(&item.rcItem, 0, 0, canvas.width, canvas.height);
        SetTextColor(canvas.dc, RGB(0, 0, 0));
        SetBkColor(canvas.dc, GetSysColor(COLOR_BTNFACE));
        DrawOwnerButton(&item, NULL);
        GdiFlush();
    }

    int savedPage = 0;
};

struct LabelCase {
    int id;
    const char *text;
    bool framed;
    bool left;
    const wchar_t *englishName;         // the name where the system cannot convert GBK
};

// The Chinese of the first entries is spelt in GBK bytes, so that a source
// or compiler encoding slip cannot pass.
static const LabelCase kLabels[] = {
    { IDOK, "\xC8\xB7\xC8\xCF OK", true, false, L"OK" },
    { IDCANCEL, "\xC8\xA1\xCF\xFB Cancel", true, false, L"Cancel" },
    { IDYES, "\xCA\xC7 Yes", true, false, L"Yes" },
    { IDNO, "\xB7\xF1 No", true, false, L"No" },
    { IDC_PANEL_PRODUCT, "\xC2\xD7\xBF\xC6\xCD\xF2 Zavav Irazaz", false, false, L"Zavav Irazaz" },
    { IDC_BACK, "退一步 Back", true, false, L"Back" },
    { IDC_BROWSE, "改变 Browse ....", true, false, L"Browse ...." },
    { IDC_FOLDER_LABEL, "安装路径： (Install Path)", false, true, L"(Install Path)" },
    { IDC_CHOOSER_DIRS_LABEL, "路径 (Directories):", false, true, L"(Directories):" },
    { IDC_PANEL_BRAND, "《Lunko》 Lunko", false, false, L"Lunko Lunko" },
    { IDC_CHOOSER_DRIVES_LABEL, "磁盘 (Drives):", false, true, L"(Drives):" },
    { IDC_PANEL_INSTALLER, "安装程序", false, false, L"" },
    { IDC_DISPLAY_QUESTION, "以上中文显示正确吗 (Is the Above Chinese Display OK)?", false, false,
      L"(Is the Above Chinese Display OK)?" },
    { IDC_LANGUAGE_LABEL, "User Interface Language 用户界面语言", false, false, L"User Interface Language" },
};

TEST_F(OwnerButton, DrawsEveryFixedLabelWhereItsLayoutPutsIt)
{
    const int w = 420, h = 26;
    for (const LabelCase &label : kLabels) {
        Canvas canvas(w, h, kUntouched, GuiFont());
        Draw(canvas, label.id, ODA_DRAWENTIRE, 0);
        Image drawn = canvas.Snapshot();
        Image expected = ExpectedFace(w, h, label.text, GuiFont(), label.left, false);
        // Inside the bevel for framed buttons, all of it for plain labels.
        int inset = label.framed ? 3 : 0;
        EXPECT_EQ(0, CountDifferences(drawn, expected, inset, inset, w - 2 * inset, h - 2 * inset))
            << "label of control " << label.id;
        EXPECT_EQ(label.framed, drawn.At(w - 2, h / 2) != SystemColour(COLOR_BTNFACE))
            << "bevel of control " << label.id;
        // The name screen readers get comes from the same label.
        ASSERT_STREQ(label.text, ButtonLabelText(label.id));
        WCHAR name[128];
        EXPECT_EQ((int)wcslen(label.englishName), WidenLabelText(label.text, 0, name, 128));
        EXPECT_STREQ(label.englishName, name) << "name without GBK of control " << label.id;
    }
}

// A label wider than its control (a framed one: than its focus rectangle)
// loses English from the end of its longest one-byte run, "..." marking the
// cut; its Chinese stays. `fitsLike` gives the width the label is fitted to.
TEST_F(OwnerButton, ShortensTheEnglishOfALabelTooWideAndKeepsItsChinese)
{
    const struct { const char *text, *fitsLike, *fitted; } cases[] = {
        { "以上中文显示正确吗 (Is the Above Chinese Display OK)?", "以上中文显示正确吗 (Is the Above...",
          "以上中文显示正确吗 (Is the Above..." },
        // No blank is left before the mark; the one before the Chinese stays.
        { "以上中文显示正确吗 (Is the Above Chinese Display OK)?", "以上中文显示正确吗 (Is the ...",
          "以上中文显示正确吗 (Is the..." },
        { "User Interface Language 用户界面语言", "User Interface... 用户界面语言",
          "User Interface... 用户界面语言" },
        { "同意/安装 Agree/Install", "同意/安装 Agree...", "同意/安装 Agree..." },
        // Where even the mark does not fit, the English goes whole.
        { "取消 Cancel", "取消", "取消" },
        // A run of three or fewer characters makes room for the mark.
        { "否 No", "否 N", "否..." },
        // Chinese alone too wide: left as it is, for the caller to place.
        { "安装程序", "安", "安装程序" },
        // A label that fits is not touched, not even its blanks.
        { "确认 OK ", "确认 OK ", "确认 OK " },
        { "", "", "" },
    };
    Canvas canvas(10, 10, kUntouched, GuiFont());
    for (const auto &c : cases) {
        char text[128];
        lstrcpynA(text, c.text, sizeof text);
        FitLabelText(canvas.dc, text, MeasureLabelText(canvas.dc, c.fitsLike).cx);
        EXPECT_STREQ(c.fitted, text) << c.text << " fitted like " << c.fitsLike;
    }
}

// Drawn too wide for their controls, and the framed ones focused: the
// leading Chinese characters are whole, none cut by an edge or crossed by
// the focus rectangle (all of them, but where the Chinese alone is too wide).
// The plain labels are disabled controls, which never take the focus.
TEST_F(OwnerButton, KeepsTheChineseOfALabelTooWideForItsControlWhole)
{
    const struct { int id, page, w; UINT state; const char *chinese; } cases[] = {
        { IDC_DISPLAY_QUESTION, 0, 200, 0, "以上中文显示正确吗" },
        { IDC_LANGUAGE_LABEL, 0, 120, 0, "用户界面语言" },
        { IDC_NEXT, 3, 100, ODS_FOCUS, "同意/安装" },
        { IDC_BROWSE, 0, 70, ODS_FOCUS, "改变" },
        { IDCANCEL, 0, 50, ODS_FOCUS | ODS_SELECTED, "取消" },
        { IDC_PANEL_INSTALLER, 0, 40, 0, "安装" },
    };
    for (const auto &c : cases) {
        WizardPage = c.page;
        Canvas canvas(c.w, 23, kUntouched, GuiFont());
        Draw(canvas, c.id, ODA_DRAWENTIRE, c.state);
        Image drawn = canvas.Snapshot();
        for (const unsigned char *g = (const unsigned char *)c.chinese; *g; g += *g >= 0x80 ? 2 : 1)
            if (*g >= 0x80) {
                EXPECT_TRUE(FindsGlyph(drawn, (unsigned)g[0] << 8 | g[1]))
                    << std::hex << (g[0] << 8 | g[1]) << " of control " << std::dec << c.id;
            }
    }
}

TEST_F(OwnerButton, PressingSwapsTheBevelColoursAndMovesTheTextTwoRightOneDown)
{
    const int w = 100, h = 26;
    uint32_t light = SystemColour(COLOR_BTNHIGHLIGHT), shadow = SystemColour(COLOR_BTNSHADOW);
    uint32_t face = SystemColour(COLOR_BTNFACE);
    ASSERT_NE(light, shadow);
    for (int pressed = 0; pressed <= 1; pressed++) {
        Canvas canvas(w, h, kUntouched, GuiFont());
        Draw(canvas, IDCANCEL, ODA_DRAWENTIRE, pressed ? ODS_SELECTED : 0);
        Image drawn = canvas.Snapshot();
        uint32_t a = pressed ? shadow : light, b = pressed ? light : shadow;
        SCOPED_TRACE(pressed ? "pressed" : "raised");
        // Two rings: A on the left and top, B on the right and bottom.
        for (int i = 1; i <= 2; i++) {
            EXPECT_EQ(a, drawn.At(i, h / 2));
            EXPECT_EQ(a, drawn.At(w / 2, i));
            EXPECT_EQ(b, drawn.At(w - 1 - i, h / 2));
            EXPECT_EQ(b, drawn.At(w / 2, h - 1 - i));
        }
        // The outermost right and bottom lines in B; the left and top edge is face.
        EXPECT_EQ(b, drawn.At(w - 1, h / 2));
        EXPECT_EQ(b, drawn.At(w / 2, h - 1));
        EXPECT_EQ(face, drawn.At(0, h / 2));
        EXPECT_EQ(face, drawn.At(w / 2, 0));
        Image expected = ExpectedFace(w, h, "取消 Cancel", GuiFont(), false, pressed);
        EXPECT_EQ(0, CountDifferences(drawn, expected, 3, 3, w - 6, h - 6));
    }
}

TEST_F(OwnerButton, FramesTheDefaultCommandInBlackPressedOrNot)
{
    const int w = 160, h = 26;
    uint32_t black = 0, light = SystemColour(COLOR_BTNHIGHLIGHT);
    uint32_t shadow = SystemColour(COLOR_BTNSHADOW);
    for (int pressed = 0; pressed <= 1; pressed++) {
        SCOPED_TRACE(pressed ? "pressed" : "raised");
        Canvas canvas(w, h, kUntouched, GuiFont());
        Draw(canvas, IDC_NEXT, ODA_DRAWENTIRE, pressed ? ODS_SELECTED : 0);
        Image drawn = canvas.Snapshot();
        for (int x = 0; x < w; x++) {
            ASSERT_EQ(black, drawn.At(x, 0)) << x;
            ASSERT_EQ(black, drawn.At(x, h - 1)) << x;
        }
        for (int y = 0; y < h; y++) {
            ASSERT_EQ(black, drawn.At(0, y)) << y;
            ASSERT_EQ(black, drawn.At(w - 1, y)) << y;
        }
        // The second black line covers the outer bevel ring's shadow side.
        EXPECT_EQ(black, drawn.At(w - 2, h / 2));
        EXPECT_EQ(black, drawn.At(w / 2, h - 2));
        EXPECT_EQ(pressed ? shadow : light, drawn.At(1, h / 2));
        EXPECT_EQ(pressed ? light : shadow, drawn.At(w - 3, h / 2));
    }
}

// The line is where a focused face differs from an unfocused one: round
// the label, off its glyphs and letters.
TEST_F(OwnerButton, AFocusOnlyRequestDrawsJustTheFocusLineRoundTheLabel)
{
    const int w = 100, h = 32;
    Canvas canvas(w, h, kUntouched, GuiFont());
    Draw(canvas, IDOK, ODA_FOCUS, ODS_FOCUS);
    Image drawn = canvas.Snapshot();
    Image plain = ExpectedFace(w, h, "确认 OK", GuiFont());
    Image focused = ExpectedFace(w, h, "确认 OK", GuiFont(), false, false, true);
    int line = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            bool onLine = plain.At(x, y) != focused.At(x, y);
            line += onLine;
            ASSERT_EQ(onLine, drawn.At(x, y) != Rgb(kUntouched)) << x << "," << y;
        }
    EXPECT_GT(line, 2 * 16);

    // Focus gone: nothing at all.
    canvas.Fill(kUntouched);
    Draw(canvas, IDOK, ODA_FOCUS, 0);
    EXPECT_EQ(0, PixelsNot(canvas.Snapshot(), 0, 0, w, h, Rgb(kUntouched)));
}

TEST_F(OwnerButton, NeverDrawsThePanelBlankAndOnlyTheFaceOfTheBottomStrip)
{
    Canvas canvas(200, 26, kUntouched, GuiFont());
    Draw(canvas, IDC_PANEL_BLANK, ODA_DRAWENTIRE, ODS_FOCUS);
    EXPECT_EQ(0, PixelsNot(canvas.Snapshot(), 0, 0, 200, 26, Rgb(kUntouched)));
    Draw(canvas, IDC_BOTTOM_STRIP, ODA_DRAWENTIRE, 0);
    EXPECT_EQ(0, PixelsNot(canvas.Snapshot(), 0, 0, 200, 26, SystemColour(COLOR_BTNFACE)));
}

TEST_F(OwnerButton, DrawsTheSampleLineWithTheSampleFontAndNotFromTheSheets)
{
    CreateSampleFont();
    ASSERT_TRUE(SampleFont != NULL);
    const int w = 320, h = 41;
    const char sample[] = "\xC8\xD5\xB3\xF6\xBD\xAD\xBB\xA8\xBA\xEC\xCA\xA4\xBB\xF0";
    Canvas canvas(w, h, kUntouched, GuiFont());
    Draw(canvas, IDC_DISPLAY_SAMPLE, ODA_DRAWENTIRE, 0);

    // Centred on seven 16-pixel cells, whatever the font draws.
    Canvas reference(w, h, GetSysColor(COLOR_BTNFACE), SampleFont);
    SetBkMode(reference.dc, TRANSPARENT);
    DrawSampleText(reference.dc, (w - 112) / 2, (h - 16) / 2, sample, 14);
    Image drawn = canvas.Snapshot();
    EXPECT_EQ(0, CountDifferences(drawn, reference.Snapshot(), 0, 0, w, h));
    EXPECT_GT(PixelsNot(drawn, 0, 0, w, h, SystemColour(COLOR_BTNFACE)), 20) << "ink of the sample";
    EXPECT_GT(GlyphMismatches(drawn, (w - 112) / 2, (h - 16) / 2, 0xC8D5, 0,
                              SystemColour(COLOR_BTNFACE)), 0) << "not the sheet's glyph";

    // Without a sample font the face stays empty.
    HFONT font = SampleFont;
    SampleFont = NULL;
    Draw(canvas, IDC_DISPLAY_SAMPLE, ODA_DRAWENTIRE, 0);
    SampleFont = font;
    EXPECT_EQ(0, PixelsNot(canvas.Snapshot(), 0, 0, w, h, SystemColour(COLOR_BTNFACE)));
}

// Controls without a fixed label show their window text, cut to 79 bytes.
class WindowTextLabel : public OwnerButton {
protected:
    void SetUp() override
    {
        OwnerButton::SetUp();
        control = CreateWindowA("BUTTON", "", WS_POPUP | BS_OWNERDRAW, 0, 0, 10, 10, NULL, NULL,
                                NULL, NULL);
        ASSERT_TRUE(control != NULL);
    }
    void TearDown() override
    {
        DestroyWindow(control);
        OwnerButton::TearDown();
    }
    HWND control = NULL;
};

static std::string Repeat(const char *piece, int times)
{
    std::string text;
    for (int i = 0; i < times; i++)
        text += piece;
    return text;
}

TEST_F(WindowTextLabel, ShowsTheWindowTextOfControlsWithoutAFixedLabel)
{
    SetWindowTextA(control, "Wait");
    Canvas canvas(240, 23, kUntouched, GuiFont());
    Draw(canvas, IDC_WAIT_TEXT, ODA_DRAWENTIRE, 0, control);
    Image expected = ExpectedFace(240, 23, "Wait", GuiFont());
    EXPECT_EQ(0, CountDifferences(canvas.Snapshot(), expected, 3, 3, 234, 17));
}

TEST_F(WindowTextLabel, DrawsOnlyTheFirst79BytesOfALongerText)
{
    // 81 bytes: "A" and 40 characters; 79 bytes keep "A" and 39 of them.
    std::string text = "A" + Repeat("\xB0\xA1", 40);
    SetWindowTextA(control, text.c_str());
    const int w = 700, h = 48;
    Canvas canvas(w, h, kUntouched, GuiFont());
    Draw(canvas, IDC_MESSAGE_CHINESE, ODA_DRAWENTIRE, 0, control);
    Image expected = ExpectedFace(w, h, text.substr(0, 79).c_str(), GuiFont());
    EXPECT_EQ(0, CountDifferences(canvas.Snapshot(), expected, 0, 0, w, h));
}

TEST_F(WindowTextLabel, DropsACharacterThatThe79ByteCutWouldSplit)
{
    // 80 bytes of 40 characters: the 79th byte is a lead byte, which alone
    // would draw an unrelated cell; 39 whole characters remain.
    std::string text = Repeat("\xB0\xA1", 40);
    SetWindowTextA(control, text.c_str());
    const int w = 700, h = 48;
    Canvas canvas(w, h, kUntouched, GuiFont());
    Draw(canvas, IDC_MESSAGE_CHINESE, ODA_DRAWENTIRE, 0, control);
    Image drawn = canvas.Snapshot();
    Image expected = ExpectedFace(w, h, text.substr(0, 78).c_str(), GuiFont());
    EXPECT_EQ(0, CountDifferences(drawn, expected, 0, 0, w, h));
    int x = (w - 39 * 16) / 2;
    EXPECT_EQ(0, GlyphMismatches(drawn, x + 38 * 16, 16, 0xB0A1, 0, SystemColour(COLOR_BTNFACE)));
    EXPECT_EQ(0, PixelsNot(drawn, x + 39 * 16, 0, w - x - 39 * 16, h, SystemColour(COLOR_BTNFACE)));
}

// ---- list and combo items ----------------------------------------------------

class OwnerListItem : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(LoadSheetsForTest());
        dialog = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
        list = CreateWindowA("LISTBOX", "", WS_CHILD | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOSEL,
                             0, 0, 300, 100, dialog, (HMENU)IDC_AGREEMENT_ZH, NULL, NULL);
        combo = CreateWindowA("COMBOBOX", "",
                              WS_CHILD | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS, 0,
                              120, 300, 100, dialog, (HMENU)IDC_LANGUAGE_COMBO, NULL, NULL);
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM) "English 英文");
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM) "Chinese(Simplified)  中文简体");
        SendMessageA(combo, CB_SETITEMDATA, 1, 1);     // the interface language, as in the wizard
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "第一条 The first line");
    }
    static void TearDownTestSuite() { DestroyWindow(dialog); }

    static void Draw(Canvas &canvas, int id, int isCombo, UINT itemId, UINT state)
    {
        DRAWITEMSTRUCT item;
        ZeroMemory(&item, sizeof item);
        item.CtlType = isCombo ? ODT_COMBOBOX : ODT_LISTBOX;
        item.CtlID = (UINT)id;
        item.itemID = itemId;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = state;
        item.hwndItem = isCombo ? combo : list;
        item.itemData = (ULONG_PTR)SendMessageA(item.hwndItem, isCombo ? CB_GETITEMDATA : LB_GETITEMDATA,
                                                itemId, 0);
        item.hDC = canvas.dc;
        SetRect(&item.rcItem, 0, 0, canvas.width, 23);
        // Through the wizard's handler, which hands the renderer each
        // item's own bytes.
        WizardDialogProc(dialog, WM_DRAWITEM, (WPARAM)id, (LPARAM)&item);
        GdiFlush();
    }
    // The item drawn on a fresh canvas `w` wide, and as it should look:
    // `text` at (2, 2) on `fill`, black unless told otherwise.
    static Image Drawn(int w, int id, int isCombo, UINT itemId, UINT state)
    {
        Canvas canvas(w, 23, kUntouched, GuiFont());
        Draw(canvas, id, isCombo, itemId, state);
        return canvas.Snapshot();
    }
    static Image ExpectedItem(int w, const char *text, COLORREF fill = GetSysColor(COLOR_WINDOW),
                              COLORREF ink = GetSysColor(COLOR_WINDOWTEXT),
                              COLORREF ascii = GetSysColor(COLOR_WINDOWTEXT))
    {
        Canvas reference(w, 23, fill, GuiFont());
        DrawExpectedLabel(reference.dc, 2, 2, text, ink, ascii);
        return reference.Snapshot();
    }

    static HWND dialog, list, combo;
};
HWND OwnerListItem::dialog, OwnerListItem::list, OwnerListItem::combo;

TEST_F(OwnerListItem, ShowsASelectedComboItemInTheHighlightColours)
{
    Image drawn = Drawn(300, IDC_LANGUAGE_COMBO, 1, 1, ODS_SELECTED | ODS_FOCUS);
    COLORREF fill = GetSysColor(COLOR_HIGHLIGHT), text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    Canvas reference(300, 23, fill, GuiFont());
    DrawExpectedLabel(reference.dc, 2, 2, "Chinese(Simplified)  中文简体", text, text);
    RECT whole = { 0, 0, 300, 23 };
    DrawFocusRect(reference.dc, &whole);
    EXPECT_EQ(0, CountDifferences(drawn, reference.Snapshot(), 0, 0, 300, 23));
    EXPECT_GT(PixelsNot(drawn, 0, 0, 300, 23, Rgb(fill)), 50) << "the text shows";
}

TEST_F(OwnerListItem, ShowsAnUnselectedComboItemInTheWindowColours)
{
    EXPECT_EQ(0, CountDifferences(Drawn(300, IDC_LANGUAGE_COMBO, 1, 0, 0),
                                  ExpectedItem(300, "English \xD3\xA2\xCE\xC4"), 0, 0, 300, 23));
}

TEST_F(OwnerListItem, DrawsAgreementLinesInTheWindowTextColourOnTheWindowColour)
{
    EXPECT_EQ(0, CountDifferences(Drawn(300, IDC_AGREEMENT_ZH, 0, 0, 0),
                                  ExpectedItem(300, "第一条 The first line"), 0, 0, 300, 23));
}

// An agreement line carries its own GBK bytes in its item data: on a Big5
// system the list's copy of its string comes back with 确 (C8 B7) lost.
TEST_F(OwnerListItem, DrawsAnAgreementLineFromTheBytesItCarries)
{
    static const char line[] = "确认本协议 Agreement";
    int index = (int)SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)line);
    ASSERT_GE(index, 0);
    SendMessageA(list, LB_SETITEMDATA, (WPARAM)index, (LPARAM)line);
    EXPECT_EQ(0, CountDifferences(Drawn(300, IDC_AGREEMENT_ZH, 0, (UINT)index, 0),
                                  ExpectedItem(300, line), 0, 0, 300, 23))
        << "code page " << GetACP();
    SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0);
}

TEST_F(OwnerListItem, FillsButWritesNothingForItemNumbersAtOrPastTheCount)
{
    Canvas canvas(300, 23, kUntouched);
    const struct { int id; int isCombo; UINT item; } cases[] = {
        { IDC_LANGUAGE_COMBO, 1, 2 }, { IDC_LANGUAGE_COMBO, 1, (UINT)-1 },
        { IDC_AGREEMENT_ZH, 0, 1 }, { IDC_AGREEMENT_ZH, 0, 0x80000000u },
    };
    for (const auto &c : cases) {
        canvas.Fill(kUntouched);
        Draw(canvas, c.id, c.isCombo, c.item, 0);
        EXPECT_EQ(0, PixelsNot(canvas.Snapshot(), 0, 0, 300, 23, SystemColour(COLOR_WINDOW)))
            << "item " << (int)c.item << " of " << c.id;
    }
}

TEST_F(OwnerListItem, CutsAnItemOver259BytesOnACharacterBoundary)
{
    // "A" + 150 characters (301 bytes) keeps "A" and 129 characters; "AA" +
    // 150 would split the 130th, so it keeps 128. Both for the list's own
    // string and for the bytes a line carries in its item data.
    const struct { const char *head; int kept; int carried; } cases[] = {
        { "A", 129, 0 }, { "AA", 128, 0 }, { "A", 129, 1 }, { "AA", 128, 1 },
    };
    for (const auto &c : cases) {
        std::string text = c.head + Repeat("\xB0\xA1", 150);
        int index = (int)SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)text.c_str());
        ASSERT_GE(index, 0);
        if (c.carried)
            SendMessageA(list, LB_SETITEMDATA, (WPARAM)index, (LPARAM)text.c_str());
        const int w = 2500;
        std::string kept = c.head + Repeat("\xB0\xA1", c.kept);
        EXPECT_EQ(0, CountDifferences(Drawn(w, IDC_AGREEMENT_ZH, 0, (UINT)index, 0),
                                      ExpectedItem(w, kept.c_str()), 0, 0, w, 23))
            << c.head << (c.carried ? " carried" : " fetched");
        SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0);
    }
}

// ---- check boxes ---------------------------------------------------------------

class CheckBox : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(LoadSheetsForTest()); }

    void SetUp() override
    {
        parent = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 100, NULL, NULL,
                               NULL, NULL);
        ASSERT_TRUE(parent != NULL);
    }
    void TearDown() override { DestroyWindow(parent); }

    HWND MakeBox(int id, DWORD type, int height, const char *text = "", int width = 360)
    {
        return CreateWindowA("BUTTON", text, WS_CHILD | WS_VISIBLE | type, 0, 0, width, height,
                             parent, (HMENU)(INT_PTR)id, NULL, NULL);
    }

    static Image Paint(HWND box, int w, int h)
    {
        Canvas canvas(w, h, kUntouched);
        PaintCheckBox(box, canvas.dc);
        return canvas.Snapshot();
    }

    // Differing pixels between the box as painted and a box 26 pixels high
    // with its square in place and `text` at (32, 1).
    static int Mismatches(HWND box, UINT frame, const char *text, bool focused = false)
    {
        return CountDifferences(Paint(box, 360, 26),
                                ExpectedCheckBox(360, 26, kCheckSquare, frame, 32, 1, text, focused),
                                0, 0, 360, 26);
    }

    HWND parent = NULL;
};

TEST_F(CheckBox, PutsTheSquareAtTwoFourAndTheTextAtThirtyTwoOneInAClientAreaTwentySixHigh)
{
    HWND box = MakeBox(IDC_DESKTOP_ICON, BS_AUTOCHECKBOX, 26);
    RECT client;
    GetClientRect(box, &client);
    ASSERT_EQ(26, client.bottom);
    EXPECT_EQ(0, Mismatches(box, DFCS_BUTTONCHECK, kDesktopIconText));
}

TEST_F(CheckBox, PaintsTheTickWhenChecked)
{
    HWND box = MakeBox(IDC_DISPLAY_OK, BS_AUTOCHECKBOX, 26);
    SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(0, Mismatches(box, DFCS_BUTTONCHECK | DFCS_CHECKED, "正确(OK)"));
}

TEST_F(CheckBox, DrawsADisabledBoxInactiveWithItsTextInTheNormalColour)
{
    HWND box = MakeBox(IDC_DISPLAY_NO, BS_AUTOCHECKBOX, 26);
    EnableWindow(box, FALSE);
    EXPECT_EQ(0, Mismatches(box, DFCS_BUTTONCHECK | DFCS_INACTIVE, "不正确(NO)"));
    EXPECT_EQ(0, GlyphMismatches(Paint(box, 360, 26), 32, 1, 0xB2BB, 0, SystemColour(COLOR_BTNFACE)));
}

TEST_F(CheckBox, FramesTheTextWhenTheBoxHasTheFocus)
{
    HWND box = MakeBox(IDC_DESKTOP_ICON, BS_AUTOCHECKBOX, 26);
    SetForegroundWindow(parent);
    SetFocus(box);
    ASSERT_EQ(box, GetFocus());
    EXPECT_EQ(0, Mismatches(box, DFCS_BUTTONCHECK, kDesktopIconText, true));
}

TEST_F(CheckBox, ShowsTheWindowTextOfOtherBoxesAndShapesRadioButtonsOtherwise)
{
    // h = 30: the square (-2, -2)-(28, 28) shrinks by 2 to (0, 0)-(26, 26),
    // then the radio proportions give (-1, 1)-(20, 24); the text starts at
    // 2 * 20 + 1.
    HWND box = MakeBox(1099, BS_AUTORADIOBUTTON, 26, "Radio text");
    RECT square = { -1, 1, 20, 24 };
    EXPECT_EQ(0, DifferencesKept(Paint(box, 360, 26),
                                 ExpectedCheckBox(360, 26, square, DFCS_BUTTONRADIO, 41, 1, "Radio text", false),
                                 "check_box_radio"));
}

TEST_F(CheckBox, CutsALongWindowTextTo126Bytes)
{
    std::string text = Repeat("x", 200);
    HWND box = MakeBox(1098, BS_CHECKBOX, 26, text.c_str(), 1400);
    EXPECT_EQ(0, DifferencesKept(Paint(box, 1400, 26),
                                 ExpectedCheckBox(1400, 26, kCheckSquare, DFCS_BUTTONCHECK, 32, 1,
                                                  text.substr(0, 126).c_str(), false),
                                 "check_box_long_text"));
}

TEST_F(CheckBox, SubclassedBoxesStillTickOnAClickAndPaintThemselves)
{
    HWND box = MakeBox(IDC_DESKTOP_ICON, BS_AUTOCHECKBOX, 26);
    WNDPROC saved = SavedButtonProc;
    SavedButtonProc = (WNDPROC)SetWindowLongA(box, GWL_WNDPROC, (LONG)CheckBoxSubclassProc);
    ASSERT_TRUE(SavedButtonProc != NULL);
    PumpMessages(300);

    SendMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    RECT update;
    EXPECT_TRUE(GetUpdateRect(box, &update, FALSE)) << "the click asks for a repaint";
    SendMessageA(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(BST_CHECKED, SendMessageA(box, BM_GETCHECK, 0, 0));

    // What reaches the screen is our painting, not the button procedure's.
    InvalidateRect(box, NULL, TRUE);
    PumpMessages(500);
    Image screen;
    ASSERT_TRUE(CaptureClient(box, &screen));
    Image expected = ExpectedCheckBox(360, 26, kCheckSquare, DFCS_BUTTONCHECK | DFCS_CHECKED, 32, 1,
                                      kDesktopIconText, GetFocus() == box);
    EXPECT_EQ(0, CountDifferences(screen, expected, 0, 0, 360, 26));

    SetWindowLongA(box, GWL_WNDPROC, (LONG)SavedButtonProc);
    SavedButtonProc = saved;
}

// The bilingual message box, shown by box_runner (one process for all the
// boxes of box_cases.h) and checked from here: its size and place computed
// from the same texts and system metrics the box reads, its buttons, its
// texts on the screen, and the id each way of ending it returns.

#include <stdio.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "render/render.h"
#include "resources/ids.h"
#include "tests/box_cases.h"
#include "tests/pixel_support.h"
#include "wizard/wizard.h"

static Program runner;
static HWND owner;
static HFONT dialogFont;

class EachBox : public testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(LoadSheetsForTest()) << "ChnBmp.bin of the payload";
        dialogFont = CreateTemplateFont(8, "MS Shell Dlg");
        ASSERT_TRUE(StartProgram(DosPath(TestSetting("LUNKO_BOX_RUNNER")), &runner));
        owner = WaitForWindow(kBoxRunnerCaption, runner.processId);
        ASSERT_TRUE(owner != NULL);
    }
    static void TearDownTestSuite()
    {
        PostMessageA(owner, WM_CLOSE, 0, 0);
        EXPECT_EQ(0, WaitForExit(&runner, 30000)) << "the runner showed every box";
        EndProgram(&runner);
        DeleteObject(dialogFont);
    }
};

static std::string Cut(const char *text, size_t limit)
{
    std::string s = text ? text : "";
    size_t i = 0;
    while (i < s.size()) {
        size_t step = (unsigned char)s[i] >= 0x80 ? 2 : 1;
        if (i + step > limit)
            break;
        i += step;
    }
    return s.substr(0, i);
}

struct Expected {
    int contentWidth, contentHeight;
    RECT window;
    int buttonW, buttonH;
    POINT first, second;            // second unused for type 0
    int mainHeight, englishHeight;
};

// The layout worked out from the texts, the system metrics and the size of a
// button the box leaves alone (all four have the template's size).
static Expected WorkOutLayout(HWND box, const BoxCase &c)
{
    Expected e;
    HDC screen = GetDC(NULL);       // a fresh DC: the system font, as the box measures
    SIZE main = MeasureLabelText(screen, c.chinese);
    std::string english = Cut(c.english, 127);
    SIZE extent = { 0, 0 };
    if (!english.empty())
        GetTextExtentPointA(screen, english.c_str(), (int)english.size(), &extent);
    ReleaseDC(NULL, screen);

    RECT untouched = ControlClientRect(box, c.type == 4 ? IDOK : IDYES);
    int w = e.buttonW = untouched.right - untouched.left;
    int h = e.buttonH = untouched.bottom - untouched.top;
    e.mainHeight = main.cy;
    e.englishHeight = extent.cy;

    int x = (main.cx > extent.cx ? main.cx : extent.cx) + 2 * GetSystemMetrics(SM_CXDLGFRAME);
    if (strlen(c.chinese) < 81)
        x += 2 * h;
    int y = 3 * (main.cy + h) + 2 * extent.cy;
    int minimum = c.type == 0 ? 2 * w : 3 * w;
    e.contentWidth = x;
    e.contentHeight = y;
    e.window.left = (GetSystemMetrics(SM_CXSCREEN) - x) / 2;
    e.window.top = (GetSystemMetrics(SM_CYSCREEN) - y) / 2;
    int width = x > minimum ? x : minimum;
    e.window.right = e.window.left + width;
    e.window.bottom = e.window.top + y + GetSystemMetrics(SM_CYCAPTION);
    // Buttons centred on the box's real width, also where that is the minimum.
    if (c.type == 0) {
        e.first.x = (width - w) / 2;
        e.first.y = y - 2 * h;
    } else {
        e.first.x = (width - (7 * w) / 3) / 2;
        e.first.y = e.second.y = y - (3 * h) / 2;
        e.second.x = e.first.x + (4 * w) / 3;
    }
    return e;
}

static void ExpectRect(const RECT &want, const RECT &got, const char *what)
{
    EXPECT_EQ(want.left, got.left) << what;
    EXPECT_EQ(want.top, got.top) << what;
    EXPECT_EQ(want.right, got.right) << what;
    EXPECT_EQ(want.bottom, got.bottom) << what;
}

static RECT Place(int x, int y, int w, int h)
{
    RECT r = { x, y, x + w, y + h };
    return r;
}

// The control's part of the screen against the face with `text` centred on
// it, in the dialog's font, and the focus rectangle if it has the focus;
// `inset` leaves out a bevel.
static int TextDifferences(HWND box, const Image &screen, int id, const std::string &text,
                           int inset, bool focused)
{
    return ControlDifferences(box, screen, id, text.c_str(), dialogFont, false, inset, false, focused);
}

static const char *LabelOf(int id)
{
    switch (id) {
    case IDOK: return "\xC8\xB7\xC8\xCF OK";
    case IDCANCEL: return "\xC8\xA1\xCF\xFB Cancel";
    case IDYES: return "\xCA\xC7 Yes";
    case IDNO: return "\xB7\xF1 No";
    }
    return "";
}

struct CaptionWait {
    HWND window;
    std::string prefix;
};

static bool CaptionHasPrefix(void *context)
{
    CaptionWait *wait = (CaptionWait *)context;
    return WindowText(wait->window).compare(0, wait->prefix.size(), wait->prefix) == 0;
}

static void FocusButton(HWND box, int id)
{
    FocusControl(box, id);
    WaitForFocus(runner.threadId, Control(box, id));
    ASSERT_EQ(Control(box, id), FocusedWindow(runner.threadId));
}

static void EndBox(HWND box, const BoxCase &c)
{
    switch (c.action) {
    case kClickButton:
        ClickControl(box, c.button);
        break;
    case kPressEnter:
    case kPressSpace:
        if (c.button)
            FocusButton(box, c.button);
        PostKey(FocusedWindow(runner.threadId), c.action == kPressEnter ? VK_RETURN : VK_SPACE);
        break;
    case kPressEscape:
        PostKey(FocusedWindow(runner.threadId), VK_ESCAPE);
        break;
    case kCloseBox:
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

TEST_P(EachBox, IsLaidOutFromItsTextsShowsThemAndEndsWithTheRightId)
{
    int index = GetParam();
    const BoxCase &c = kBoxCases[index];
    HWND box = WaitForWindow(kNoticeCaption, runner.processId);
    ASSERT_TRUE(box != NULL) << "box " << index;
    Sleep(300);
    EXPECT_FALSE(IsWindowEnabled(owner)) << "the owner is disabled while the box is up";

    // Size, place and buttons.
    Expected e = WorkOutLayout(box, c);
    ExpectRect(e.window, ScreenRectOf(box), "window");
    int first = c.type == 4 ? IDYES : IDOK;
    int second = c.type == 4 ? IDNO : IDCANCEL;
    ExpectRect(Place(e.first.x, e.first.y, e.buttonW, e.buttonH), ControlClientRect(box, first),
               "first button");
    if (c.type != 0) {
        ExpectRect(Place(e.second.x, e.second.y, e.buttonW, e.buttonH),
                   ControlClientRect(box, second), "second button");
    }
    for (int id : { IDOK, IDCANCEL, IDYES, IDNO }) {
        bool shown = id == first || (c.type != 0 && id == second);
        EXPECT_EQ(shown, IsControlVisible(box, id)) << "button " << id;
    }

    RECT client;
    GetClientRect(box, &client);
    for (int id : { first, second }) {
        RECT r = ControlClientRect(box, id);
        if (IsControlVisible(box, id)) {
            EXPECT_TRUE(r.left >= 0 && r.right <= client.right && r.bottom <= client.bottom)
                << "button " << id << " lies wholly inside the box";
        }
    }

    // The texts.
    ExpectRect(Place(0, 10, client.right, 48), ControlClientRect(box, IDC_MESSAGE_CHINESE),
               "Chinese text");
    std::string english = Cut(c.english, 127);
    EXPECT_EQ(!english.empty(), IsControlVisible(box, IDC_MESSAGE_ENGLISH));
    if (!english.empty()) {
        EXPECT_EQ(english, ControlText(box, IDC_MESSAGE_ENGLISH));
        ExpectRect(Place(0, 63, client.right, 2 * e.englishHeight),
                   ControlClientRect(box, IDC_MESSAGE_ENGLISH), "English text");
    }

    Image screen;
    ASSERT_TRUE(CaptureClient(box, &screen));
    HWND focus = FocusedWindow(runner.threadId);
    EXPECT_EQ(Control(box, first), focus) << "the first button starts with the focus";
    EXPECT_EQ(0, TextDifferences(box, screen, IDC_MESSAGE_CHINESE, Cut(c.chinese, 79), 0, false))
        << "the Chinese text, at most its first 79 bytes";
    EXPECT_EQ(0, TextDifferences(box, screen, first, LabelOf(first), 3,
                                 focus == Control(box, first)));
    if (c.type != 0) {
        EXPECT_EQ(0, TextDifferences(box, screen, second, LabelOf(second), 3,
                                     focus == Control(box, second)));
    }
    if (c.screenshot) {
        std::string locale = TestSetting("LUNKO_LOCALE");
        std::string name = c.screenshot + (locale.empty() ? "" : "_" + locale);
        EXPECT_TRUE(SaveScreenshot(box, name.c_str()));
    }

    // The ending.
    EndBox(box, c);
    char prefix[64];
    snprintf(prefix, sizeof prefix, "%s %d ", kBoxRunnerCaption, index);
    CaptionWait wait = { owner, prefix };
    ASSERT_TRUE(WaitUntil(CaptionHasPrefix, &wait, 30000)) << "box " << index << " ended";
    int result = -2, enabled = -1;
    sscanf(WindowText(owner).c_str() + strlen(prefix), "%d %d", &result, &enabled);
    EXPECT_EQ(c.result, result) << "result of box " << index;
    EXPECT_EQ(1, enabled) << "the owner is enabled again";
}

INSTANTIATE_TEST_SUITE_P(Boxes, EachBox,
                         testing::Range(0, (int)(sizeof kBoxCases / sizeof kBoxCases[0])));

TEST(BilingualMessageBox, ReturnsMinusOneWhenTheBoxCannotBeMade)
{
    HINSTANCE saved = ModuleInstance;
    ModuleInstance = GetModuleHandleA("kernel32.dll");  // holds no template 112
    EXPECT_EQ(-1, BilingualMessageBox("内存不够。", "Memory not enough!", 0, NULL));
    ModuleInstance = saved;
}

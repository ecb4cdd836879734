// The wizard as a user walks it: the pages forward and back, the answers of
// the display test, the two agreement texts, the label of Next, a double
// click, the ways out, the Enter key on each page, and the folder chooser.
// Each test starts the real installer once and walks it as far as it needs.

#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>
#include <dlgs.h>

#include "resources/ids.h"
#include "tests/driver/driver.h"

static const char kWizardCaption[] = "Lunkovan Zavav Irazaz Installer";
static const char kNoticeCaption[] = "Tavelorn Install Message";
static const char kChooserCaption[] = "Choose Destination Directory";
static const char kFolderNotice[] = "Cannot create folder! Please check folder path.";

// Each page is known by a control that shows on it alone.
static const int kPageMark[] = { IDC_FOLDER_EDIT, IDC_DISPLAY_QUESTION, IDC_SHOW_ENGLISH,
                                 IDC_LANGUAGE_COMBO };

static int PageOnScreen(HWND wizard)
{
    int page = -1;
    for (int i = 0; i < 4; i++) {
        if (!IsControlVisible(wizard, kPageMark[i]))
            continue;
        if (page >= 0)
            return -2;                  // two pages at once
        page = i;
    }
    return page;
}

struct Waiting {
    HWND wizard;
    int what;                           // a page or a control
};

// A page switch shows and hides control by control, so what a poll sees can
// be half way; an empty message answered by the wizard's thread marks the
// end of the command that switched.
static bool Settled(HWND wizard, bool (*predicate)(void *), Waiting *wait, DWORD timeoutMs)
{
    DWORD_PTR result;
    return WaitUntil(predicate, wait, timeoutMs)
           && SendMessageTimeoutA(wizard, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &result)
           && WaitUntil(predicate, wait, 0);
}

static bool WaitForPage(HWND wizard, int page)
{
    Waiting wait = { wizard, page };
    return Settled(wizard, [](void *c) {
        Waiting *w = (Waiting *)c;
        return PageOnScreen(w->wizard) == w->what;
    }, &wait, 20000);
}

static bool WaitForAgreement(HWND wizard, int shown)
{
    Waiting wait = { wizard, shown };
    return Settled(wizard, [](void *c) {
        Waiting *w = (Waiting *)c;
        int hidden = w->what == IDC_AGREEMENT_ZH ? IDC_AGREEMENT_EN : IDC_AGREEMENT_ZH;
        return IsControlVisible(w->wizard, w->what) && !IsControlVisible(w->wizard, hidden);
    }, &wait, 10000);
}

// The ticks of the display test's answers, once the clicks are handled.
static bool WaitForAnswers(HWND wizard, bool ok, bool no, DWORD timeoutMs = 10000)
{
    Waiting wait = { wizard, (ok ? 1 : 0) | (no ? 2 : 0) };
    return WaitUntil([](void *c) {
        Waiting *w = (Waiting *)c;
        return IsChecked(w->wizard, IDC_DISPLAY_OK) == ((w->what & 1) != 0)
               && IsChecked(w->wizard, IDC_DISPLAY_NO) == ((w->what & 2) != 0);
    }, &wait, timeoutMs);
}

static std::string Lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return s;
}

class Wizard : public testing::Test {
protected:
    Program program = {};
    HWND wizard = NULL;

    void Start(const char *currentFolder = nullptr)
    {
        ASSERT_TRUE(StartProgram(InstallerPath(), &program, currentFolder));
        wizard = WaitForWindow(kWizardCaption, program.processId);
        ASSERT_TRUE(wizard != NULL) << "the wizard did not appear";
    }
    void TearDown() override { EndProgram(&program); }

    // A page switch repaints the dialog and its controls from the message
    // loop, after the switch itself: the picture waits for that.
    static void Snap(HWND window, const char *name)
    {
        Sleep(500);
        SaveScreenshot(window, name);
    }

    // Clicks a button and waits for the page it leads to.
    void Press(int id, int page)
    {
        ClickControl(wizard, id);
        ASSERT_TRUE(WaitForPage(wizard, page)) << "button " << id << " to page " << page
                                               << ", on " << PageOnScreen(wizard);
    }
    void Enter(int id, int page)
    {
        FocusControl(wizard, id);
        ASSERT_EQ(Control(wizard, id), FocusedWindow(program.threadId)) << "control " << id;
        PostKey(Control(wizard, id), VK_RETURN);
        ASSERT_TRUE(WaitForPage(wizard, page)) << "Enter on " << id << " to page " << page
                                               << ", on " << PageOnScreen(wizard);
    }
    // From page 0 to `page`, answering the display test with NO.
    void WalkTo(int page)
    {
        if (page >= 1)
            Press(IDC_NEXT, 1);
        if (page >= 2) {
            ClickControl(wizard, IDC_DISPLAY_NO);
            Press(IDC_NEXT, 2);
        }
        if (page >= 3)
            Press(IDC_NEXT, 3);
    }
    // Waits for a notice, saves its picture, checks its English text and
    // ends it with OK.
    void AcknowledgeNotice(const char *english, const char *screenshot)
    {
        HWND box = WaitForWindow(kNoticeCaption, program.processId, 30000);
        ASSERT_TRUE(box != NULL) << "no notice \"" << english << "\"";
        SaveScreenshot(box, screenshot);
        EXPECT_EQ(english, ControlText(box, IDC_MESSAGE_ENGLISH));
        ClickControl(box, IDOK);
        ASSERT_TRUE(WaitForWindowGone(kNoticeCaption, program.processId, 30000));
    }
    void ExpectBack(bool shown)
    {
        EXPECT_EQ(shown, IsControlVisible(wizard, IDC_BACK)) << "Back on page " << PageOnScreen(wizard);
        EXPECT_EQ(shown, IsControlEnabled(wizard, IDC_BACK)) << "Back on page " << PageOnScreen(wizard);
    }
    void SetFolderText(const char *text)
    {
        SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM)text);
    }
    Image Capture(int id)
    {
        Image image;
        EXPECT_TRUE(CaptureScreen(ScreenRectOf(Control(wizard, id)), &image));
        return image;
    }
};

// The lines the agreement list shows: those the payload file ends with a
// carriage return (a line feed after it skipped), at most 500.
static std::vector<std::string> AgreementLines(const std::vector<unsigned char> &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size() && lines.size() < 500; i++) {
        if (text[i] != '\r')
            continue;
        lines.emplace_back((const char *)text.data() + start, i - start);
        if (i + 1 < text.size() && text[i + 1] == '\n')
            i++;
        start = i + 1;
    }
    return lines;
}

static std::string ItemBytes(HWND list, int index, bool combo)
{
    std::wstring text = ListItemText(list, index, combo);
    std::string bytes(text.size() * 2 + 1, '\0');
    int n = WideCharToMultiByte(936, 0, text.c_str(), (int)text.size(), &bytes[0],
                                (int)bytes.size(), NULL, NULL);
    bytes.resize(n > 0 ? (size_t)n : 0);
    return bytes;
}

TEST_F(Wizard, WalksItsPagesForwardAndBack)
{
    Start();
    ASSERT_EQ(0, PageOnScreen(wizard));
    ExpectBack(false);
    Snap(wizard, "wizard_page0");
    FocusControl(wizard, IDC_NEXT);     // as it will be after the clicks
    Sleep(300);
    Image nextOnPage0 = Capture(IDC_NEXT);

    Press(IDC_NEXT, 1);
    ExpectBack(true);
    EXPECT_FALSE(IsChecked(wizard, IDC_DISPLAY_OK));
    EXPECT_FALSE(IsChecked(wizard, IDC_DISPLAY_NO));
    Snap(wizard, "wizard_page1");

    // Without an answer the page stays.
    ClickControl(wizard, IDC_NEXT);
    AcknowledgeNotice("Please select a choice.", "wizard_notice_no_answer");
    EXPECT_EQ(1, PageOnScreen(wizard));

    // The answers exclude each other, whichever is ticked second.
    ClickControl(wizard, IDC_DISPLAY_OK);
    ClickControl(wizard, IDC_DISPLAY_NO);
    EXPECT_TRUE(WaitForAnswers(wizard, false, true)) << "NO unticks OK";
    ClickControl(wizard, IDC_DISPLAY_OK);
    EXPECT_TRUE(WaitForAnswers(wizard, true, false)) << "OK unticks NO";
    Snap(wizard, "wizard_page1_answered");

    // Back to page 0 and forward again: the display test asks anew.
    Press(IDC_BACK, 0);
    ExpectBack(false);
    Press(IDC_NEXT, 1);
    EXPECT_TRUE(WaitForAnswers(wizard, false, false, 0)) << "the answers were kept";

    // The agreement page opens on the English text.
    ClickControl(wizard, IDC_DISPLAY_OK);
    Press(IDC_NEXT, 2);
    ExpectBack(true);
    EXPECT_TRUE(IsChecked(wizard, IDC_SHOW_ENGLISH));
    EXPECT_TRUE(WaitForAgreement(wizard, IDC_AGREEMENT_EN));
    std::vector<unsigned char> english = ReadWholeFile(PayloadFilePath("agreement_en.txt"));
    ASSERT_FALSE(english.empty());
    HWND englishBox = Control(wizard, IDC_AGREEMENT_EN);
    std::string shown((size_t)SendMessageA(englishBox, WM_GETTEXTLENGTH, 0, 0) + 1, '\0');
    shown.resize((size_t)SendMessageA(englishBox, WM_GETTEXT, shown.size(), (LPARAM)&shown[0]));
    EXPECT_EQ(std::string(english.begin(), english.end()), shown);
    Snap(wizard, "wizard_page2_english");
    Image nextOnPage2 = Capture(IDC_NEXT);

    // Unticking "English" shows the Chinese lines, ticking it again the text.
    ClickControl(wizard, IDC_SHOW_ENGLISH);
    EXPECT_TRUE(WaitForAgreement(wizard, IDC_AGREEMENT_ZH));
    EXPECT_EQ(2, PageOnScreen(wizard));
    Snap(wizard, "wizard_page2_chinese");

    std::vector<std::string> lines = AgreementLines(ReadWholeFile(PayloadFilePath("agreement_zh.txt")));
    ASSERT_GE(lines.size(), 5u);
    HWND list = Control(wizard, IDC_AGREEMENT_ZH);
    EXPECT_EQ((LRESULT)lines.size(), SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(lines[i], ItemBytes(list, i, false)) << "line " << i;

    ClickControl(wizard, IDC_SHOW_ENGLISH);
    EXPECT_TRUE(WaitForAgreement(wizard, IDC_AGREEMENT_EN));

    // Page 3: the language, and Next now reads Agree/Install.
    Press(IDC_NEXT, 3);
    ExpectBack(true);
    Snap(wizard, "wizard_page3");
    Image nextOnPage3 = Capture(IDC_NEXT);
    EXPECT_TRUE(nextOnPage0.pixels == nextOnPage2.pixels) << "Next keeps its label up to page 2";
    EXPECT_FALSE(nextOnPage2.pixels == nextOnPage3.pixels) << "Next changes its label on page 3";
    HWND combo = Control(wizard, IDC_LANGUAGE_COMBO);
    EXPECT_EQ(0, SendMessageA(combo, CB_GETCURSEL, 0, 0));
    EXPECT_EQ("English \xD3\xA2\xCE\xC4", ItemBytes(combo, 0, true));

    // And back down: the label returns with page 2.
    Press(IDC_BACK, 2);
    FocusControl(wizard, IDC_NEXT);
    Sleep(300);
    Image nextBackOnPage2 = Capture(IDC_NEXT);
    EXPECT_TRUE(nextOnPage2.pixels == nextBackOnPage2.pixels) << "Next reads Next again on page 2";
    Press(IDC_BACK, 1);
    Press(IDC_BACK, 0);
    ExpectBack(false);

    ClickControl(wizard, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

// A real double click: the button sees down, up, double click, up. It must
// act as one click, so the last page shows and nothing is installed.
TEST_F(Wizard, ActsOnceOnADoubleClickOnNext)
{
    Start();
    WalkTo(2);
    HWND next = Control(wizard, IDC_NEXT);
    RECT r;
    GetClientRect(next, &r);
    LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageA(next, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(next, WM_LBUTTONUP, 0, at);
    PostMessageA(next, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageA(next, WM_LBUTTONUP, 0, at);
    ASSERT_TRUE(WaitForPage(wizard, 3));
    Sleep(1500);                        // room for a second action to show
    EXPECT_EQ(3, PageOnScreen(wizard));
    EXPECT_TRUE(IsControlVisible(wizard, IDC_NEXT)) << "the installation started";
    EXPECT_TRUE(IsControlVisible(wizard, IDCANCEL)) << "the installation started";
    EXPECT_FALSE(IsControlVisible(wizard, IDC_PROGRESS)) << "the installation started";
    EXPECT_TRUE(WaitForWindowGone(kNoticeCaption, program.processId, 0));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Lunko"));

    ClickControl(wizard, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

// Esc goes to the control a user would have clicked into; the multi-line
// agreement text and the combo box take keys of their own.
TEST_F(Wizard, QuitsWithExitCodeZeroOnEscapeAndTheCloseBoxOnEveryLaterPage)
{
    static const struct {
        int page;
        int focus;
    } kWays[] = { { 1, IDC_DISPLAY_OK }, { 2, IDC_AGREEMENT_EN }, { 3, IDC_LANGUAGE_COMBO } };
    for (const auto &way : kWays) {
        for (bool closeBox : { false, true }) {
            SCOPED_TRACE(testing::Message() << "page " << way.page << (closeBox ? ", close box" : ", Esc"));
            Start();
            WalkTo(way.page);
            if (closeBox) {
                PostMessageA(wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
                FocusControl(wizard, way.focus);
                PostKey(Control(wizard, way.focus), VK_ESCAPE);
            }
            EXPECT_EQ(0, WaitForExit(&program, 60000));
            EndProgram(&program);
        }
    }
}

// Enter acts on the focused push button and as Next anywhere else; in the
// language combo it starts the installation, which here meets a folder it
// cannot make and so returns to page 0 ready for the folder to be corrected.
TEST_F(Wizard, FollowsTheEnterKeyOnEveryPage)
{
    static const char kUnusable[] = "C:\\no\\such\\parent\\x";
    Start();
    SetFolderText(kUnusable);

    Enter(IDC_FOLDER_EDIT, 1);
    Enter(IDC_BACK, 0);
    Enter(IDC_DESKTOP_ICON, 1);
    EXPECT_TRUE(IsChecked(wizard, IDC_DESKTOP_ICON)) << "Enter is not a click on the box";
    ClickControl(wizard, IDC_DISPLAY_OK);
    Enter(IDC_DISPLAY_OK, 2);
    EXPECT_TRUE(IsChecked(wizard, IDC_DISPLAY_OK)) << "Enter is not a click on the box";
    Enter(IDC_BACK, 1);
    ClickControl(wizard, IDC_DISPLAY_NO);
    Enter(IDC_DISPLAY_NO, 2);
    Enter(IDC_AGREEMENT_EN, 3);
    Enter(IDC_BACK, 2);
    Enter(IDC_NEXT, 3);

    FocusControl(wizard, IDC_LANGUAGE_COMBO);
    PostKey(Control(wizard, IDC_LANGUAGE_COMBO), VK_RETURN);
    AcknowledgeNotice(kFolderNotice, "wizard_notice_folder");
    ASSERT_TRUE(WaitForPage(wizard, 0));
    ExpectBack(false);
    EXPECT_TRUE(IsControlVisible(wizard, IDC_NEXT));
    EXPECT_TRUE(IsControlVisible(wizard, IDCANCEL));
    EXPECT_TRUE(IsControlVisible(wizard, IDC_BOTTOM_STRIP));
    EXPECT_FALSE(IsControlVisible(wizard, IDC_PROGRESS));
    HWND edit = Control(wizard, IDC_FOLDER_EDIT);
    EXPECT_EQ(edit, FocusedWindow(program.threadId));
    DWORD from = 1, to = 0;
    SendMessageA(edit, EM_GETSEL, (WPARAM)&from, (LPARAM)&to);
    EXPECT_EQ(0u, from);
    EXPECT_EQ(strlen(kUnusable), to) << "the whole folder text is selected";
    EXPECT_EQ(kUnusable, ControlText(wizard, IDC_FOLDER_EDIT));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\no"));
    Snap(wizard, "wizard_after_folder_notice");

    // The walk can start again from here.
    Enter(IDC_FOLDER_EDIT, 1);
    EXPECT_FALSE(IsChecked(wizard, IDC_DISPLAY_OK));
    ClickControl(wizard, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

// ---- the chooser ----------------------------------------------------------

static const char kChooserStart[] = "C:\\chooser-start";

class Chooser : public Wizard {
protected:
    HWND chooser = NULL;

    void SetUp() override
    {
        CreateDirectoryA(kChooserStart, NULL);
        CreateDirectoryA("C:\\chooser-start\\alpha", NULL);
        CreateDirectoryA("C:\\chooser-start\\beta", NULL);
        CreateDirectoryA("C:\\chooser-typed", NULL);
    }
    void Open(const char *screenshot = nullptr)
    {
        ClickControl(wizard, IDC_BROWSE);
        chooser = WaitForWindow(kChooserCaption, program.processId, 30000);
        ASSERT_TRUE(chooser != NULL) << "the chooser did not appear";
        if (screenshot)
            Snap(chooser, screenshot);
    }
    std::string Shown() { return Lower(ControlText(chooser, stc1)); }
    // Double-clicks the folder list's entry "[name]", as a user would.
    void MoveInto(const char *name)
    {
        std::string entry = std::string("[") + name + "]";
        HWND list = Control(chooser, lst2);
        LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        int found = -1;
        for (int i = 0; i < count && found < 0; i++)
            if (Lower(ItemBytes(list, i, false)) == entry)
                found = i;
        std::string before = Shown();
        ASSERT_GE(found, 0) << "no entry " << entry << " in " << before;
        SendMessageW(list, LB_SETCURSEL, (WPARAM)found, 0);
        PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(lst2, LBN_DBLCLK), (LPARAM)list);
        struct Moved {
            Chooser *self;
            std::string before;
        } moved = { this, before };
        ASSERT_TRUE(WaitUntil([](void *c) {
            Moved *m = (Moved *)c;
            return m->self->Shown() != m->before;
        }, &moved, 20000)) << "the chooser stayed on " << before;
    }
    // The old-style dialog may leave the process in the folder last shown,
    // so a walk that must not depend on it starts from the root.
    void MoveToRoot()
    {
        for (int i = 0; i < 8 && Shown() != "c:\\"; i++)
            ASSERT_NO_FATAL_FAILURE(MoveInto(".."));
        ASSERT_EQ("c:\\", Shown());
    }
    void Close(int id)
    {
        ClickControl(chooser, id);
        ASSERT_TRUE(WaitForWindowGone(kChooserCaption, program.processId, 30000));
    }
};

// Opened on the folder the process started in, whatever the folder box says;
// OK gives the folder moved to, without a trailing backslash.
TEST_F(Chooser, PutsTheFolderMovedToIntoTheFolderBox)
{
    Start(kChooserStart);
    SetFolderText("C:\\chooser-typed");
    Open("chooser_open");
    EXPECT_EQ("c:\\chooser-start", Shown());
    EXPECT_EQ(Control(chooser, lst2), FocusedWindow(program.threadId));

    MoveInto("alpha");
    EXPECT_EQ("c:\\chooser-start\\alpha", Shown());
    Snap(chooser, "chooser_moved");
    Close(IDOK);
    EXPECT_EQ("c:\\chooser-start\\alpha", Lower(ControlText(wizard, IDC_FOLDER_EDIT)));

    // Up to the root of the drive: its letter and colon alone.
    Open();
    MoveToRoot();
    Snap(chooser, "chooser_root");
    Close(IDOK);
    EXPECT_EQ("c:", Lower(ControlText(wizard, IDC_FOLDER_EDIT)));
    Snap(wizard, "wizard_page0_chosen_root");
}

TEST_F(Chooser, KeepsTheFolderBoxOnCancelAndEscape)
{
    Start(kChooserStart);
    SetFolderText("C:\\chooser-typed");
    for (bool escape : { false, true }) {
        SCOPED_TRACE(escape ? "Esc" : "Cancel");
        Open();
        MoveToRoot();
        MoveInto("chooser-start");
        MoveInto("beta");
        MoveInto("..");
        MoveInto("alpha");
        if (escape) {
            PostKey(Control(chooser, lst2), VK_ESCAPE);
            ASSERT_TRUE(WaitForWindowGone(kChooserCaption, program.processId, 30000));
        } else {
            Close(IDCANCEL);
        }
        EXPECT_EQ("C:\\chooser-typed", ControlText(wizard, IDC_FOLDER_EDIT));
        EXPECT_TRUE(IsWindowEnabled(wizard)) << "the wizard takes input again";
    }
}

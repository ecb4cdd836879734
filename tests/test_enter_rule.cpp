// The Enter rule of the main loop, routed through a window of this test with
// the kinds of controls the wizard has, and the agreement text's splitter
// on random texts.

#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "tests/driver/driver.h"
#include "wizard/wizard.h"

class EnterRule : public testing::Test {
protected:
    HWND parent = NULL;

    void SetUp() override
    {
        parent = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                                 NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_TRUE(parent != NULL);
        WizardWindow = parent;
        Child("BUTTON", BS_OWNERDRAW, 3);             // Back
        Child("BUTTON", BS_OWNERDRAW, 2);             // Cancel
        Child("BUTTON", BS_PUSHBUTTON, 55);
        Child("BUTTON", BS_DEFPUSHBUTTON, 56);
        Child("BUTTON", BS_AUTOCHECKBOX, 1004);
        Child("BUTTON", BS_CHECKBOX, 60);
        Child("BUTTON", BS_RADIOBUTTON, 61);
        Child("BUTTON", BS_3STATE, 62);
        Child("BUTTON", BS_AUTO3STATE, 63);
        Child("BUTTON", BS_AUTORADIOBUTTON, 64);
        Child("BUTTON", BS_GROUPBOX, 65);
        Child("EDIT", WS_BORDER, 1002);
        Child("COMBOBOX", CBS_DROPDOWNLIST, 1031);
        Drain();
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        WizardWindow = NULL;
    }
    void Child(const char *className, DWORD style, int id)
    {
        ASSERT_TRUE(CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style,
                                    0, 0, 50, 20, parent, (HMENU)(INT_PTR)id,
                                    GetModuleHandleA(NULL), NULL) != NULL);
    }
    static void Drain()
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    // The command ids posted to the wizard window since the last call.
    std::vector<int> PostedCommands()
    {
        std::vector<int> ids;
        MSG msg;
        while (PeekMessageA(&msg, parent, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
            EXPECT_EQ(0, msg.lParam);
            ids.push_back((int)msg.wParam);
        }
        return ids;
    }
    int Enter(HWND focus)
    {
        SetFocus(focus);
        MSG msg = { focus, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, { 0, 0 } };
        return RouteEnterKey(&msg);
    }
};

TEST_F(EnterRule, ActsOnTheFocusedPushButtonAndSwallowsTheKey)
{
    for (int id : { 2, 3, 55, 56 }) {
        EXPECT_EQ(1, Enter(GetDlgItem(parent, id))) << "button " << id;
        EXPECT_EQ(std::vector<int>({ id }), PostedCommands()) << "button " << id;
    }
}

TEST_F(EnterRule, MeansTheDefaultCommandOnCheckBoxesRadioButtonsAndOtherControls)
{
    for (int id : { 1004, 60, 61, 62, 63, 64, 1002, 1031 }) {
        EXPECT_EQ(0, Enter(GetDlgItem(parent, id))) << "control " << id;
        EXPECT_EQ(std::vector<int>({ 1001 }), PostedCommands()) << "control " << id;
    }
}

TEST_F(EnterRule, TreatsAGroupBoxAsAButtonOfItsOwn)
{
    // Only check boxes and radio buttons are excluded by style.
    EXPECT_EQ(1, Enter(GetDlgItem(parent, 65)));
    EXPECT_EQ(std::vector<int>({ 65 }), PostedCommands());
}

TEST_F(EnterRule, MeansTheDefaultCommandWithoutAFocus)
{
    SetFocus(NULL);
    MSG msg = { NULL, WM_KEYDOWN, VK_RETURN, 0, 0, { 0, 0 } };
    EXPECT_EQ(0, RouteEnterKey(&msg));
    EXPECT_EQ(std::vector<int>({ 1001 }), PostedCommands());
}

TEST_F(EnterRule, LeavesOtherKeysAndMessagesAlone)
{
    HWND cancel = GetDlgItem(parent, 2);
    SetFocus(cancel);
    MSG other[] = {
        { cancel, WM_KEYDOWN, VK_ESCAPE, 0, 0, { 0, 0 } },
        { cancel, WM_KEYUP, VK_RETURN, 0, 0, { 0, 0 } },
        { cancel, WM_CHAR, '\r', 0, 0, { 0, 0 } },
        { cancel, WM_SYSKEYDOWN, VK_RETURN, 0, 0, { 0, 0 } },
    };
    for (const MSG &msg : other)
        EXPECT_EQ(0, RouteEnterKey(&msg)) << "message " << msg.message;
    EXPECT_TRUE(PostedCommands().empty());
}

// Random texts of CRs, LFs, CR LF pairs, NUL and GBK bytes, with and without
// a line end at the end, cut with capacities from none to more than the
// lines. The text (its terminator the last byte) and the line array each
// end where a no-access page begins, so a read or write past either ends
// the program. Every CR that ends a stored line becomes the line's
// terminator and nothing else changes.
TEST(AgreementLines, RandomTextsAreCutWithinTheTextAndTheLineLimit)
{
    static const std::string kPieces[] = { "\r\n", "\r", "\n", "\r\r\n", "\n\r", std::string(1, '\0'), "a",
                                           "\xb0\xa1", "Lunko ", "\xd0\xad\xd2\xe9" };
    std::mt19937 random(500);
    int failures = 0;
    for (int round = 0; round < 2000 && failures < 5; round++) {
        std::string text;
        for (int n = (int)(random() % 60); n > 0; n--)
            text += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
        int capacity = (int)(random() % 3 ? random() % 40 : random() % 4);

        // The lines as the splitter is to find them: each ends at a CR.
        std::vector<size_t> starts, ends;
        for (size_t i = 0, start = 0; i < text.size(); i++) {
            if (text[i] != '\r')
                continue;
            starts.push_back(start);
            ends.push_back(i);
            start = i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
            i = start - 1;
        }
        size_t stored = std::min(starts.size(), (size_t)capacity);
        std::string expected = text;
        for (size_t k = 0; k < stored; k++)
            expected[ends[k]] = 0;

        GuardedBytes bytes(text.c_str(), text.size() + 1);
        std::vector<char *> none(capacity, nullptr);
        GuardedBytes lineArray(none.data(), none.size() * sizeof(char *));
        ASSERT_TRUE(bytes.bytes != nullptr && lineArray.bytes != nullptr);
        char **lines = (char **)lineArray.bytes;
        int count = CutAgreementLines(bytes.bytes, (unsigned long)text.size(), lines, capacity);

        bool right = count == (int)stored && memcmp(bytes.bytes, expected.c_str(), text.size() + 1) == 0;
        for (size_t k = 0; right && k < stored; k++)
            right = lines[k] == bytes.bytes + starts[k];
        if (!right) {
            ADD_FAILURE() << "text \"" << Printable(text) << "\", capacity " << capacity << ": " << count
                          << " lines, expected " << stored;
            failures++;
        }
    }
}

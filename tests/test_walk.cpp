// The installer from start to end as a user meets it: the real LunkoSetup.exe
// walked through its four pages by clicks, under the Windows version and
// locale of the run, and everything it leaves behind checked afterwards.

#include <stdio.h>
#include <stdlib.h>

#include <set>
#include <string>
#include <vector>

#include <windows.h>
#include <oleacc.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "payload/catalogue.h"
#include "resources/ids.h"
#include "shell/shell.h"
#include "tests/driver/driver.h"
#include "tests/pixel_support.h"
#include "tests/test_shortcuts_support.h"
#include "wizard/wizard.h"

// Where an owner-drawn text shows: bit n for wizard page n, then the folder
// chooser and the notices (where a button shows only in some of them).
enum { kOnChooser = 4, kOnNotice = 5, kOnPages = 0xF };

// Every owner-drawn text of the wizard, the chooser and the notices, by
// control: each of its Chinese characters must be on screen whole.
struct ShownText {
    unsigned shownOn;
    int id;
    const char *text;
};

static const ShownText kShownTexts[] = {
    { kOnPages, IDC_PANEL_BRAND, "《Lunko》 Lunko" },
    { kOnPages, IDC_PANEL_PRODUCT, "伦科万 Zavav Irazaz" },
    { kOnPages, IDC_PANEL_INSTALLER, "安装程序" },
    { kOnPages | 1 << kOnChooser | 1 << kOnNotice, IDCANCEL, "取消 Cancel" },
    { 0x7, IDC_NEXT, "下一步 Next" },
    { 0x8, IDC_NEXT, "同意/安装 Agree/Install" },
    { 0xE, IDC_BACK, "退一步 Back" },
    { 0x1, IDC_FOLDER_LABEL, "安装路径： (Install Path)" },
    { 0x1, IDC_BROWSE, "改变 Browse ...." },
    { 0x1, IDC_DESKTOP_ICON, "建立桌面图标？  (Place an icon on Desktop)" },
    // Wider than its control where the one-byte font is wide.
    { 0x2, IDC_DISPLAY_QUESTION, "以上中文显示正确吗 (Is the Above Chinese Display OK)?" },
    { 0x2, IDC_DISPLAY_OK, "正确(OK)" },
    { 0x2, IDC_DISPLAY_NO, "不正确(NO)" },
    { 0x8, IDC_LANGUAGE_LABEL, "User Interface Language 用户界面语言" },
    { 1 << kOnChooser, IDC_CHOOSER_DIRS_LABEL, "路径 (Directories):" },
    { 1 << kOnChooser, IDC_CHOOSER_DRIVES_LABEL, "磁盘 (Drives):" },
    { 1 << kOnNotice, IDOK, "确认 OK" },
    { 1 << kOnNotice, IDYES, "是 Yes" },
    { 1 << kOnNotice, IDNO, "否 No" },
};

static const char kSystemFolderNotice[] =
    "This is one of the system's own folders, or holds one: nothing may be installed in it. Please choose another "
    "folder.";
static const char kPlantedNotice[] =
    "This folder holds a program that is not Lunko's. Remove it or choose another folder: version.dll";
// Under Wine every folder is the prefix's user's: one below a drive's root
// hangs from a folder that user could move.
static const char kUnsafeParentNotice[] =
    "This folder is not safe: other users could move or change C:\\existing. Please choose another folder.";

// The notices the walks meet, by their English text, with the Chinese text
// drawn above it.
static const struct {
    const char *english;
    const char *chinese;
} kNoticeTexts[] = {
    { kSuccessNotice, "祝贺您：安装顺利完成！" },
    { kSpeechQuestion, "下面安装微软的语音模块SAPI5.1." },
    { kFolderNotice, "无法建目录。请检查所列目录是否合法（注意：子目录只能在已存在的目录下建）。" },
    { kFailureNotice, "安装失败！请检查一下系统后，再重新安装。谢谢！" },
    { kNoAnswerNotice, "请您回答提问." },
    { kUnsafeFolderNotice, "此目录不安全：别的用户可以改其中的程序。请另选目录。" },
    { "Old CiKu (Word Base) is detected. Replace it with new CiKu?", "安装目录有老词库。是否安装新词库(会冲掉老词库)?" },
    { "DoVaz.exe is in use by the pinyin server (DoVaz.exe). Quit it, then press OK to try again, or Cancel to stop.",
      "DoVaz.exe 正被拼音服务程序使用。请退出它，按确定重试，按取消停止。" },
    { "Tavelorn.exe is in use by another program. Quit it, then press OK to try again, or Cancel to stop.",
      "Tavelorn.exe 正被其他程序使用。请退出它，按确定重试，按取消停止。" },
    { "LKOEdit.exe is in use by the editor (LKOEdit.exe). Quit it, then press OK to try again, or Cancel to stop.",
      "LKOEdit.exe 正被编辑器使用。请退出它，按确定重试，按取消停止。" },
    { kSystemFolderNotice, "这是系统自己的目录（或含有系统目录），不能安装在这里。请另选目录。" },
    { kPlantedNotice, "此目录中有不属于本软件的程序，请删除它或另选目录：version.dll" },
    { kUnsafeParentNotice, "此目录不安全：别的用户可以移动或修改 C:\\existing。请另选目录。" },
};

// The space notice, with the megabytes needed and free.
static const char kSpaceNoticeEnglish[] = "Not enough disk space: %lu MB needed, %lu MB free.";
static const char kSpaceNoticeChinese[] = "磁盘空间不够：需要 %lu MB，只有 %lu MB。请另选目录或清理磁盘。";

// The language combo's entries by language value.
static const char *const kLanguageEntries[] = {
    "English 英文", "Chinese(Simplified)  中文简体", "Chinese(Traditional) 中文繁体",
};

// The whole factor the installer draws its glyphs at on this run's display.
static int GlyphScaleOfRun()
{
    int dpi = atoi(TestSetting("LUNKO_DPI").c_str());
    return dpi >= 2 * 96 ? dpi / 96 : 1;
}

// The Chinese characters of `text` not found whole inside `area` on the
// screen, at the run's glyph scale, as GBK codes, with the text; empty when
// all are there. Only the characters that start within `reach` pixels of the
// text's start are looked for, counting each one-byte character as at most
// 10 pixels wide (at 96 DPI).
static std::string MissingGlyphs(const RECT &area, const char *text, int reach = 1 << 20)
{
    const int scale = GlyphScaleOfRun();
    Image image;
    if (!CaptureScreen(area, &image))
        return "(no capture)";
    std::string missing;
    int pen = 0;
    for (const unsigned char *c = (const unsigned char *)text; *c && pen < reach;) {
        if (*c < 0x80 || !c[1]) {
            pen += 10 * scale;
            c++;
            continue;
        }
        unsigned code = (unsigned)c[0] << 8 | c[1];
        char hex[8];
        snprintf(hex, sizeof hex, "%04X ", code);
        if (!FindsGlyph(image, code, scale))
            missing += hex;
        pen += 16 * scale;
        c += 2;
    }
    return missing.empty() ? missing : missing + "of \"" + text + "\"";
}

// A window whole on the screen (1600 x 1200, set by the harness), at any DPI.
static void ExpectOnScreen(const RECT &frame)
{
    EXPECT_TRUE(frame.left >= 0 && frame.top >= 0 && frame.right <= GetSystemMetrics(SM_CXSCREEN)
                && frame.bottom <= GetSystemMetrics(SM_CYSCREEN))
        << frame.left << "," << frame.top << " - " << frame.right << "," << frame.bottom;
}

// What a screen reader hears of a control through the real accessibility
// interface: its name, or its value.
static std::wstring Heard(HWND control, bool value = false)
{
    CoInitialize(NULL);
    IAccessible *accessible = NULL;
    if (!control || FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible, (void **)&accessible)))
        return L"(no accessible object)";
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = NULL;
    HRESULT result = value ? accessible->get_accValue(self, &text) : accessible->get_accName(self, &text);
    std::wstring heard = result == S_OK && text ? std::wstring(text) : L"(nothing)";
    SysFreeString(text);
    accessible->Release();
    return heard;
}

// A GBK text in real characters, as a screen reader should hear it.
static std::wstring Widened(const char *text)
{
    WCHAR wide[512];
    int n = MultiByteToWideChar(936, 0, text, -1, wide, 512);
    return n > 0 ? std::wstring(wide, (size_t)n - 1) : L"(not GBK)";
}

static std::string Narrowed(const std::wstring &text)
{
    char gbk[512];
    int n = WideCharToMultiByte(936, 0, text.c_str(), -1, gbk, sizeof gbk, NULL, NULL);
    return n > 0 ? std::string(gbk, (size_t)n - 1) : "(not GBK)";
}

// What else a screen reader hears on a page: the folder box by its label,
// and controls that are not drawn from the glyph sheets.
static const struct {
    unsigned shownOn;
    int id;
    bool value;
    const char *text;
} kOtherNames[] = {
    { 0x1, IDC_FOLDER_EDIT, false, "安装路径： (Install Path)" },
    { 0x1, IDC_FOLDER_EDIT, true, "C:\\Lunko" },
    { 0x2, IDC_DISPLAY_SAMPLE, false, "日出江花红胜火" },
    { 0x4, IDC_SHOW_ENGLISH, false, "English" },
};

class WizardRun : public testing::Test {
protected:
    Program program = {};
    HWND wizard = NULL;
    std::string prefix;                 // of the screenshots

    void SetUp() override
    {
        prefix = TestSetting("LUNKO_TEST_NAME");
        if (prefix.empty())
            prefix = "walk";
    }
    void TearDown() override { EndProgram(&program); }

    void Start(const char *currentFolder = nullptr)
    {
        wizard = StartWizard(&program, InstallerPath(), currentFolder);
        ASSERT_TRUE(wizard != NULL) << "the wizard did not appear";
    }

    void Shot(const char *what) { SaveScreenshot(wizard, (prefix + "_" + what).c_str()); }

    int Page() { return PageOnScreen(wizard); }
    bool WaitForPage(int page) { return ::WaitForPage(wizard, page); }
    void Next(int expectedPage)
    {
        ASSERT_TRUE(PressForPage(wizard, IDC_NEXT, expectedPage))
            << "page " << Page() << " instead of " << expectedPage;
    }
    // Pages 0 to 3 with the display answer ticked and `language` chosen.
    void WalkToLastPage(int answer, int language)
    {
        ASSERT_TRUE(WalkForward(wizard, 3, answer)) << "on page " << Page();
        ChooseLanguage(wizard, language);
    }

    // Each owner-drawn text that `window` shows as `shownOn` (a page, the
    // chooser or a notice) with its Chinese whole on screen, and what a
    // screen reader hears there: each control named by the text it shows.
    void ExpectTextsWhole(HWND window, int shownOn)
    {
        for (const ShownText &shown : kShownTexts) {
            if (!(shown.shownOn >> shownOn & 1))
                continue;
            if (!IsControlVisible(window, shown.id)) {
                EXPECT_EQ(kOnNotice, shownOn) << "control " << shown.id << " hidden on " << shownOn;
                continue;
            }
            HWND control = Control(window, shown.id);
            EXPECT_EQ("", MissingGlyphs(ScreenRectOf(control), shown.text))
                << "control " << shown.id << " on " << shownOn;
            EXPECT_EQ(Widened(shown.text), Heard(control)) << "name of control " << shown.id << " on " << shownOn;
        }
        for (const auto &other : kOtherNames) {
            if (other.shownOn >> shownOn & 1) {
                EXPECT_EQ(Widened(other.text), Heard(Control(window, other.id), other.value))
                    << (other.value ? "value" : "name") << " of control " << other.id << " on " << shownOn;
            }
        }
    }

    // The language combo's closed field, with the entry it shows.
    void ExpectComboFieldWhole(const char *state)
    {
        HWND combo = Control(wizard, IDC_LANGUAGE_COMBO);
        LRESULT language = SendMessageA(combo, CB_GETITEMDATA, SendMessageA(combo, CB_GETCURSEL, 0, 0), 0);
        ASSERT_TRUE(language >= 0 && language < 3) << state;
        EXPECT_EQ("", MissingGlyphs(ScreenRectOf(combo), kLanguageEntries[language])) << state;
        EXPECT_EQ(Widened(kLanguageEntries[language]), Heard(combo)) << "the combo's name, " << state;
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(kLanguageEntries[SendMessageA(combo, CB_GETITEMDATA, i, 0)], ListItemText(combo, i, true))
                << "entry " << i << " in real characters, " << state;
        }
    }
    // The combo opened, its three entries, and closed again.
    void ExpectOpenComboListWhole()
    {
        HWND combo = Control(wizard, IDC_LANGUAGE_COMBO);
        SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
        Sleep(500);
        HWND list = NULL;
        for (HWND w = NULL; (w = FindWindowExA(NULL, w, "ComboLBox", NULL)) != NULL;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == program.processId && IsWindowVisible(w))
                list = w;
        }
        EXPECT_TRUE(list != NULL) << "the open list";
        if (list) {
            Shot("page3_open");
            for (const char *entry : kLanguageEntries)
                EXPECT_EQ("", MissingGlyphs(ClientScreenRect(list), entry)) << "open list";
        }
        SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
        Sleep(300);
    }

    // After a folder is refused: page 0, the folder box focused with its
    // text, kept to be corrected, selected.
    void ExpectFolderPageAgain(const std::string &text)
    {
        ASSERT_TRUE(WaitForPage(0));
        // The page's controls are shown and hidden one by one.
        EXPECT_TRUE(WaitUntil([](void *w) { return !IsControlVisible((HWND)w, IDC_BACK); }, wizard, 10000));
        EXPECT_TRUE(IsControlVisible(wizard, IDC_NEXT));
        EXPECT_TRUE(IsControlVisible(wizard, IDCANCEL));
        // The page shows before the focus moves to the folder box.
        WaitForFocus(program.threadId, Control(wizard, IDC_FOLDER_EDIT));
        EXPECT_EQ(Control(wizard, IDC_FOLDER_EDIT), FocusedWindow(program.threadId));
        DWORD first = 0, end = 0;
        SendMessageA(Control(wizard, IDC_FOLDER_EDIT), EM_GETSEL, (WPARAM)&first, (LPARAM)&end);
        EXPECT_EQ(0u, first);
        EXPECT_EQ(text.size(), (size_t)end) << "the text is selected";
        EXPECT_EQ(text, ControlText(wizard, IDC_FOLDER_EDIT)) << "the text is kept to be corrected";
    }

    // Waits for the installer's message box, notes its English text, checks
    // its Chinese, saves it as a picture and presses `button`.
    std::string Answer(int button, const char *screenshot, DWORD timeoutMs = 120000)
    {
        HWND box = WaitForWindow(kNoticeCaption, program.processId, timeoutMs);
        if (box) {
            std::string english = ControlText(box, IDC_MESSAGE_ENGLISH);
            RECT frame = ScreenRectOf(box);
            printf("The notice \"%s\": %ld x %ld with its frame.\n", english.c_str(),
                   frame.right - frame.left, frame.bottom - frame.top);
            ExpectOnScreen(frame);
            Sleep(300);                 // the box paints its labels after it shows
            for (const auto &notice : kNoticeTexts) {
                if (english == notice.english) {
                    EXPECT_EQ("", MissingGlyphs(ScreenRectOf(Control(box, IDC_MESSAGE_CHINESE)), notice.chinese));
                    EXPECT_EQ(Widened(notice.chinese), Heard(Control(box, IDC_MESSAGE_CHINESE)));
                    EXPECT_EQ(Widened(notice.english), Heard(Control(box, IDC_MESSAGE_ENGLISH)));
                }
            }
            // An outcome composed at run time (a file's name and why) is
            // drawn whole too: the box draws 79 bytes of Chinese and holds
            // 127 of English.
            if (english.find("Installation failed. ") == 0 || english.find("Installation Success, but") == 0
                || english.find(" is in use by ") != std::string::npos) {
                std::string chinese = Narrowed(Heard(Control(box, IDC_MESSAGE_CHINESE)));
                EXPECT_LE(chinese.size(), 79u) << chinese;
                EXPECT_LE(english.size(), 127u) << english;
                EXPECT_EQ("", MissingGlyphs(ScreenRectOf(Control(box, IDC_MESSAGE_CHINESE)), chinese.c_str()));
            }
            ExpectTextsWhole(box, kOnNotice);
        }
        return AnswerNotice(program.processId, button, screenshot ? prefix + "_" + screenshot : "",
                            timeoutMs);
    }
};

// ---- whole installations -------------------------------------------------

// "answer language speech": the display answer (ok or no), the interface
// language chosen on page 3 and the answer to the speech question.
struct WalkPlan {
    int answer = IDC_DISPLAY_OK;
    int language = 0;
    bool speech = false;
};

static WalkPlan ReadPlan()
{
    WalkPlan plan;
    char answer[8] = "", speech[8] = "";
    sscanf(TestSetting("LUNKO_WALK").c_str(), "%7s %d %7s", answer, &plan.language, speech);
    plan.answer = std::string(answer) == "no" ? IDC_DISPLAY_NO : IDC_DISPLAY_OK;
    plan.speech = std::string(speech) == "ok";
    return plan;
}

// The speech package's folders left in the user's temporary folder or in
// the installation folder.
static std::vector<std::string> SpeechFolders(const std::string &installation)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::vector<std::string> folders;
    for (const std::string &folder : { std::string(temp), installation + "\\" })
        for (const std::string &name : FilesIn(folder, "LunkoSpeech*"))
            folders.push_back(folder + name);
    for (const std::string &name : FilesIn(temp, "Sapi51forLunko*"))
        folders.push_back(temp + name);
    return folders;
}

static std::wstring Widened(const std::string &text, UINT codePage)
{
    WCHAR wide[2 * MAX_PATH];
    return MultiByteToWideChar(codePage, 0, text.c_str(), -1, wide, 2 * MAX_PATH) ? wide : L"(not widened)";
}

static void ExpectClosedToOthers(const std::string &folder);

// The id of a process of that name; 0 when none runs.
static DWORD ProcessRuns(const char *exeName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = Lower(entry.szExeFile) == exeName ? entry.th32ProcessID : 0;
    CloseHandle(snapshot);
    return found;
}

// The command line a process was started with, from its own parameters.
static std::string CommandLineOf(DWORD processId)
{
    typedef LONG(WINAPI * QueryFunction)(HANDLE, int, PVOID, ULONG, PULONG);
    QueryFunction query = (QueryFunction)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                                 "NtQueryInformationProcess");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    PVOID basic[6] = {};                // PROCESS_BASIC_INFORMATION: the PEB's address second
    DWORD parameters = 0, text[2] = {}; // lengths, then the buffer
    WCHAR wide[1024] = {};
    char narrow[1024] = "";
    if (process && query(process, 0, basic, sizeof basic, NULL) == 0
        && ReadProcessMemory(process, (BYTE *)basic[1] + 0x10, &parameters, 4, NULL)
        && ReadProcessMemory(process, (BYTE *)(UINT_PTR)parameters + 0x40, text, sizeof text, NULL)
        && LOWORD(text[0]) < sizeof wide
        && ReadProcessMemory(process, (void *)(UINT_PTR)text[1], wide, LOWORD(text[0]), NULL))
        WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, NULL, NULL);
    CloseHandle(process);
    return narrow;
}

// Stops (or lets go on) every thread of a process; 0 finds msiexec first.
static DWORD HoldProcess(DWORD processId, bool hold)
{
    for (DWORD start = GetTickCount(); !processId && GetTickCount() - start < 60000;)
        processId = ProcessRuns("msiexec.exe");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more && processId; more = Thread32Next(snapshot, &entry)) {
        HANDLE thread = entry.th32OwnerProcessID == processId
                            ? OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID) : NULL;
        if (thread)
            hold ? SuspendThread(thread) : ResumeThread(thread);
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return processId;
}

// After OK on the speech question: msiexec is caught and held still while
// the walk looks at how it was started, at the package and at the wizard.
static void ExpectSpeechPackageRunByMsiexec(HWND wizard, const std::string &folder)
{
    DWORD msiexec = HoldProcess(0, true);
    ASSERT_NE(0u, msiexec) << "msiexec never ran";
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string line = CommandLineOf(msiexec);
    printf("The speech package is run as: %s\n", line.c_str());
    std::string package = folder + "\\LunkoSpeech" + line.substr(line.rfind("LunkoSpeech") + 11);
    package.pop_back();                 // its closing quote
    EXPECT_EQ("\"" + std::string(system) + "\\msiexec.exe\" /i \"" + package + "\"", line);
    EXPECT_EQ(package.size() - 19, package.rfind("\\Sapi51forLunko.msi")) << package;
    EXPECT_TRUE(ReadWholeFile(package) == ReadWholeFile(PayloadFilePath("Sapi51forLunko.msi")));
    ExpectClosedToOthers(package.substr(0, package.rfind('\\')));
    HANDLE writer = CreateFileA(package.c_str(), GENERIC_WRITE, 7, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer) << "the package can be written while msiexec reads it";
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA(package.c_str())) << "the package can be deleted while msiexec reads it";
    EXPECT_FALSE(IsWindowVisible(wizard)) << "the wizard waits hidden";
    HoldProcess(msiexec, false);
}

// The folders the shortcuts go to, as the installer under test finds them:
// composed by hand on version 3, from the shell elsewhere; those of all users
// where no one is at the desk (no shell). In UTF-16: a profile's folders may
// have names the ANSI code page cannot spell.
static std::wstring ShortcutFolderW(int kind)
{
    char path[MAX_PATH] = "";
    WCHAR wide[MAX_PATH] = L"";
    if (TestSetting("LUNKO_WALK_VERSION3") == "1") {
        NtPlatform = 1;
        GetLegacyShellFolderPath(path, kind);
        return Widened(path, CP_ACP);
    }
    bool noOne = !TestSetting("LUNKO_NO_SHELL").empty();
    if (kind == CSIDL_DESKTOP)
        kind = noOne ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY;
    else if (noOne)
        kind = CSIDL_COMMON_PROGRAMS;
    SHGetFolderPathW(NULL, kind, NULL, SHGFP_TYPE_CURRENT, wide);
    return wide;
}

static std::string ShortcutFolder(int kind)
{
    char path[MAX_PATH] = "";
    WideCharToMultiByte(CP_ACP, 0, ShortcutFolderW(kind).c_str(), -1, path, MAX_PATH, NULL, NULL);
    return path;
}

// lnkinfo's reading of a link at any path: through a copy under a plain name.
static LinkFields ReadLinkAt(const std::wstring &path)
{
    CreateDirectoryA("C:\\lnkcheck", NULL);
    if (!CopyFileW(path.c_str(), L"C:\\lnkcheck\\wide.lnk", FALSE))
        return LinkFields();
    return ReadLink("C:\\lnkcheck\\wide.lnk");
}

// The entry of Apps & features, as Wine's own list of installed programs
// shows it: "key|||name". Wine prints the name in the Unix locale's encoding,
// so only an English one is compared.
static void ExpectListedByWinesUninstaller(const char *englishName)
{
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, NULL, TRUE };
    HANDLE out = CreateFileA("C:\\uninstaller.txt", GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out;
    PROCESS_INFORMATION info = {};
    char command[] = "uninstaller.exe --list";
    ASSERT_TRUE(CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &info));
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    CloseHandle(out);
    std::string list = ReadFileText("C:\\uninstaller.txt");
    EXPECT_NE(std::string::npos, list.find(std::string("LunkovanZavavIrazaz|||") + englishName)) << list;
}

// The folders made closed to other users (NT 5 and later) read back so.
static void ExpectClosedToOthers(const std::string &folder)
{
    std::string readBack = ListReadBack(folder);
    printf("%s reads back as %s.\n", folder.c_str(), readBack.c_str());
    EXPECT_EQ(TestSetting("LUNKO_EXPECT_CLOSED") == "1", readBack.find(";;;WD)") == std::string::npos)
        << folder << ": " << readBack;
}

// What a whole installation leaves behind, for the walk's plan.
static void ExpectInstalled(const WalkPlan &plan, const std::string &folder)
{
    int systemLanguage = atoi(TestSetting("LUNKO_EXPECT_LANGUAGE").c_str());
    // Every file of the catalogue, whole (the configuration file is updated,
    // below) and with its attributes.
    for (int row = 1; row <= kCatalogueRowCount; row++)
        EXPECT_TRUE(InstalledAsCatalogueSays(folder, row, PayloadCatalogue[row - 1].resourceId != 120));
    EXPECT_TRUE(FolderExists(folder + "\\doc")) << "a new folder gets its doc subfolder";

    std::string config = ReadFileText(folder + "\\vevedaro.ini");
    char settings[64];
    snprintf(settings, sizeof settings, "UseBmpFont=%d\r\n", plan.answer == IDC_DISPLAY_OK ? 0 : 1);
    std::string tail = config.substr(config.size() > 60 ? config.size() - 60 : 0);
    EXPECT_NE(std::string::npos, tail.find(settings)) << tail;
    snprintf(settings, sizeof settings, "ForceLanguage=%d\r\n", plan.language);
    EXPECT_EQ(tail.size() - strlen(settings), tail.rfind(settings)) << tail;

    // The shortcuts, named in the system language's bytes.
    const ShortcutNames &shortcut = kShortcutNames[systemLanguage];
    const char *const names[] = { shortcut.group, shortcut.uninstaller, shortcut.notes };
    std::wstring group = ShortcutFolderW(CSIDL_PROGRAMS) + L"\\" + Widened(names[0], CP_ACP);
    LinkFields editor = ReadLinkAt(group + L"\\" + Widened(names[0], CP_ACP) + L".lnk");
    EXPECT_EQ(folder + "\\LKOEdit.exe", editor.localPath) << editor.report;
    EXPECT_EQ(folder, editor.workingDirectory);
    LinkFields uninstaller = ReadLinkAt(group + L"\\" + Widened(names[1], CP_ACP) + L".lnk");
    EXPECT_EQ(folder + "\\LKOEditUnInstall.exe", uninstaller.localPath) << uninstaller.report;
    std::wstring desktop = ShortcutFolderW(CSIDL_DESKTOP);
    LinkFields notes = ReadLinkAt(desktop + L"\\" + Widened(names[2], CP_ACP) + L".lnk");
    EXPECT_EQ(folder + "\\Tavelorn.exe", notes.localPath) << notes.report;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((desktop + L"\\" + Widened(names[0], CP_ACP) + L".lnk").c_str()));
    ExpectListedByWinesUninstaller(systemLanguage == 0 ? names[0] : "");

    HKEY key;
    bool registered = RegOpenKeyExA(HKEY_CLASSES_ROOT, "LKOEditor.Document", 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (registered)
        RegCloseKey(key);
    EXPECT_EQ(TestSetting("LUNKO_EXPECT_REGISTERED") == "1", registered) << "classes only on NT 6 or later";

    ExpectClosedToOthers(folder);
    std::vector<std::string> speech = SpeechFolders(folder);
    EXPECT_TRUE(speech.empty()) << "left of the speech package: " << (speech.empty() ? "" : speech[0]);
    char programFiles[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, programFiles, CSIDL_PROGRAM_FILES, FALSE);
    EXPECT_EQ(plan.speech, FileExists(std::string(programFiles) + "\\Lunko Speech\\readme.txt"))
        << "what the speech package installs, only after OK";
}

// Wine's own "System" face is listed under the Chinese character sets but
// holds no Chinese glyph: a face counts when it has one for 中.
static int CALLBACK NoteChineseFont(const LOGFONTA *font, const TEXTMETRICA *, DWORD, LPARAM faces)
{
    HDC screen = GetDC(NULL);
    HFONT made = CreateFontIndirectA(font);
    HGDIOBJ old = SelectObject(screen, made);
    WORD glyph = 0xFFFF;
    GetGlyphIndicesW(screen, L"\x4E2D", 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(screen, old);
    DeleteObject(made);
    ReleaseDC(NULL, screen);
    if (glyph != 0xFFFF)
        *(std::string *)faces += std::string(font->lfFaceName) + "; ";
    return 1;
}

// The font faces of the system that hold Simplified or Traditional Chinese.
static std::string ChineseFontFaces()
{
    std::string faces;
    HDC screen = GetDC(NULL);
    for (BYTE charset : { GB2312_CHARSET, CHINESEBIG5_CHARSET }) {
        LOGFONTA wanted = {};
        wanted.lfCharSet = charset;
        EnumFontFamiliesExA(screen, &wanted, NoteChineseFont, (LPARAM)&faces, 0);
    }
    ReleaseDC(NULL, screen);
    return faces;
}

TEST_F(WizardRun, InstallsTheProductFromTheFirstPageToTheLastNotice)
{
    WalkPlan plan = ReadPlan();
    const std::string folder = "C:\\Lunko";
    // A system of version 3 has its profile folders where the installer
    // composes them; Wine makes none there.
    if (TestSetting("LUNKO_WALK_VERSION3") == "1") {
        MakeFolders(ShortcutFolder(CSIDL_PROGRAMS));
        MakeFolders(ShortcutFolder(CSIDL_DESKTOP));
    }

    // With Wine's font list cut down, only the glyph sheets can show Chinese.
    if (!TestSetting("FONTCONFIG_FILE").empty()) {
        EXPECT_EQ("", ChineseFontFaces());
    }
    Start();
    ASSERT_EQ(folder, ControlText(wizard, IDC_FOLDER_EDIT));
    ASSERT_TRUE(IsChecked(wizard, IDC_DESKTOP_ICON));
    RECT frame = ScreenRectOf(wizard), client = ClientScreenRect(wizard);
    printf("The wizard: %ld x %ld with its frame, client area %ld x %ld.\n", frame.right - frame.left,
           frame.bottom - frame.top, client.right - client.left, client.bottom - client.top);
    ExpectOnScreen(frame);
    Shot("page0");
    ExpectTextsWhole(wizard, 0);
    // The chooser's labels, and Cancel leaves the folder as it was.
    ClickControl(wizard, IDC_BROWSE);
    HWND chooser = WaitForWindow(kChooserCaption, program.processId, 30000);
    ASSERT_TRUE(chooser != NULL) << "Browse opens the folder chooser";
    Sleep(500);
    SaveScreenshot(chooser, (prefix + "_chooser").c_str());
    ExpectTextsWhole(chooser, kOnChooser);
    ClickControl(chooser, IDCANCEL);
    ASSERT_TRUE(WaitForWindowGone(kChooserCaption, program.processId, 30000));
    EXPECT_EQ(folder, ControlText(wizard, IDC_FOLDER_EDIT));
    Next(1);
    Shot("page1");
    ExpectTextsWhole(wizard, 1);
    // Next without an answer: the notice asks for one, and the page stays.
    ClickControl(wizard, IDC_NEXT);
    EXPECT_EQ(kNoAnswerNotice, Answer(IDOK, "no_answer", 30000));
    EXPECT_EQ(1, Page());
    ClickControl(wizard, plan.answer);
    ASSERT_TRUE(WaitForChecked(wizard, plan.answer, true));
    Next(2);
    EXPECT_TRUE(IsChecked(wizard, IDC_SHOW_ENGLISH));
    EXPECT_TRUE(IsControlVisible(wizard, IDC_AGREEMENT_EN)) << "the English text shows first";
    EXPECT_FALSE(IsControlVisible(wizard, IDC_AGREEMENT_ZH));
    Shot("page2");
    // The Chinese lines, drawn from their own bytes whatever the code page.
    ClickControl(wizard, IDC_SHOW_ENGLISH);
    EXPECT_TRUE(WaitForVisible(wizard, IDC_AGREEMENT_ZH, true));
    Sleep(300);                         // the list paints its lines after it shows
    Shot("page2_chinese");
    ExpectTextsWhole(wizard, 2);
    // The first lines, as far as they surely fit in the list's width.
    RECT list = ClientScreenRect(Control(wizard, IDC_AGREEMENT_ZH));
    int itemHeight = (int)SendMessageA(Control(wizard, IDC_AGREEMENT_ZH), LB_GETITEMHEIGHT, 0, 0);
    std::vector<unsigned char> agreement = ReadWholeFile(PayloadFilePath("agreement_zh.txt"));
    std::string text(agreement.begin(), agreement.end());
    for (int line = 0, at = 0; line < 5 && at < (int)text.size(); line++) {
        size_t end = text.find('\r', at);
        RECT item = { list.left, list.top + itemHeight * line, list.right, list.top + itemHeight * (line + 1) };
        EXPECT_EQ("", MissingGlyphs(item, text.substr(at, end - at).c_str(), list.right - list.left - 20))
            << "agreement line " << line;
        at = (int)(end == std::string::npos ? text.size() : end + 2);
    }
    ClickControl(wizard, IDC_SHOW_ENGLISH);
    Next(3);
    HWND combo = Control(wizard, IDC_LANGUAGE_COMBO);
    RECT field = ScreenRectOf(combo);
    printf("The language combo: closed %ld pixels high, its field's items %d.\n", field.bottom - field.top,
           (int)SendMessageA(combo, CB_GETITEMHEIGHT, (WPARAM)-1, 0));
    ExpectTextsWhole(wizard, 3);
    ExpectComboFieldWhole("first entry");
    ChooseLanguage(wizard, plan.language);
    Sleep(300);
    Shot("page3");
    ExpectComboFieldWhole("chosen entry");
    FocusControl(wizard, IDC_LANGUAGE_COMBO);
    Sleep(300);
    Shot("page3_focused");
    ExpectComboFieldWhole("focused, highlighted");
    ExpectOpenComboListWhole();

    DWORD pressed = GetTickCount();
    ClickControl(wizard, IDC_NEXT);
    // The wizard's thread installs without answering messages until the
    // first notice: a poll, not a settled wait, and time for the bar to draw.
    WaitUntil([](void *w) { return IsControlVisible((HWND)w, IDC_PROGRESS); }, wizard);
    Sleep(300);
    Shot("installing");
    HWND box = WaitForWindow(kNoticeCaption, program.processId, 180000);
    DWORD waited = GetTickCount() - pressed;
    ASSERT_TRUE(box != NULL) << "no notice after Install";
    EXPECT_GE(waited, 4000u) << "the first notice comes no earlier than 4 s after Install";
    EXPECT_EQ(kSuccessNotice, Answer(IDOK, "success"));
    EXPECT_EQ(kSpeechQuestion, Answer(plan.speech ? IDOK : IDCANCEL, "speech"));
    if (plan.speech)
        ExpectSpeechPackageRunByMsiexec(wizard, folder);
    EXPECT_EQ(0, WaitForExit(&program, 60000));

    ExpectInstalled(plan, folder);
}



// The same installation by the keyboard alone, as a user who cannot use a
// pointer makes it: Tab from control to control in each page's order, Space
// on the boxes, Enter on Next and Agree/Install and on the notices, Tab to
// Cancel and Enter on the speech question, which must start no package.
// Nothing moves the pointer but the installer itself, which brings it from
// outside onto the wizard for the wait cursor when the installation starts.
TEST_F(WizardRun, InstallsByTheKeyboardAloneWithoutMovingThePointer)
{
    WalkPlan plan = ReadPlan();
    ASSERT_EQ(IDC_DISPLAY_OK, plan.answer);
    ASSERT_EQ(0, plan.language) << "the combo keeps its first entry";
    ASSERT_FALSE(plan.speech) << "Enter on Cancel declines the speech component";
    Start();
    POINT pointer, now;
    ASSERT_TRUE(GetCursorPos(&pointer));
    RECT frame = ScreenRectOf(wizard);

    // {key, the control focused afterwards, the page afterwards}; a key
    // that brings up a notice names its English text, and Enter answers it.
    static const struct {
        int key;
        int focus;
        int page;
        const char *notice;
    } kKeys[] = {
        { VK_TAB, IDC_BROWSE, 0, nullptr },
        { VK_TAB, IDC_DESKTOP_ICON, 0, nullptr },
        { VK_SPACE, IDC_DESKTOP_ICON, 0, nullptr },     // off
        { VK_SPACE, IDC_DESKTOP_ICON, 0, nullptr },     // on again
        { VK_TAB, IDC_NEXT, 0, nullptr },
        { VK_TAB, IDCANCEL, 0, nullptr },
        { VK_TAB, IDC_FOLDER_EDIT, 0, nullptr },        // round to the first
        { VK_TAB, IDC_BROWSE, 0, nullptr },
        { VK_TAB, IDC_DESKTOP_ICON, 0, nullptr },
        { VK_TAB, IDC_NEXT, 0, nullptr },
        { VK_RETURN, IDC_NEXT, 1, nullptr },
        { VK_RETURN, IDC_NEXT, 1, "Please select a choice." },
        { VK_TAB, IDCANCEL, 1, nullptr },
        { VK_TAB, IDC_DISPLAY_OK, 1, nullptr },
        { VK_SPACE, IDC_DISPLAY_OK, 1, nullptr },
        { VK_TAB, IDC_DISPLAY_NO, 1, nullptr },
        { VK_TAB, IDC_BACK, 1, nullptr },
        { VK_TAB, IDC_NEXT, 1, nullptr },
        { VK_RETURN, IDC_NEXT, 2, nullptr },
        { VK_TAB, IDCANCEL, 2, nullptr },
        { VK_TAB, IDC_SHOW_ENGLISH, 2, nullptr },
        { VK_SPACE, IDC_SHOW_ENGLISH, 2, nullptr },     // the Chinese text
        { VK_TAB, IDC_AGREEMENT_ZH, 2, nullptr },
        { VK_TAB, IDC_BACK, 2, nullptr },
        { VK_TAB, IDC_NEXT, 2, nullptr },
        { VK_TAB, IDCANCEL, 2, nullptr },
        { VK_TAB, IDC_SHOW_ENGLISH, 2, nullptr },
        { VK_SPACE, IDC_SHOW_ENGLISH, 2, nullptr },     // the English text again
        { VK_TAB, IDC_AGREEMENT_EN, 2, nullptr },
        { VK_TAB, IDC_BACK, 2, nullptr },
        { VK_TAB, IDC_NEXT, 2, nullptr },
        { VK_RETURN, IDC_NEXT, 3, nullptr },
        { VK_TAB, IDCANCEL, 3, nullptr },
        { VK_TAB, IDC_LANGUAGE_COMBO, 3, nullptr },
        { VK_TAB, IDC_BACK, 3, nullptr },
        { VK_TAB, IDC_NEXT, 3, nullptr },
    };
    EXPECT_EQ(Control(wizard, IDC_FOLDER_EDIT), FocusedWindow(program.threadId));
    int step = 0;
    for (const auto &k : kKeys) {
        SCOPED_TRACE(testing::Message() << "key " << step++ << " (" << k.key << ")");
        bool ticked = k.key == VK_SPACE && IsChecked(wizard, k.focus);
        TypeKey(wizard, k.key);
        if (k.notice) {
            HWND box = WaitForWindow(kNoticeCaption, program.processId, 30000);
            ASSERT_TRUE(box != NULL);
            EXPECT_EQ(k.notice, ControlText(box, IDC_MESSAGE_ENGLISH));
            TypeKey(box, VK_RETURN);
            ASSERT_TRUE(WaitForWindowGone(kNoticeCaption, program.processId, 30000));
        }
        // For about 100 ms after Space on a button, Wine gives another
        // process the pointer as 0,0 (it was never there): the pointer is
        // read once the key has done its work and the reading has settled.
        HWND focus = Control(wizard, k.focus);
        DWORD start = GetTickCount();
        while ((FocusedWindow(program.threadId) != focus || Page() != k.page
                || (k.key == VK_SPACE && IsChecked(wizard, k.focus) == ticked)
                || !GetCursorPos(&now) || now.x != pointer.x || now.y != pointer.y)
               && GetTickCount() - start < 10000)
            Sleep(50);
        ASSERT_EQ(k.focus, GetDlgCtrlID(FocusedWindow(program.threadId)));
        ASSERT_EQ(k.page, Page());
        ASSERT_TRUE(GetCursorPos(&now));
        EXPECT_TRUE(now.x == pointer.x && now.y == pointer.y)
            << "the pointer moved to " << now.x << "," << now.y << " from " << pointer.x << "," << pointer.y;
        if (k.key == VK_SPACE) {
            EXPECT_NE(ticked, IsChecked(wizard, k.focus)) << "Space toggles " << k.focus;
        }
        // The list and the combo show where the focus is too.
        if (k.focus == IDC_AGREEMENT_ZH || k.focus == IDC_LANGUAGE_COMBO) {
            Sleep(300);
            Shot(k.focus == IDC_AGREEMENT_ZH ? "keyboard_list_focus" : "keyboard_combo_focus");
        }
    }

    TypeKey(wizard, VK_RETURN);                         // Agree/Install
    HWND box = WaitForWindow(kNoticeCaption, program.processId, 180000);
    ASSERT_TRUE(box != NULL) << "no notice after Install";
    EXPECT_EQ(kSuccessNotice, ControlText(box, IDC_MESSAGE_ENGLISH));
    TypeKey(box, VK_RETURN);
    // The speech question follows at once under the same caption.
    ASSERT_TRUE(WaitUntil([](void *w) { return !IsWindowVisible((HWND)w); }, box));
    box = WaitForWindow(kNoticeCaption, program.processId, 30000);
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ(kSpeechQuestion, ControlText(box, IDC_MESSAGE_ENGLISH));
    TypeKey(box, VK_TAB);
    ASSERT_TRUE(WaitForFocus(program.threadId, Control(box, IDCANCEL)));
    TypeKey(box, VK_RETURN);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
    EXPECT_FALSE(ProcessRuns("msiexec.exe")) << "Enter on Cancel opens no speech package";
    ASSERT_TRUE(GetCursorPos(&now));
    POINT centre = { frame.left + (frame.right - frame.left) / 2, frame.top + (frame.bottom - frame.top) / 2 };
    POINT expected = PtInRect(&frame, pointer) ? pointer : centre;
    EXPECT_TRUE(now.x == expected.x && now.y == expected.y)
        << "the pointer is at " << now.x << "," << now.y << ", not " << expected.x << "," << expected.y;
    ExpectInstalled(plan, "C:\\Lunko");
}

// ---- the folder ----------------------------------------------------------

// Every file and folder under C:\ but the Windows folder, by path.
static void ListTree(const std::string &folder, std::set<std::string> &paths)
{
    for (const std::string &name : FilesIn(folder, "*")) {
        std::string path = folder + "\\" + name;
        if (Lower(path) == "c:\\windows")
            continue;
        paths.insert(path);
        if (FolderExists(path))
            ListTree(path, paths);
    }
}

// Folder texts that must end in the folder notice, with nothing written.
static const char *const kRefusedFolders[] = {
    "",
    "   ",
    "C:\\no such parent\\Lunko",
    "Lunko",                            // relative to wherever the installer runs
    "\\Lunko",                          // rooted, but on which drive?
    "C:Lunko",                          // relative to drive C's current folder
    "Q:\\Lunko",                        // no such drive
    "C:\\Lun*ko",
    "C:\\Lunko?",
    "C:\\Lunko|x",
    "C:\\Lun\"ko",
    "C:\\Lunko<",
    "C:\\Lunko>",
    "CON",
    "C:\\NUL",
    "C:\\Lunko\\COM1",
    "C:\\Lunko.",
    "C:\\Lunko ",
    "\\\\?\\C:\\Lunko",
    "//?/C:/Lunko",                     // the same device path with slashes
};

// The rule alone, both ways, at the function: double-byte text typed into
// an ANSI edit box arrives garbled under Wine. A row with a code page runs
// only under it; there the second byte of a Chinese character may be 0x5C or
// 0x7C and is neither a backslash nor a bar (taken for one, it would make an
// empty name before the next backslash, or a forbidden character).
struct FolderTextCase {
    const char *text;
    UINT codePage;                      // 0: any
    int usable;
};

static const FolderTextCase kFolderTexts[] = {
    { "C:", 0, 1 },                     // the chooser's answer for a root
    { "C:\\", 0, 1 },
    { "C:\\Lunko\\", 0, 1 },
    { "C:\\Lunko\\\\", 0, 0 },
    { "\\\\server\\share\\dir", 0, 1 },
    { "\\\\", 0, 0 },
    { "C:/Lunko", 0, 1 },
    { "D:\\Apps/Lunko", 0, 1 },
    { "C:/Lunko/", 0, 1 },
    { "C://Lunko", 0, 0 },
    { "C:/Lunko/NUL", 0, 0 },
    { "C:/Lunko./x", 0, 0 },
    { "//server/share/dir", 0, 1 },
    { "/Lunko", 0, 0 },
    { "\\\\?\\C:\\Lunko", 0, 0 },
    { "//?/C:/Lunko", 0, 0 },
    { "\\\\.\\C:\\Lunko", 0, 0 },
    { "//./C:/Lunko", 0, 0 },
    // GBK: 乗 81 5C, 祈禱 C6 ED B6 5C, 億墊 83 7C 89 7C.
    { "C:\\\x81\x5C\\", 936, 1 },
    { "C:\\\xC6\xED\xB6\x5C\\Lunko\\", 936, 1 },
    { "C:/\x83\x7C\x89\x7C", 936, 1 },
    { "C:\\\xB6\x5C|", 936, 0 },
    // Big5: 許功蓋 B3 5C A5 5C BB 5C, 四 A5 7C.
    { "C:\\\xB3\x5C\xA5\x5C\xBB\x5C\\", 950, 1 },
    { "\\\\server\\\xA5\x7C\\\xA5\x5C", 950, 1 },
    { "C:\\\xA5\x7C|", 950, 0 },
    // The same bytes under a single-byte code page hold a bar.
    { "C:\\\xA5\x7C", 1252, 0 },
};

TEST(FolderText, UsableFolderTextIsAFullPathInEveryCodePage)
{
    int run = 0;
    for (const FolderTextCase &c : kFolderTexts) {
        if (c.codePage && c.codePage != GetACP())
            continue;
        run += c.codePage != 0;
        EXPECT_EQ(c.usable, IsUsableFolderText(c.text)) << "\"" << c.text << "\" under ACP " << GetACP();
    }
    std::string locale = TestSetting("LUNKO_LOCALE");
    if (!locale.empty() && locale != "en_US") {
        EXPECT_GT(run, 0) << "no row of this run's code page " << GetACP();
    }
}

TEST_F(WizardRun, RefusesAFolderTextThatNamesNoUsableFolderAndReturnsToTheFirstPage)
{
    CreateDirectoryA("C:\\walk-cwd", NULL);
    CreateDirectoryA("C:\\existing", NULL);
    WriteDummyFile("C:\\a-file");      // a file where the folder should be
    // A library the programs would load from their folder; the user's own
    // documents there do not count.
    WriteDummyFile("C:\\existing\\version.dll");
    WriteDummyFile("C:\\existing\\notes.txt");
    const std::string listBefore = ListReadBack("C:\\existing");
    std::vector<std::string> texts(std::begin(kRefusedFolders), std::end(kRefusedFolders));
    texts.push_back("C:\\a-file");
    // A folder that is a link to another (a junction on Windows): refused
    // where this Wine reports it as a reparse point.
    std::string notLinked = MakeSymbolicLink("C:\\linked", "C:\\existing", true);
    if (notLinked.empty())
        texts.push_back("C:\\linked");
    else
        printf("Not shown: %s.\n", notLinked.c_str());
    std::set<std::string> before;
    ListTree("C:", before);
    Start("C:\\walk-cwd");

    texts.push_back("C:\\" + std::string(256, 'a'));        // 259 characters, a name no file system takes
    texts.push_back("C:\\" + std::string(257, 'a'));        // 260
    texts.push_back("C:\\existing\\" + std::string(288, 'b')); // 300
    int count = 0;
    for (const std::string &text : texts) {
        SCOPED_TRACE("folder text \"" + text + "\"");
        SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM)text.c_str());
        WalkToLastPage(IDC_DISPLAY_OK, 0);
        ClickControl(wizard, IDC_NEXT);
        EXPECT_EQ(kFolderNotice, Answer(IDOK, count++ == 0 ? "folder_notice" : nullptr, 60000));

        ExpectFolderPageAgain(text);
    }
    Shot("folder_refused");
    // A drive's root cannot be closed to other users without the whole drive.
    SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM) "C:\\");
    WalkToLastPage(IDC_DISPLAY_OK, 0);
    ClickControl(wizard, IDC_NEXT);
    EXPECT_EQ(kUnsafeFolderNotice, Answer(IDOK, "unsafe_folder", 60000));
    ExpectFolderPageAgain("C:\\");
    // The system's own folders and their parents, however spelt; a folder
    // that hangs from one others could move; one holding a foreign library.
    static const struct {
        const char *text;
        const char *notice;
        const char *screenshot;
    } kUnsafe[] = {
        { "C:\\windows", kSystemFolderNotice, "system_folder" },
        { "c:\\WINDOWS\\System32\\", kSystemFolderNotice, nullptr },
        { "C:\\users", kSystemFolderNotice, nullptr },
        { "C:\\ProgramData", kSystemFolderNotice, nullptr },
        { "C:\\Program Files", kSystemFolderNotice, nullptr },
        { "C:\\existing\\Lunko", kUnsafeParentNotice, "unsafe_parent" },
        { "C:\\existing", kPlantedNotice, "planted_program" },
    };
    for (const auto &u : kUnsafe) {
        SCOPED_TRACE(std::string("folder text \"") + u.text + "\"");
        SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM)u.text);
        WalkToLastPage(IDC_DISPLAY_OK, 0);
        ClickControl(wizard, IDC_NEXT);
        EXPECT_EQ(u.notice, Answer(IDOK, u.screenshot, 60000));
        ExpectFolderPageAgain(u.text);
    }

    std::set<std::string> after;
    ListTree("C:", after);
    for (const std::string &path : after)
        EXPECT_TRUE(before.count(path)) << "written although refused: " << path;
    EXPECT_EQ(listBefore, ListReadBack("C:\\existing")) << "the refused folder keeps its list";
    DeleteFileA("C:\\existing\\version.dll");

    // An existing folder is used as it is: no doc subfolder is added. Named
    // with a forward slash, it reaches the shortcuts with a backslash.
    SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM) "C:/existing");
    WalkToLastPage(IDC_DISPLAY_NO, 1);
    ClickControl(wizard, IDC_NEXT);
    EXPECT_EQ(kSuccessNotice, Answer(IDOK, nullptr));
    EXPECT_EQ(kSpeechQuestion, Answer(IDCANCEL, nullptr));
    EXPECT_EQ(0, WaitForExit(&program, 60000));
    EXPECT_TRUE(FileExists("C:\\existing\\LKOEdit.exe"));
    EXPECT_FALSE(FolderExists("C:\\existing\\doc"));
    const char *editorName = kShortcutNames[0].group;
    LinkFields editor = ReadLink(ShortcutFolder(CSIDL_PROGRAMS) + "\\" + editorName + "\\" + editorName + ".lnk");
    EXPECT_EQ("C:\\existing\\LKOEdit.exe", editor.localPath) << editor.report;
    EXPECT_EQ("C:\\existing", editor.workingDirectory) << editor.report;
}

// A drive too small for the product (drive D of the run, an 8 MB file
// system): the notice says what is needed and what is free before anything
// is written, and the folder page comes back.
TEST_F(WizardRun, RefusesADriveWithoutSpaceForTheProductBeforeWritingOnIt)
{
    if (!TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE").empty())
        GTEST_SKIP() << "no small drive here: " << TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE");
    ASSERT_TRUE(FilesIn("D:\\", "*").empty());
    Start();
    const std::string text = "D:\\Lunko";
    SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM)text.c_str());
    WalkToLastPage(IDC_DISPLAY_OK, 0);
    ClickControl(wizard, IDC_NEXT);
    HWND box = WaitForWindow(kNoticeCaption, program.processId, 60000);
    ASSERT_TRUE(box != NULL);
    Sleep(300);                         // the box paints its labels after it shows
    unsigned long needed = 0, free = 0;
    std::string english = ControlText(box, IDC_MESSAGE_ENGLISH);
    ASSERT_EQ(2, sscanf(english.c_str(), kSpaceNoticeEnglish, &needed, &free)) << english;
    EXPECT_GE(needed * 1048576.0, (double)PayloadCatalogueBytes) << english;
    EXPECT_LE(free, 8u) << english;
    EXPECT_LT(free, needed) << english;
    char chinese[128];
    snprintf(chinese, sizeof chinese, kSpaceNoticeChinese, needed, free);
    EXPECT_EQ("", MissingGlyphs(ScreenRectOf(Control(box, IDC_MESSAGE_CHINESE)), chinese));
    EXPECT_EQ(english, Answer(IDOK, "space_notice"));
    ExpectFolderPageAgain(text);
    EXPECT_TRUE(FilesIn("D:\\", "*").empty()) << "nothing written on the small drive";
    ClickControl(wizard, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
}

// ---- a damaged payload ---------------------------------------------------
// Test builds whose payload has damaged resources (walk_faults.cmake):
// LUNKO_DAMAGED_ROWS names the catalogue rows among them.

static std::string RowPath(int row)
{
    return std::string("C:\\Lunko\\") + PayloadCatalogue[row - 1].fileName;
}

static std::set<int> DamagedRows()
{
    std::set<int> rows;
    std::string text = TestSetting("LUNKO_DAMAGED_ROWS");
    const char *at = text.c_str();
    int id, used;
    while (sscanf(at, "%d%n", &id, &used) == 1) {
        rows.insert(id);
        at += used;
    }
    return rows;
}

TEST_F(WizardRun, SkipsDamagedOptionalFilesAndTextsAndOpensNoDamagedSpeechPackage)
{
    std::set<int> damaged = DamagedRows();
    ASSERT_FALSE(damaged.empty());
    Start();
    ASSERT_TRUE(WalkForward(wizard, 2, IDC_DISPLAY_OK));
    EXPECT_EQ("", ControlText(wizard, IDC_AGREEMENT_EN)) << "the English text does not inflate";
    Shot("page2_english");
    // Each showing loads the texts again while one is missing: the Chinese
    // lines are there once each, however often the page shows.
    ClickControl(wizard, IDC_SHOW_ENGLISH);
    ASSERT_TRUE(WaitForVisible(wizard, IDC_AGREEMENT_ZH, true));
    Sleep(300);                         // the list paints its lines after it shows
    Shot("page2_chinese");
    ClickControl(wizard, IDC_BACK);
    ASSERT_TRUE(WaitForPage(1));
    Next(2);
    EXPECT_EQ((LRESULT)AgreementLines("agreement_zh.txt").size(),
              SendMessageA(Control(wizard, IDC_AGREEMENT_ZH), LB_GETCOUNT, 0, 0));
    Next(3);
    ClickControl(wizard, IDC_NEXT);
    // The first damaged file is named, and the count of all that were skipped.
    EXPECT_EQ("Installation Success, but 2 files not replaced. The installer file is damaged (fccdic.bin): "
              "please download it again.", Answer(IDOK, "success"));
    EXPECT_EQ(kSpeechQuestion, Answer(IDOK, nullptr));
    EXPECT_EQ(0, WaitForExit(&program, 60000));

    for (int row = 1; row <= kCatalogueRowCount; row++) {
        int id = PayloadCatalogue[row - 1].resourceId;
        if (damaged.count(id)) {
            EXPECT_FALSE(FileExists(RowPath(row))) << "a damaged file is skipped whole: " << RowPath(row);
        } else if (id != 120) {
            EXPECT_TRUE(InstalledAsCatalogueSays("C:\\Lunko", row, true, false));
        }
    }
    EXPECT_TRUE(SpeechFolders("C:\\Lunko").empty()) << "nothing of a damaged speech package is left";
    EXPECT_FALSE(ProcessRuns("msiexec.exe")) << "a damaged speech package is never opened";
}

TEST_F(WizardRun, FailsAtADamagedRequiredFileAndLeavesNoFileOfTheRun)
{
    std::set<int> damaged = DamagedRows();
    ASSERT_EQ(1u, damaged.size());
    Start();
    ASSERT_TRUE(WalkForward(wizard, 2, IDC_DISPLAY_NO));
    EXPECT_EQ("", ControlText(wizard, IDC_AGREEMENT_EN));
    ClickControl(wizard, IDC_SHOW_ENGLISH);
    ASSERT_TRUE(WaitForVisible(wizard, IDC_AGREEMENT_ZH, true));
    EXPECT_EQ(0, SendMessageA(Control(wizard, IDC_AGREEMENT_ZH), LB_GETCOUNT, 0, 0))
        << "a Chinese text that does not inflate shows no line";
    Shot("page2_empty");
    Next(3);
    ClickControl(wizard, IDC_NEXT);
    EXPECT_EQ("Installation failed. The installer file is damaged (keymap.bmp): please download it again.",
              Answer(IDOK, "failure"));
    EXPECT_EQ(0, WaitForExit(&program, 60000)) << "no speech question after a failure";

    // The rows before it were staged and are removed again: the new folder
    // holds what this run made of it, "doc" alone.
    EXPECT_EQ(std::vector<std::string>{ "doc" }, FilesIn("C:\\Lunko", "*"));
    EXPECT_TRUE(LinksIn(ShortcutFolder(CSIDL_DESKTOP)).empty()) << "no shortcut after a failure";
    EXPECT_TRUE(FilesIn(ShortcutFolder(CSIDL_PROGRAMS), "Lunko*").empty());
    HKEY key;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "LKOEditor.Document", 0, KEY_READ, &key))
        << "no document class after a failure";
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                           "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LunkovanZavavIrazaz",
                                           0, KEY_READ, &key))
        << "no entry in Apps & features after a failure";
}

// ---- someone else's files ------------------------------------------------
// Run as an unprivileged user, with a folder (C:\Locked) and two files of the
// default folder, one optional and one required (fccdic.bin, Tavelorn.exe),
// that belong to another user and are read-only (LUNKO_FOREIGN).

TEST_F(WizardRun, NeverReportsSuccessWhereTheUserMayNotWrite)
{
    const char *const foreign[] = { "C:\\Lunko\\fccdic.bin", "C:\\Lunko\\Tavelorn.exe" };
    std::vector<std::vector<unsigned char>> before;
    for (const char *path : foreign)
        before.push_back(ReadWholeFile(path));
    ASSERT_FALSE(before[1].empty()) << "the run prepares files of another user";

    Start();
    SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM) "C:\\Locked\\Lunko");
    WalkToLastPage(IDC_DISPLAY_OK, 0);
    ClickControl(wizard, IDC_NEXT);
    EXPECT_EQ("This folder is not safe: other users could move or change C:\\Locked. Please choose another folder.",
              Answer(IDOK, nullptr))
        << "a folder under another user's";
    ASSERT_TRUE(WaitForPage(0));
    SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM) "C:\\Locked");
    WalkToLastPage(IDC_DISPLAY_OK, 0);
    ClickControl(wizard, IDC_NEXT);
    // Under Wine another user's folder belongs to no one it knows (S-1-5-7).
    EXPECT_EQ(kUnsafeFolderNotice, Answer(IDOK, nullptr)) << "a folder of another owner";
    ExpectFolderPageAgain("C:\\Locked");
    ClickControl(wizard, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
    EXPECT_TRUE(FilesIn("C:\\Locked", "*").empty());
    EndProgram(&program);

    Start();
    WalkToLastPage(IDC_DISPLAY_OK, 0);
    ClickControl(wizard, IDC_NEXT);
    EXPECT_EQ("Installation failed. Access to Tavelorn.exe is denied.", Answer(IDOK, nullptr))
        << "a required file that cannot be replaced";
    EXPECT_EQ(0, WaitForExit(&program, 60000));
    for (size_t i = 0; i < before.size(); i++)
        EXPECT_TRUE(ReadWholeFile(foreign[i]) == before[i]) << foreign[i] << " is left as it was";
    EXPECT_TRUE(LinksIn(ShortcutFolder(CSIDL_DESKTOP)).empty());
}

// ---- files that cannot be written ----------------------------------------
// LUNKO_WRITE_FAULT picks the row: a program of an existing installation that
// a running program holds open without sharing, or a drive (D:, with room for
// everything when Install is pressed) that fills while the files are written.
// A held file is found before anything is written: the notice names it and
// the program, Cancel goes back to the last page, OK once it is quit goes on.

static const struct {
    const char *fault;
    const char *folder;
    const char *heldFile;       // planted in the folder and held, or null
    const char *notice;         // its English, or how it begins
    const char *screenshot;
    const char *beside = nullptr;   // planted too: the rest of an old word base
    int answer = IDCANCEL;      // to the held-file notice; OK after the program is quit
    bool running = false;       // an earlier installation, the held file running from it
} kWriteFaults[] = {
    { "held-required", "C:\\Lunko", "Tavelorn.exe",
      "Tavelorn.exe is in use by another program. Quit it, then press OK to try again, or Cancel to stop.",
      "held_required" },
    { "held-optional", "C:\\Lunko", "LKOEdit.exe",
      "LKOEdit.exe is in use by the editor (LKOEdit.exe). Quit it, then press OK to try again, or Cancel to stop.",
      "held_optional", nullptr, IDOK },
    // The longest name: cut in the Chinese line so that the request still shows.
    { "held-long-name", "C:\\Lunko", "mi_bihua1_dups_prefered_codes.bin",
      "mi_bihua1_dups_prefered_codes.bin is in use by another program. Quit it, then press OK to try again, or "
      "Cancel to stop.", "held_long_name" },
    // The pinyin server holds its index: asked, Yes, and nothing is written.
    { "held-word-base", "C:\\Lunko", "pycizudic.idx",
      "pycizudic.idx is in use by the pinyin server (DoVaz.exe). Quit it, then press OK to try again, or Cancel "
      "to stop.", "held_word_base", "CiZuFlat.igb" },
    { "server-running", "C:\\Lunko", "DoVaz.exe",
      "DoVaz.exe is in use by the pinyin server (DoVaz.exe). Quit it, then press OK to try again, or Cancel to "
      "stop.", "held_server", nullptr, IDOK, true },
    { "disk-fills", "D:\\Lunko", nullptr, "Installation failed. The disk is full (", "failure_disk_full" },
};

// Waits until the installer has made `folder`, then fills its drive to the
// last byte, as another program's download would.
static void FillDriveOf(const char *folder)
{
    ASSERT_TRUE(WaitUntil([](void *f) { return GetFileAttributesA((const char *)f) != INVALID_FILE_ATTRIBUTES; },
                          (void *)folder, 120000));
    HANDLE file = CreateFileA((std::string(folder, 2) + "\\filler").c_str(), GENERIC_WRITE, 0, NULL,
                              CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::vector<char> chunk(1 << 20, 'f');
    DWORD written = 0;
    for (DWORD size = 1 << 20; size >= 512; size /= 2)
        while (WriteFile(file, chunk.data(), size, &written, NULL) && written == size) {
        }
    CloseHandle(file);
}

TEST_F(WizardRun, NamesTheFileAndTheReasonWhenAFileCannotBeWritten)
{
    std::string fault = TestSetting("LUNKO_WRITE_FAULT");
    for (const auto &row : kWriteFaults) {
        if (fault != row.fault)
            continue;
        if (!row.heldFile && !TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE").empty())
            GTEST_SKIP() << "no small drive here: " << TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE");
        std::string heldPath = row.heldFile ? std::string(row.folder) + "\\" + row.heldFile : "";
        HANDLE held = INVALID_HANDLE_VALUE;
        PROCESS_INFORMATION server = {};
        if (row.running) {
            // An earlier installation, its own bytes in every file but the program.
            CreateDirectoryA(row.folder, NULL);
            for (int i = 0; i < kCatalogueRowCount; i++) {
                std::string path = std::string(row.folder) + "\\" + PayloadCatalogue[i].fileName;
                ASSERT_TRUE(path == heldPath ? CopyFileA(PayloadFilePath(row.heldFile).c_str(), path.c_str(), FALSE)
                                             : PlantFile(path, std::string("earlier ") + PayloadCatalogue[i].fileName))
                    << path;
            }
            STARTUPINFOA start = {};
            start.cb = sizeof start;
            ASSERT_TRUE(CreateProcessA(heldPath.c_str(), NULL, NULL, NULL, FALSE, 0, NULL, row.folder, &start, &server));
            WaitForInputIdle(server.hProcess, 30000);
        } else if (row.heldFile) {
            CreateDirectoryA(row.folder, NULL);
            ASSERT_TRUE(PlantFile(heldPath, "the running program"));
            if (row.beside) {
                ASSERT_TRUE(PlantFile(std::string(row.folder) + "\\" + row.beside, "the user's words"));
            }
            held = CreateFileA(heldPath.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
        Start();
        SendMessageA(Control(wizard, IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM)row.folder);
        WalkToLastPage(IDC_DISPLAY_OK, 0);
        ClickControl(wizard, IDC_NEXT);
        if (!row.heldFile)
            FillDriveOf(row.folder);
        if (row.beside) {
            EXPECT_EQ("Old CiKu (Word Base) is detected. Replace it with new CiKu?", Answer(IDYES, "word_base_question"));
        }
        if (row.heldFile && row.answer == IDOK) {
            // The user quits the program while the notice is up.
            ASSERT_TRUE(WaitForWindow(kNoticeCaption, program.processId, 120000) != NULL);
            if (row.running) {
                TerminateProcess(server.hProcess, 0);
                WaitForSingleObject(server.hProcess, 30000);
                CloseHandle(server.hProcess);
                CloseHandle(server.hThread);
            } else {
                CloseHandle(held);
                held = INVALID_HANDLE_VALUE;
            }
        }
        std::string notice = Answer(row.heldFile ? row.answer : IDOK, row.screenshot);
        EXPECT_EQ(0u, notice.find(row.notice)) << notice;
        if (row.heldFile && row.answer == IDCANCEL) {
            EXPECT_TRUE(WaitForPage(3)) << "back on the last page, nothing changed";
            EXPECT_TRUE(IsControlVisible(wizard, IDC_NEXT));
            ClickControl(wizard, IDCANCEL);
        } else if (row.heldFile) {
            EXPECT_EQ(kSuccessNotice, Answer(IDOK, "held_then_success")) << "completed in the same run";
        }
        if (notice.find("Success") != std::string::npos || (row.heldFile && row.answer == IDOK)) {
            EXPECT_EQ(kSpeechQuestion, Answer(IDCANCEL, nullptr));
        }
        EXPECT_EQ(0, WaitForExit(&program, 60000));
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
            EXPECT_EQ("the running program", ReadFileText(heldPath));
        }
        if (row.beside) {
            EXPECT_EQ("the user's words", ReadFileText(std::string(row.folder) + "\\" + row.beside));
            EXPECT_EQ(2u, FilesIn(row.folder, "*").size()) << "nothing written";
        }
        if (row.running) {
            for (int r = 1; r <= kCatalogueRowCount; r++) {
                if (r != 11) {          // the configuration file is updated
                    EXPECT_TRUE(InstalledAsCatalogueSays(row.folder, r));
                }
            }
            EXPECT_TRUE(FilesIn(row.folder, "*.lunko*").empty()) << "no temporary name is left";
        }
        return;
    }
    FAIL() << "no such fault: " << fault;
}

// ---- unattended runs -----------------------------------------------------
// LUNKO_UNATTENDED picks the row: the command line, what the prefix holds
// before, where the product lands (null: nothing may be written) and the
// exit code. The whole run shows no window at all.

static const struct {
    const char *run;
    const char *arguments;
    const char *folder;
    int exitCode;
    bool oldWordBase;           // planted in the folder: kept
    bool chineseFolders;        // the user's Start Menu and desktop have Chinese names
    const char *held = nullptr; // planted and held open by a running program
    bool twice = false;         // started twice at once: one installs, the other ends with 1618
} kUnattendedRuns[] = {
    { "default", "/S", "C:\\Lunko", 0, false, false },
    { "folder", "/S /D=C:\\Lunko Silent", "C:\\Lunko Silent", 0, false, false },
    // Wine reads every folder's owner as the prefix's user, Program Files
    // too: a parent that user's unelevated programs could move.
    { "user-parent", "/S /D=C:\\Program Files\\Lunko Silent", nullptr, 5, false, false },
    { "word-base", "/s", "C:\\Lunko", 0, true, false },
    { "small-drive", "/S /D=D:\\Lunko", nullptr, 112, false, false },
    { "unknown-switch", "/S /DIR=C:\\Lunko", nullptr, 87, false, false },
    { "no-parent", "/S /D=C:\\no such parent\\Lunko", nullptr, 3, false, false },
    { "root", "/S /D=C:\\", nullptr, 5, false, false },
    { "chinese-folders", "/S", "C:\\Lunko", 0, false, true },
    { "held", "/S", nullptr, 32, false, false, "C:\\Lunko\\Tavelorn.exe" },
    { "twice", "/S", "C:\\Lunko", 0, false, false, nullptr, true },
};

// A visible window of process `processId`, noted in `shownWindow`.
static HWND shownWindow;
static BOOL CALLBACK NoteVisibleWindow(HWND window, LPARAM processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == (DWORD)processId && IsWindowVisible(window))
        shownWindow = window;
    return TRUE;
}

// "开始菜单\程序" and "桌面" under the profile, as a Chinese Windows names
// them, on a system whose code page cannot spell them.
static void GiveTheUsersFoldersChineseNames()
{
    const wchar_t *const kFolders[][2] = {
        { L"Programs", L"%USERPROFILE%\\\x5F00\x59CB\x83DC\x5355\\\x7A0B\x5E8F" },
        { L"Desktop", L"%USERPROFILE%\\\x684C\x9762" },
    };
    for (const auto &f : kFolders) {
        WCHAR path[MAX_PATH];
        ExpandEnvironmentStringsW(f[1], path, MAX_PATH);
        SHCreateDirectoryExW(NULL, path, NULL);
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER,
                                                 L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                                 f[0], REG_EXPAND_SZ, f[1], (DWORD)(wcslen(f[1]) + 1) * 2));
    }
    ASSERT_NE(std::wstring::npos, ShortcutFolderW(CSIDL_PROGRAMS).find(L"\x7A0B\x5E8F"));
}

TEST(Unattended, InstallsWithoutAnyWindowAndEndsWithTheSystemsCodeForWhatHappened)
{
    std::string run = TestSetting("LUNKO_UNATTENDED");
    for (const auto &row : kUnattendedRuns) {
        if (run != row.run)
            continue;
        if (!TestSetting("LUNKO_SMALL_DRIVE").empty() && !TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE").empty())
            GTEST_SKIP() << "no small drive here: " << TestSetting("LUNKO_SMALL_DRIVE_UNAVAILABLE");
        if (row.oldWordBase) {
            CreateDirectoryA("C:\\Lunko", NULL);
            ASSERT_TRUE(PlantFile("C:\\Lunko\\CiZuFlat.igb", "the user's words"));
            ASSERT_TRUE(PlantFile("C:\\Lunko\\pycizudic.idx", "\x80 the user's index"));
        }
        if (row.chineseFolders)
            GiveTheUsersFoldersChineseNames();
        HANDLE held = INVALID_HANDLE_VALUE;
        if (row.held) {
            CreateDirectoryA("C:\\Lunko", NULL);
            ASSERT_TRUE(PlantFile(row.held, "the running program"));
            held = CreateFileA(row.held, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        }
        std::set<std::string> before;
        ListTree("C:", before);

        Program program = {}, second = {};
        ASSERT_TRUE(StartProgram(InstallerPath(), &program, nullptr, row.arguments));
        ASSERT_TRUE(!row.twice || StartProgram(InstallerPath(), &second, nullptr, row.arguments));
        for (DWORD start = GetTickCount();
             WaitForSingleObject(program.process, 20) == WAIT_TIMEOUT && GetTickCount() - start < 300000;)
            EnumWindows(NoteVisibleWindow, (LPARAM)program.processId);
        EXPECT_TRUE(shownWindow == NULL) << "a window showed: " << WindowText(shownWindow);
        int exitCode = WaitForExit(&program, 1000);
        if (row.twice) {
            int other = WaitForExit(&second, 300000);
            EXPECT_EQ(1618, exitCode + other) << exitCode << " and " << other;
            exitCode = exitCode < other ? exitCode : other;
            EndProgram(&second);
        }
        EXPECT_EQ(row.exitCode, exitCode);
        EndProgram(&program);
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
            EXPECT_EQ("the running program", ReadFileText(row.held));
        }

        if (!row.folder) {
            std::set<std::string> after;
            ListTree("C:", after);
            for (const std::string &path : after)
                EXPECT_TRUE(before.count(path)) << "written although refused: " << path;
            EXPECT_TRUE(FilesIn("D:\\", "*").empty());
            return;
        }
        // Where the wizard asks: the desktop icons as the box starts, the
        // sample line not shown on this code page, the preselected English,
        // no speech package.
        WalkPlan plan;
        plan.answer = GetACP() == 936 || GetACP() == 950 ? IDC_DISPLAY_OK : IDC_DISPLAY_NO;
        if (!row.oldWordBase) {
            ExpectInstalled(plan, row.folder);
            return;
        }
        EXPECT_EQ("the user's words", ReadFileText("C:\\Lunko\\CiZuFlat.igb"));
        EXPECT_EQ("\x80 the user's index", ReadFileText("C:\\Lunko\\pycizudic.idx"));
        EXPECT_TRUE(FileExists("C:\\Lunko\\LKOEdit.exe"));
        return;
    }
    FAIL() << "no such run: " << run;
}

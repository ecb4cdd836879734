// What Agree/Install starts: the folder check, the install sequence with its
// five-second minimum, the outcome, and the offer of the speech component.

#include <direct.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <windows.h>

#include "payload/catalogue.h"
#include "payload/payload.h"
#include "render/render.h"
#include "resources/ids.h"
#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

static const char kFolderNoticeChinese[] =
    "无法建目录。请检查所列目录是否合法（注意：子目录只能在已存在的目录下建）。";
static const char kFolderNoticeFormat[] = "%s Please check folder path.";
static const char kFolderNoticeWhat[] = "Cannot create folder!";
static const char kUnsafeFolderChinese[] = "此目录不安全：别的用户可以改其中的程序。请另选目录。";
static const char kUnsafeFolderEnglish[] =
    "This folder is not safe: other users could change the programs in it. Please choose another folder.";
static const char kSystemFolderChinese[] = "这是系统自己的目录（或含有系统目录），不能安装在这里。请另选目录。";
static const char kSystemFolderEnglish[] =
    "This is one of the system's own folders, or holds one: nothing may be installed in it. Please choose another "
    "folder.";
static const char kNoListsChinese[] = "此磁盘不能保护安装的程序（不支持访问权限）。请另选磁盘。";
static const char kNoListsEnglish[] =
    "This drive cannot protect the programs installed on it (it keeps no access lists). Please choose another drive.";
static const char kSpaceNoticeChinese[] = "磁盘空间不够：需要 %lu MB，只有 %lu MB。请另选目录或清理磁盘。";
static const char kSpaceNoticeEnglish[] =
    "Not enough disk space: %lu MB needed, %lu MB free. Please choose another folder or free some space.";
static const char kSuccessChinese[] = "祝贺您：安装顺利完成！";
static const char kSuccessEnglish[] = "Congratulations! Installation Success!";
static const char kSpeechChinese[] = "下面安装微软的语音模块SAPI5.1.";
static const char kSpeechEnglish[] = "Now install sound module SAPI5.1 from Microsoft.";
static const char kFailureChinese[] = "安装失败！请检查一下系统后，再重新安装。谢谢！";
static const char kFailureEnglish[] =
    "Installation failed. Please check your system (quit all Lunko applications) and try again.";
static const char kSpeechPackageName[] = "Sapi51forLunko.msi";
static const char kWordBaseQuestionChinese[] = "安装目录有老词库。是否安装新词库(会冲掉老词库)?";
static const char kWordBaseQuestionEnglish[] =
    "Old CiKu (Word Base) is detected. Replace it with new CiKu?";

// Folder notices that name what is to blame, %s; cut as the outcome's.
static const char kForeignProgramChinese[] = "此目录中有不属于本软件的程序，请删除它或另选目录：%s";
static const char kForeignProgramEnglish[] =
    "This folder holds a program that is not Lunko's. Remove it or choose another folder: %s";
static const char kUnsafePathChinese[] = "此目录不安全：别的用户可以移动或修改 %s。请另选目录。";
static const char kUnsafePathEnglish[] =
    "This folder is not safe: other users could move or change %s. Please choose another folder.";
static const char kNotSecuredChinese[] = "无法设置访问权限：%s。请另选目录。";
static const char kNotSecuredEnglish[] = "The access rights of %s could not be set. Please choose another folder.";

// The outcome notices name the file that failed and why; %s is the file's
// name. The box draws only the first bytes of the Chinese text, on one line,
// and holds a limited English text: a long name is cut, never the reason.
enum { kChineseShown = kWindowTextShown, kEnglishShown = kBoxEnglishCapacity - 1 };
static const char kFailedHeadChinese[] = "安装失败！";
static const char kFailedHeadEnglish[] = "Installation failed. ";
static const char kSkippedHeadChinese[] = "安装完成，%d个文件未替换：";
static const char kSkippedHeadEnglish[] = "Installation Success, but %d file%s not replaced. ";

struct ReasonText {
    const char *chinese;
    const char *english;
};
// By PayloadResult, from kPayloadInUse on.
static const ReasonText kReasons[] = {
    { "%s 正被其他程序使用，请退出该程序。", "%s is in use: quit the program using it." },
    { "无权写入 %s。", "Access to %s is denied." },
    { "磁盘已满，无法写入 %s。", "The disk is full (%s)." },
    { "安装程序文件已损坏(%s)，请重新下载。", "The installer file is damaged (%s): please download it again." },
    { "安装目录已不存在(%s)。", "The installation folder went away (%s)." },
    { "%s 是符号链接或联接点，未写入。", "%s is a link or junction: not followed." },
    { "%s 无法写入。", "%s could not be written." },
};
// A file held before anything is written: the first %s is the file, the
// second the program holding it.
static const ReasonText kHeldNotice = { "%s 正被%s使用。请退出它，按确定重试，按取消停止。",
                                        "%s is in use by %s. Quit it, then press OK to try again, or Cancel to stop." };
// The holders the catalogue knows of, where the system names none.
static const ReasonText kHolders[] = {
    { "其他程序", "another program" },
    { "拼音服务程序", "the pinyin server (DoVaz.exe)" },
    { "编辑器", "the editor (LKOEdit.exe)" },
};
static const ReasonText kStrandedNotice = { "旧文件未能复原，仍在 %s，请勿删除。",
                                            "An old file could not be put back: it is kept as %s. Do not delete it." };
static const ReasonText kServerInUse = { "%s 正被拼音服务程序使用，请先退出它。",
                                         "%s is in use: quit the pinyin server (DoVaz.exe)." };
static const ReasonText kEditorInUse = { "%s 正被编辑器使用，请先退出编辑器。",
                                         "%s is in use: quit the editor (LKOEdit.exe)." };

enum { kMinimumSeconds = 5, kSpeechFolderAttempts = 100 };

// ---- the folder ----------------------------------------------------------

static void ComposeNotice(char *text, size_t shown, const char *head, const char *reason, const char *name,
                          const char *holder = "");

// True for CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with or without an
// extension: Windows takes such a name for a device in any folder.
static int IsDeviceName(const char *name, size_t length)
{
    static const char *const kDevices[] = { "CON", "PRN", "AUX", "NUL" };
    size_t stem = 0;
    while (stem < length && name[stem] != '.')
        stem++;
    while (stem > 0 && name[stem - 1] == ' ')
        stem--;
    for (const char *device : kDevices)
        if (stem == 3 && _strnicmp(name, device, 3) == 0)
            return 1;
    return stem == 4 && (_strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0)
           && name[3] >= '1' && name[3] <= '9';
}

static int IsUsableName(const char *name, size_t length)
{
    if (length == 0 || name[length - 1] == '.' || name[length - 1] == ' ')
        return 0;                       // also "." and ".."
    return !IsDeviceName(name, length);
}

// Windows takes a forward slash for a backslash in a folder path.
static int IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

int IsUsableFolderText(const char *path)
{
    size_t length = strlen(path);
    size_t at;
    if (length == 0 || length >= MAX_PATH)
        return 0;
    int letter = (path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z';
    if (letter && path[1] == ':' && (IsSeparator(path[2]) || path[2] == 0))
        at = 2;                         // "C:\..." or the root "C:"
    else if (IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != '?' && path[2] != '.')
        at = 1;                         // "\\server\share\...", not a device path ("\\?\", "//./")
    else
        return 0;                       // relative forms name no fixed folder

    // Components between separators; the second byte of a two-byte
    // character may look like a backslash or a forbidden character.
    size_t start = at + 1;
    for (size_t i = at + 1; i <= length; i++) {
        unsigned char c = (unsigned char)path[i];
        if (i < length && IsDBCSLeadByte(c) && path[i + 1]) {
            i++;
            continue;
        }
        if (i < length && (c < 32 || strchr("*?\"<>|:", c)))
            return 0;
        if (i < length && !IsSeparator(c))
            continue;
        // One trailing separator is allowed; the name before it is checked.
        if (!(i == length && i == start) && !IsUsableName(path + start, i - start))
            return 0;
        start = i + 1;
    }
    return at == 2 || start > 3;        // a share needs more than "\\"
}

// Everything joined to the folder later (files, shortcut targets, registry
// commands) is composed with backslashes and split at them.
static void UseBackslashes(char *path)
{
    for (; *path; path++) {
        if (IsDBCSLeadByte((BYTE)*path) && path[1])
            path++;
        else if (*path == '/')
            *path = '\\';
    }
}

// `culprit` names what is to blame, for the verdicts whose notice names it.
static void ShowFolderNotice(int verdict, const SpaceShortage &space, const char *culprit)
{
    char chinese[kWindowTextShown + 1];
    char english[kBoxEnglishCapacity];
    static const char *const kNamed[][2] = {
        { kUnsafePathChinese, kUnsafePathEnglish },
        { kForeignProgramChinese, kForeignProgramEnglish },
        { kNotSecuredChinese, kNotSecuredEnglish },
    };
    switch (verdict) {
    case kFolderUnsafe:
        BilingualMessageBox(kUnsafeFolderChinese, kUnsafeFolderEnglish, kBoxOk, WizardWindow);
        break;
    case kFolderOfSystem:
        BilingualMessageBox(kSystemFolderChinese, kSystemFolderEnglish, kBoxOk, WizardWindow);
        break;
    case kFolderWithoutLists:
        BilingualMessageBox(kNoListsChinese, kNoListsEnglish, kBoxOk, WizardWindow);
        break;
    case kFolderUnsafePath:
    case kFolderHoldsProgram:
    case kFolderNotSecured:
        ComposeNotice(chinese, kWindowTextShown, "", kNamed[verdict - kFolderUnsafePath][0], culprit);
        ComposeNotice(english, kBoxEnglishCapacity - 1, "", kNamed[verdict - kFolderUnsafePath][1], culprit);
        BilingualMessageBox(chinese, english, kBoxOk, WizardWindow);
        break;
    case kFolderShortOfSpace:
        FormatText(chinese, sizeof chinese, kSpaceNoticeChinese, space.neededMegabytes, space.freeMegabytes);
        FormatText(english, sizeof english, kSpaceNoticeEnglish, space.neededMegabytes, space.freeMegabytes);
        BilingualMessageBox(chinese, english, kBoxOk, WizardWindow);
        break;
    default:
        FormatText(english, sizeof english, kFolderNoticeFormat, kFolderNoticeWhat);
        BilingualMessageBox(kFolderNoticeChinese, english, kBoxOk, WizardWindow);
        break;
    }
}

// A folder that is a junction or a link could send the files elsewhere.
static int IsReparsePoint(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// "C:\" or "\\server\share": a folder only administrators may change
// cannot be made of a drive's or a share's root without changing the whole
// drive.
static int IsRootFolder(const char *folder)
{
    size_t length = strlen(folder);
    return length + (folder[length - 1] != '\\') <= FolderRootLength(folder);
}

// Where the system keeps access control (NT 5 and later): whether the
// folder's drive keeps lists and no one but the system's accounts can move
// or change the folders it hangs from. A drive without lists protects
// nothing; before NT 6 nothing in the folder is registered machine-wide, and
// such a drive is used as it always was (`lists` then 0: nothing to set).
static int CheckFolderSecurity(const char *folder, int *lists, char *culprit)
{
    *lists = KeepsAccessLists(folder);
    if (*lists < 0)
        return kFolderUnusable;         // no such drive
    if (!*lists)
        return DocumentRegistration ? kFolderWithoutLists : kFolderReady;
    int path = CheckFolderPath(folder, culprit);
    return path < 0 ? kFolderUnusable : path ? kFolderReady : kFolderUnsafePath;
}

// An existing folder, on NT 5 and later: never the system's own, nor one
// that holds a program no installation of the product put there; closed to
// everyone but Administrators and SYSTEM, and looked through once more
// when it is, so that nothing slips in between.
static int TakeExistingFolder(const char *folder, char *culprit)
{
    if (IsRootFolder(folder))
        return kFolderUnsafe;
    if (IsSystemFolder(folder))
        return kFolderOfSystem;
    int lists;
    int verdict = CheckFolderSecurity(folder, &lists, culprit);
    if (verdict != kFolderReady)
        return verdict;
    if (FindForeignProgram(folder, culprit))
        return kFolderHoldsProgram;
    if (!lists)
        return kFolderReady;
    int secured = SecureExistingFolder(folder);
    if (secured <= 0) {
        lstrcpynA(culprit, folder, MAX_PATH);
        return secured ? kFolderNotSecured : kFolderUnsafe;
    }
    return FindForeignProgram(folder, culprit) ? kFolderHoldsProgram : kFolderReady;
}

// Makes the folder the current directory, or creates it (one level) with its
// "doc" subfolder, once the drive is known to hold the catalogue. Where the
// system keeps access control, an existing folder is used only when it can
// be closed to other users, and a new one is made closed, under folders
// that only the system's accounts can change.
int PrepareInstallFolder(const char *text, SpaceShortage *space, char *culprit)
{
    InstallFolderPath[0] = 0;
    // A longer text is refused, never cut into a folder the user did not name.
    if (strlen(text) >= MAX_PATH)
        return kFolderUnusable;
    lstrcpyA(InstallFolderPath, text);
    if (!IsUsableFolderText(InstallFolderPath))
        return kFolderUnusable;
    UseBackslashes(InstallFolderPath);

    // "E:" alone is the current folder of drive E to the system, but the
    // root to the user who chose it; the files are joined as "E:\name".
    char folder[MAX_PATH + 1];
    FormatText(folder, sizeof folder, "%s%s", InstallFolderPath,
               InstallFolderPath[2] == 0 && InstallFolderPath[1] == ':' ? "\\" : "");
    if (!CatalogueFitsOnDrive(folder, &space->neededMegabytes, &space->freeMegabytes))
        return kFolderShortOfSpace;
    if (SetCurrentDirectoryA(folder)) {
        if (IsReparsePoint(folder))
            return kFolderUnusable;
        return NtFiveOrLater ? TakeExistingFolder(folder, culprit) : kFolderReady;
    }
    int lists;
    int verdict = NtFiveOrLater ? CheckFolderSecurity(folder, &lists, culprit) : kFolderReady;
    if (verdict != kFolderReady)
        return verdict;
    if (!CreateSecuredFolder(folder, kInstallFolderSecurity))
        return kFolderUnusable;
    char doc[MAX_PATH + 4];
    size_t length = strlen(folder);
    FormatText(doc, sizeof doc, "%s%sdoc", folder, length && folder[length - 1] == '\\' ? "" : "\\");
    if (strlen(doc) < MAX_PATH)
        CreateDirectoryA(doc, NULL);    // takes the folder's list
    return kFolderReady;
}

// Back to page 0 with the folder text selected, ready to be corrected.
static void ReturnToFolderPage(HWND dialog)
{
    WizardPage = 0;
    ShowWizardPage(dialog, 0);
    HWND edit = GetDlgItem(dialog, IDC_FOLDER_EDIT);
    SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)edit, TRUE);
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

// ---- the speech component ------------------------------------------------

int ComposeSpeechCommand(char *program, char *commandLine, size_t size, const char *systemFolder,
                         const char *package)
{
    int n = JoinPath(program, systemFolder, "msiexec.exe", "")
                ? FormatText(commandLine, size, "\"%s\" /i \"%s\"", program, package)
                : -1;
    return n > 0 && (size_t)n < size;
}

// A folder of its own in the installation folder, made by this run with a
// list that only Administrators and SYSTEM may change: the system's
// installer reads the package with full rights, and a package in the
// user's temporary folder could be swapped by any program of the user's.
static int MakeSpeechFolder(char *folder)
{
    DWORD seed = GetTickCount() ^ GetCurrentProcessId();
    for (int i = 0; i < kSpeechFolderAttempts; i++) {
        char name[20];
        FormatText(name, sizeof name, "LunkoSpeech%lu", (unsigned long)(seed + i) % 100000);
        if (!JoinPath(folder, InstallFolderPath, name, ""))
            return 0;
        if (CreateSecuredFolder(folder, kSpeechFolderSecurity))
            return 1;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
}

// Runs the package through Windows Installer by its own path, never through
// the shell's associations, which any of the user's programs may redirect,
// and waits with the wizard hidden. The package stays open meanwhile, shared
// for reading only: nothing can change or replace it while msiexec reads it.
static void RunSpeechPackage(const char *path)
{
    char system[MAX_PATH], program[MAX_PATH], commandLine[2 * MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    HANDLE package = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (package != INVALID_HANDLE_VALUE && length > 0 && length < MAX_PATH
        && ComposeSpeechCommand(program, commandLine, sizeof commandLine, system, path)) {
        ShowWindow(WizardWindow, SW_HIDE);
        if (CreateProcessA(program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
            // Messages are still taken: a window that answers none would
            // stall a program that sends to every top-level window.
            while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT)
                   == WAIT_OBJECT_0 + 1) {
                MSG message;
                while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
                    DispatchMessageA(&message);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    if (package != INVALID_HANDLE_VALUE)
        CloseHandle(package);
}

static void OfferSpeechComponent(void)
{
    if (BilingualMessageBox(kSpeechChinese, kSpeechEnglish, kBoxOkCancel, WizardWindow) != IDOK)
        return;
    unsigned char *buffer = (unsigned char *)malloc(kSpeechCapacity);
    if (!buffer) {
        BilingualMessageBox(kMemoryNoticeChinese, kMemoryNoticeEnglish, kBoxOk, WizardWindow);
        return;
    }
    char folder[MAX_PATH];
    char path[MAX_PATH] = "";
    if (MakeSpeechFolder(folder)) {
        PayloadEntry entry = { IDR_SPEECH_PACKAGE, kSpeechPackageName, buffer, kSpeechCapacity, 0, 0, path };
        // Run only when this run wrote it whole; removed with its folder.
        if (JoinPath(path, folder, kSpeechPackageName, "") && ExtractPayload(entry) == kPayloadWritten)
            RunSpeechPackage(path);
        DeleteFileA(path);
        RemoveDirectoryA(folder);
    }
    free(buffer);
}

// ---- the outcome ---------------------------------------------------------

// The files the pinyin server updates while it runs are the ones the
// catalogue leaves writable; the server and the editor are named, since the
// user may not know which program holds a file. 0 unknown, 1 the server, 2
// the editor.
static int KnownHolder(const char *fileName)
{
    if (lstrcmpiA(fileName, "LKOEdit.exe") == 0)
        return 2;
    const CatalogueRow *row = CatalogueRowNamed(fileName);
    return lstrcmpiA(fileName, "DoVaz.exe") == 0 || (row && !row->readOnly);
}

static const ReasonText *ReasonFor(const PayloadOutcome &outcome)
{
    int holder = outcome.result == kPayloadInUse ? KnownHolder(outcome.fileName) : 0;
    if (holder)
        return holder == 2 ? &kEditorInUse : &kServerInUse;
    return &kReasons[outcome.result - kPayloadInUse];
}

// head + reason into `text` (shown + 1 bytes), the name cut short with "..."
// where the whole would not show, after a whole character: a folder's name
// may hold double-byte ones; a reason with a second %s takes `holder` there.
static void ComposeNotice(char *text, size_t shown, const char *head, const char *reason,
                          const char *name, const char *holder)
{
    size_t fixed = strlen(head) + strlen(reason) - 2;       // "%s" gives way to the name
    if (*holder)
        fixed += strlen(holder) - 2;
    size_t room = fixed < shown ? shown - fixed : 0;
    size_t kept = strlen(name);
    const char *ellipsis = "";
    if (kept > room) {
        ellipsis = "...";
        size_t limit = room > 3 ? room - 3 : 0;
        for (kept = 0;;) {
            size_t step = IsDBCSLeadByte((BYTE)name[kept]) && name[kept + 1] ? 2 : 1;
            if (kept + step > limit)
                break;
            kept += step;
        }
    }
    char cut[MAX_PATH + 4];
    FormatText(cut, sizeof cut, "%.*s%s", (int)kept, name, ellipsis);
    int n = FormatText(text, shown + 1, "%s", head);
    FormatText(text + n, shown + 1 - n, reason, cut, holder);
}

static int ShowNotice(const ReasonText &texts, const char *name, const char *holderChinese,
                      const char *holderEnglish, int type)
{
    char chinese[kChineseShown + 1], english[kEnglishShown + 1];
    ComposeNotice(chinese, kChineseShown, "", texts.chinese, name, holderChinese);
    ComposeNotice(english, kEnglishShown, "", texts.english, name, holderEnglish);
    return BilingualMessageBox(chinese, english, type, WizardWindow);
}

// Asks the user to quit the program holding a file: IDOK to look again.
static int ShowHeldFileNotice(const InstallResult &result)
{
    const ReasonText &known = kHolders[KnownHolder(result.failure.fileName)];
    const char *chinese = result.holder[0] ? result.holder : known.chinese;
    const char *english = result.holder[0] ? result.holder : known.english;
    return ShowNotice(kHeldNotice, result.failure.fileName, chinese, english, kBoxOkCancel);
}

// The fixed notice when no file is to blame; otherwise its first words and
// the first file that was not written, why, and what to do. After success
// the files are optional ones that were skipped. An old file that a failed
// run could not put back is named with the name its copy sits under.
static void ShowOutcomeNotice(const InstallResult &result)
{
    int succeeded = result.succeeded;
    const PayloadOutcome &outcome = succeeded ? result.skipped : result.failure;
    if (!outcome.fileName) {
        BilingualMessageBox(succeeded ? kSuccessChinese : kFailureChinese,
                            succeeded ? kSuccessEnglish : kFailureEnglish, kBoxOk, WizardWindow);
    } else {
        char headChinese[64], headEnglish[80];
        if (succeeded) {
            FormatText(headChinese, sizeof headChinese, kSkippedHeadChinese, outcome.count);
            FormatText(headEnglish, sizeof headEnglish, kSkippedHeadEnglish, outcome.count,
                       outcome.count == 1 ? "" : "s");
        } else {
            FormatText(headChinese, sizeof headChinese, "%s", kFailedHeadChinese);
            FormatText(headEnglish, sizeof headEnglish, "%s", kFailedHeadEnglish);
        }
        const ReasonText *reason = ReasonFor(outcome);
        char chinese[kChineseShown + 1], english[kEnglishShown + 1];
        ComposeNotice(chinese, kChineseShown, headChinese, reason->chinese, outcome.fileName);
        ComposeNotice(english, kEnglishShown, headEnglish, reason->english, outcome.fileName);
        BilingualMessageBox(chinese, english, kBoxOk, WizardWindow);
    }
    if (result.strandedAs[0])
        ShowNotice(kStrandedNotice, result.strandedAs, "", "", kBoxOk);
}

// ---- the installation ----------------------------------------------------

static void HideButton(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    ShowWindow(control, SW_HIDE);
    UpdateWindow(control);
}

static void KeepPointerOnWizard(void)
{
    RECT r;
    POINT pointer;
    if (GetWindowRect(WizardWindow, &r) && GetCursorPos(&pointer) && !PtInRect(&r, pointer))
        SetCursorPos(r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2);
}

// Cancel on a held file: nothing has changed, and Install may be pressed
// again once the program is quit.
static void ReturnToInstallPage(HWND dialog)
{
    static const int kShown[] = { IDC_NEXT, IDC_BACK, IDCANCEL, IDC_BOTTOM_STRIP };
    for (int id : kShown)
        ShowWindow(GetDlgItem(dialog, id), SW_SHOW);
    WizardPage = 3;
    ShowWizardPage(dialog, 3);
}

void RunInstallation(HWND dialog)
{
    SpaceShortage space = { 0, 0 };
    char culprit[MAX_PATH] = "";
    char text[MAX_PATH + 1];
    // One byte more than a folder may have: a longer text stays too long.
    GetDlgItemTextA(dialog, IDC_FOLDER_EDIT, text, sizeof text);
    int verdict = PrepareInstallFolder(text, &space, culprit);
    if (verdict != kFolderReady) {
        ShowFolderNotice(verdict, space, culprit);
        ReturnToFolderPage(dialog);
        return;
    }
    DesktopIconChoice = IsDlgButtonChecked(dialog, IDC_DESKTOP_ICON) == BST_CHECKED;
    HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_COMBO);
    LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    LRESULT language = selected >= 0 ? SendMessageA(combo, CB_GETITEMDATA, (WPARAM)selected, 0) : 0;
    ChosenLanguage = language >= 0 && language <= 2 ? (UiLanguage)language : 0;

    static const int kHidden[] = { IDC_NEXT, IDC_BACK, IDCANCEL, IDC_BOTTOM_STRIP };
    for (int id : kHidden)
        HideButton(dialog, id);

    // Whole seconds of the calendar: the wait ends 4 to 5 seconds later.
    time_t start = time(NULL);
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    KeepPointerOnWizard();
    KeepOldWordBase = HasOldWordBase()
                      && BilingualMessageBox(kWordBaseQuestionChinese, kWordBaseQuestionEnglish, kBoxYesNo,
                                             WizardWindow) != IDYES;
    InstallResult result;
    while (FindFileInUse(result)) {
        if (ShowHeldFileNotice(result) != IDOK) {
            ReturnToInstallPage(dialog);
            return;
        }
    }
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    result = RunInstallSequence();
    if (result.failure.result == kPayloadNoMemory)
        BilingualMessageBox(kMemoryNoticeChinese, kMemoryNoticeEnglish, kBoxOk, WizardWindow);
    while (time(NULL) < start + kMinimumSeconds)
        Sleep(50);

    ShowOutcomeNotice(result);
    if (result.succeeded)
        OfferSpeechComponent();
    WizardPage = kPageQuit;
}

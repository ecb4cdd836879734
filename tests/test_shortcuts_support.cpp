// Observing notices and link files for the shortcut tests.

#include "tests/test_shortcuts_support.h"

#include <stdio.h>

#include <aclapi.h>
#include <sddl.h>

#include "payload/catalogue.h"
#include "render/render.h"
#include "tests/driver/driver.h"
#include "wizard/wizard.h"

// ---- notices -------------------------------------------------------------

static HANDLE watchThread;
static volatile LONG watchStop;
static int watchAnswer;
static std::vector<SeenNotice> seenNotices;     // written by the watch thread only while it runs
static int screenshotCount;

void PrepareNoticeOwner(void)
{
    if (WizardWindow)
        return;
    ModuleInstance = GetModuleHandleA(NULL);
    std::vector<unsigned char> sheets = ReadWholeFile(PayloadFilePath("ChnBmp.bin"));
    if (sheets.size() == (size_t)kGlyphSheetsBytes)
        LoadGlyphSheets(sheets.data());
    WizardWindow = CreateWindowExA(0, "STATIC", "Wizard stand-in", WS_POPUP, 0, 0, 10, 10,
                                   NULL, NULL, ModuleInstance, NULL);
}

static BOOL CALLBACK FindNoticeBox(HWND window, LPARAM context)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    char caption[64];
    GetWindowTextA(window, caption, sizeof caption);
    if (lstrcmpA(caption, kNoticeCaption) != 0)
        return TRUE;
    *(HWND *)context = window;
    return FALSE;
}

static SeenNotice ReadNoticeBox(HWND box)
{
    SeenNotice notice;
    // The bytes the box draws (its window text is what screen readers read).
    const char *chinese = (const char *)GetWindowLongPtrA(Control(box, 1013), GWLP_USERDATA);
    notice.chinese = chinese ? chinese : "";
    notice.english = ControlText(box, 1028);
    notice.owner = GetWindow(box, GW_OWNER);
    notice.okOnly = IsControlVisible(box, IDOK) && !IsControlVisible(box, IDCANCEL)
                    && !IsControlVisible(box, IDYES) && !IsControlVisible(box, IDNO);
    notice.question = IsControlVisible(box, IDYES) && IsControlVisible(box, IDNO);
    return notice;
}

static DWORD WINAPI WatchNotices(LPVOID)
{
    HWND answered = NULL;
    DWORD answeredAt = 0;
    while (!watchStop) {
        HWND box = NULL;
        EnumWindows(FindNoticeBox, (LPARAM)&box);
        if (box && box != answered) {
            seenNotices.push_back(ReadNoticeBox(box));
            char name[128];
            snprintf(name, sizeof name, "%s_notice_%d", TestSetting("LUNKO_TEST_NAME").c_str(),
                     ++screenshotCount);
            if (screenshotCount <= 4) {
                Sleep(500);             // let the first paint finish
                SaveScreenshot(box, name);
            }
            ClickControl(box, seenNotices.back().question ? watchAnswer : IDOK);
            answered = box;
            answeredAt = GetTickCount();
        } else if (box && GetTickCount() - answeredAt > 3000) {
            // The click got lost: the box still has to go.
            PostMessageA(box, WM_COMMAND, IsControlVisible(box, IDYES) ? watchAnswer : IDOK, 0);
            answeredAt = GetTickCount();
        }
        if (answered && !IsWindow(answered))
            answered = NULL;
        Sleep(50);
    }
    return 0;
}

void StartNoticeWatch(int questionAnswer)
{
    PrepareNoticeOwner();
    seenNotices.clear();
    watchAnswer = questionAnswer;
    watchStop = 0;
    watchThread = CreateThread(NULL, 0, WatchNotices, NULL, 0, NULL);
}

std::vector<SeenNotice> StopNoticeWatch(void)
{
    InterlockedExchange(&watchStop, 1);
    // The watch reads captions of this thread's windows, which this thread
    // must answer while it waits.
    DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &watchThread, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0
           && GetTickCount() - start < 30000) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    CloseHandle(watchThread);
    watchThread = NULL;
    return seenNotices;
}

// ---- the product's shortcut names -----------------------------------------

const ShortcutNames kShortcutNames[3] = {
    { "Lunko Zavav Irazaz", "Lunko Zavav Irazaz UnInstall", "Quillmere" },
    { "Lunko\xD6\xC7\xC4\xDC\xB1\xE0\xBC\xAD\xC6\xF7",
      "Lunko\xD6\xC7\xC4\xDC\xB1\xE0\xBC\xAD\xC6\xF7\xD0\xB6\xD4\xD8",
      "Lunko\xBC\xC7\xCA\xC2\xB1\xBE" },
    { "Lunko\xB4\xBC\xAF\xE0\xBD\x73\xBF\xE8\xBE\xB9",
      "Lunko\xB4\xBC\xAF\xE0\xBD\x73\xBF\xE8\xBE\xB9\xA8\xF8\xB8\xFC",
      "Lunko\xB0\x4F\xA8\xC6\xA5\xBB" },
};

// ---- link files ----------------------------------------------------------

typedef char *(CDECL *UnixFileNameFunction)(LPCWSTR);

// Wine's own mapping of a DOS path to the Unix path of the same file.
static std::string UnixPath(const char *dosPath)
{
    static UnixFileNameFunction toUnix = (UnixFileNameFunction)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    WCHAR wide[MAX_PATH];
    if (!toUnix || !MultiByteToWideChar(CP_ACP, 0, dosPath, -1, wide, MAX_PATH))
        return "";
    char *unixPath = toUnix(wide);
    std::string result = unixPath ? unixPath : "";
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// The value after "Key : " on the first line that names the key.
static std::string ReportField(const std::string &report, const char *key)
{
    size_t at = 0;
    while (at < report.size()) {
        size_t end = report.find('\n', at);
        if (end == std::string::npos)
            end = report.size();
        std::string line = report.substr(at, end - at);
        at = end + 1;
        size_t colon = line.find(": ");
        if (colon == std::string::npos)
            continue;
        size_t first = line.find_first_not_of(" \t");
        size_t last = line.find_last_not_of(" \t", colon - 1);
        if (first == std::string::npos || last == std::string::npos || last < first)
            continue;
        if (line.compare(first, last - first + 1, key) == 0)
            return line.substr(colon + 2);
    }
    return "";
}

LinkFields ReadLink(const std::string &linkPath)
{
    // lnkinfo gets a copy under a plain name, so that the Unix command line
    // needs no quoting of spaces or Chinese. Wine starts Unix programs with
    // its own standard output and no process handle to wait on, so the
    // report goes to a file that appears, renamed, only when it is whole.
    static int serial;
    LinkFields fields;
    char copyPath[64];
    char reportPath[64];
    CreateDirectoryA("C:\\lnkcheck", NULL);
    snprintf(copyPath, sizeof copyPath, "C:\\lnkcheck\\%d.lnk", ++serial);
    snprintf(reportPath, sizeof reportPath, "C:\\lnkcheck\\%d.txt", serial);
    if (!CopyFileA(linkPath.c_str(), copyPath, FALSE))
        return fields;
    std::string unixCopy = UnixPath(copyPath);
    std::string unixReport = UnixPath(reportPath);
    if (unixCopy.empty() || unixReport.empty())
        return fields;

    // The link's local path is stored in the ANSI code page.
    char codePage[32];
    snprintf(codePage, sizeof codePage, "windows-%u", GetACP());
    std::string command = "/bin/sh -c \"/usr/bin/lnkinfo -c " + std::string(codePage) + " '" + unixCopy + "' >'" + unixReport
                        + ".part' 2>&1; mv '" + unixReport + ".part' '" + unixReport + "'\"";
    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return fields;
    if (info.hProcess)
        CloseHandle(info.hProcess);
    if (info.hThread)
        CloseHandle(info.hThread);

    DWORD start = GetTickCount();
    while (!FileExists(reportPath) && GetTickCount() - start < 60000)
        Sleep(50);
    fields.report = ReadFileText(reportPath);
    fields.parsed = fields.report.find("Windows Shortcut information") != std::string::npos;
    fields.localPath = ReportField(fields.report, "Local path");
    fields.description = ReportField(fields.report, "Description");
    fields.workingDirectory = ReportField(fields.report, "Working directory");
    fields.iconLocation = ReportField(fields.report, "Icon location");
    fields.iconIndex = ReportField(fields.report, "Icon index");
    return fields;
}

// ---- files ---------------------------------------------------------------

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolders(const std::string &path)
{
    // A backslash byte inside a Chinese character separates nothing.
    for (size_t at = 3; at < path.size(); ++at) {
        if (IsDBCSLeadByte((BYTE)path[at]))
            ++at;
        else if (path[at] == '\\')
            CreateDirectoryA(path.substr(0, at).c_str(), NULL);
    }
    CreateDirectoryA(path.c_str(), NULL);
}

void WriteDummyFile(const std::string &path)
{
    WriteWholeFile(path, "MZ");
}

std::vector<std::string> LinksIn(const std::string &folder)
{
    return FilesIn(folder, "*.lnk");
}

std::string ListReadBack(const std::string &path)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    char *text = NULL;
    std::string readBack = "(unreadable)";
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, NULL, NULL,
                              &descriptor) == ERROR_SUCCESS
        && ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                DACL_SECURITY_INFORMATION, &text, NULL)) {
        readBack = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return readBack;
}

std::string MakeSymbolicLink(const char *link, const char *target, bool folder)
{
    typedef BOOLEAN(WINAPI * CreateLinkFunction)(LPCSTR, LPCSTR, DWORD);
    CreateLinkFunction createLink = (CreateLinkFunction)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA");
    if (!createLink || !createLink(link, target, folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0))
        return "this Wine makes no symbolic links";
    DWORD attributes = GetFileAttributesA(link);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return "this Wine does not report a link as a reparse point";
    return "";
}

std::vector<std::string> FilesIn(const std::string &folder, const char *pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (lstrcmpA(found.cFileName, ".") != 0 && lstrcmpA(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// ---- the installed files ---------------------------------------------------

const std::vector<unsigned char> &PayloadOfRow(int row)
{
    static std::vector<std::vector<unsigned char>> files(kCatalogueRowCount);
    static std::vector<bool> read(kCatalogueRowCount);
    if (!read[row - 1]) {
        files[row - 1] = ReadWholeFile(PayloadFilePath(PayloadCatalogue[row - 1].fileName));
        read[row - 1] = true;
    }
    return files[row - 1];
}

testing::AssertionResult InstalledAsCatalogueSays(const std::string &folder, int row, bool bytes,
                                                  bool attributes)
{
    const CatalogueRow &entry = PayloadCatalogue[row - 1];
    std::string path = folder + "\\" + entry.fileName;
    if (bytes && ReadWholeFile(path) != PayloadOfRow(row))
        return testing::AssertionFailure() << "row " << row << " " << path << " is not its payload file";
    DWORD wanted = (entry.readOnly ? FILE_ATTRIBUTE_READONLY : 0) | (entry.hidden ? FILE_ATTRIBUTE_HIDDEN : 0);
    DWORD found = GetFileAttributesA(path.c_str());
    if (attributes && (found == INVALID_FILE_ATTRIBUTES
                       || (found & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) != wanted))
        return testing::AssertionFailure() << "row " << row << " " << path << " has attributes "
                                           << std::hex << found << ", not " << wanted;
    return testing::AssertionSuccess();
}

// The built installer as a file: one PE32 GUI program that needs no DLL of
// its own, carrying the dialogs, the icon and every payload resource, and a
// release image Windows trusts: KnownDLL imports of functions its oldest
// stated system has, no debugging sections, a manifest and a version.

#include <stdio.h>
#include <string.h>

#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

#include "resources/ids.h"
#include "tests/driver/driver.h"
#include "tools/payloadlist.h"

static const std::vector<unsigned char> &InstallerBytes()
{
    static std::vector<unsigned char> bytes = ReadWholeFile(InstallerPath());
    return bytes;
}

template <typename T> static const T *At(const std::vector<unsigned char> &bytes, size_t offset)
{
    return offset + sizeof(T) <= bytes.size() ? (const T *)(bytes.data() + offset) : nullptr;
}

// The file offset of a relative virtual address, through the section table.
static size_t FileOffset(const std::vector<unsigned char> &bytes, const IMAGE_NT_HEADERS32 *nt,
                         DWORD rva)
{
    const IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; i++) {
        const IMAGE_SECTION_HEADER &s = sections[i];
        if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize)
            return rva - s.VirtualAddress + s.PointerToRawData;
    }
    (void)bytes;
    return (size_t)-1;
}

static const IMAGE_NT_HEADERS32 *Headers(const std::vector<unsigned char> &bytes)
{
    const IMAGE_DOS_HEADER *dos = At<IMAGE_DOS_HEADER>(bytes, 0);
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const IMAGE_NT_HEADERS32 *nt = At<IMAGE_NT_HEADERS32>(bytes, dos->e_lfanew);
    return nt && nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

static std::string StringAt(const std::vector<unsigned char> &bytes, size_t offset)
{
    if (offset >= bytes.size())
        return "";
    size_t end = offset;
    while (end < bytes.size() && bytes[end])
        end++;
    return std::string((const char *)bytes.data() + offset, end - offset);
}

// The import table as DLL (lower case) -> imported names; a function imported
// by ordinal is recorded as "#<ordinal>".
static std::map<std::string, std::set<std::string>> Imports(const std::vector<unsigned char> &bytes)
{
    std::map<std::string, std::set<std::string>> imports;
    const IMAGE_NT_HEADERS32 *nt = Headers(bytes);
    if (!nt)
        return imports;
    const IMAGE_DATA_DIRECTORY &directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t offset = FileOffset(bytes, nt, directory.VirtualAddress);
    for (const IMAGE_IMPORT_DESCRIPTOR *d; (d = At<IMAGE_IMPORT_DESCRIPTOR>(bytes, offset))
         && d->Name; offset += sizeof *d) {
        std::set<std::string> &names = imports[Lower(StringAt(bytes, FileOffset(bytes, nt, d->Name)))];
        DWORD thunks = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
        for (size_t t = FileOffset(bytes, nt, thunks); const DWORD *thunk = At<DWORD>(bytes, t);
             t += sizeof(DWORD)) {
            if (*thunk == 0)
                break;
            if (*thunk & IMAGE_ORDINAL_FLAG32)
                names.insert("#" + std::to_string(*thunk & 0xFFFF));
            else
                names.insert(StringAt(bytes, FileOffset(bytes, nt, *thunk) + 2));   // after the hint
        }
    }
    return imports;
}

TEST(InstallerFile, IsA32BitGuiProgram)
{
    const std::vector<unsigned char> &bytes = InstallerBytes();
    ASSERT_GT(bytes.size(), 1000000u) << InstallerPath();
    const IMAGE_NT_HEADERS32 *nt = Headers(bytes);
    ASSERT_TRUE(nt);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
}

// DLL planting: a DLL that is not a KnownDLL is searched in the program's
// folder first (a Downloads folder), so the import table may name KnownDLLs
// only; COMCTL32 and anything else is loaded at run time by System32 path.
TEST(InstallerFile, ImportsKnownDllsOnly)
{
    const std::set<std::string> knownDlls = { "kernel32.dll", "user32.dll", "gdi32.dll",
        "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll",
        "msvcrt.dll", "shlwapi.dll", "imm32.dll", "rpcrt4.dll", "psapi.dll" };
    std::map<std::string, std::set<std::string>> imports = Imports(InstallerBytes());
    EXPECT_TRUE(imports.count("kernel32.dll"));
    for (const auto &dll : imports)
        EXPECT_TRUE(knownDlls.count(dll.first)) << "imports " << dll.first
            << ", which Windows searches beside the installer first";
}

// The oldest Windows the installer loads on (see the README): Windows 95 with
// the Visual C++ runtime msvcrt.dll, and Windows NT 4.0. Every function of the
// import table must exist there, or the loader refuses the whole program
// before any of the installer's paths for older systems can run. This lists what
// the installer may import, each function checked against its documented
// minimum (shell 4.0 and common controls 4.70 functions are not here: they
// are looked up at run time). A function missing here either goes on this
// list, after checking that those systems export it, or is looked up at run
// time.
static const std::map<std::string, std::set<std::string>> &AllowedOnTheOldestSystem()
{
    static const std::map<std::string, std::set<std::string>> allowed = {
        { "kernel32.dll", {
            "CloseHandle", "CompareStringA", "CopyFileA", "CreateDirectoryA", "CreateFileA", "CreateMutexA",
            "CreateProcessA",
            "DeleteCriticalSection", "DeleteFileA", "EnterCriticalSection", "ExitProcess",
            "FindClose", "FindFirstFileA", "FindNextFileA", "FindResourceA", "FlushFileBuffers",
            "FormatMessageA", "FreeLibrary", "GetACP", "GetCPInfo", "GetCurrentDirectoryA",
            "GetCurrentProcess", "GetCurrentProcessId", "GetCurrentThreadId",
            "GetDiskFreeSpaceA", "GetDriveTypeA", "GetFileAttributesA", "GetFileSize",
            "GetFullPathNameA", "GetLastError", "GetLocaleInfoA", "GetLogicalDrives",
            "GetModuleFileNameA", "GetModuleHandleA", "GetModuleHandleW", "GetProcAddress",
            "GetProcessHeap", "GetShortPathNameA", "GetStartupInfoA", "GetSystemDefaultLangID",
            "GetSystemDirectoryA", "GetSystemTimeAsFileTime", "GetTempFileNameA", "GetTempPathA",
            "GetTickCount", "GetUserDefaultLangID", "GetVersion", "GetVersionExA",
            "GetVolumeInformationA", "GetWindowsDirectoryA", "GlobalAlloc", "GlobalFree",
            "GlobalLock", "GlobalUnlock", "HeapAlloc", "HeapFree", "InitializeCriticalSection",
            "IsDBCSLeadByte", "IsDBCSLeadByteEx", "IsValidCodePage", "LeaveCriticalSection", "LoadLibraryA",
            "LoadLibraryExA", "LoadResource", "LocalAlloc", "LocalFree", "LockResource",
            "MoveFileA", "MulDiv", "MultiByteToWideChar", "QueryPerformanceCounter",
            "QueryPerformanceFrequency", "ReadFile", "RemoveDirectoryA", "SetCurrentDirectoryA",
            "SetEndOfFile", "SetErrorMode", "SetFileAttributesA", "SetFilePointer",
            "SetLastError", "SetUnhandledExceptionFilter", "SizeofResource", "Sleep",
            "TlsAlloc", "TlsFree", "TlsGetValue", "TlsSetValue", "VirtualAlloc", "VirtualFree",
            "VirtualProtect", "VirtualQuery", "WideCharToMultiByte", "WriteFile",
            "lstrcatA", "lstrcmpA", "lstrcmpiA", "lstrcpyA", "lstrcpynA", "lstrlenA" } },
        { "user32.dll", {
            "BeginPaint", "CallWindowProcA", "CharNextA", "CharPrevA", "CheckDlgButton",
            "CreateDialogParamA", "CreateWindowExA", "DefWindowProcA", "DestroyWindow",
            "DialogBoxParamA", "DispatchMessageA", "DrawFocusRect", "DrawFrameControl",
            "DrawTextA", "EnableWindow", "EndDialog", "EndPaint", "FillRect", "FindWindowA", "FrameRect",
            "GetClassNameA", "GetClientRect", "GetCursorPos", "GetDC", "GetDlgCtrlID", "GetDlgItem",
            "GetDlgItemTextA", "GetFocus", "GetLastActivePopup", "GetMessageA", "GetParent", "GetSysColor",
            "GetSysColorBrush", "GetSystemMetrics", "GetWindowDC", "GetWindowLongA",
            "GetWindowRect", "GetWindowTextA", "GetWindowTextLengthA", "InflateRect",
            "InvalidateRect", "IsDialogMessageA", "IsDlgButtonChecked", "IsWindow",
            "IsWindowEnabled", "IsWindowVisible", "KillTimer", "LoadCursorA", "LoadIconA",
            "MapWindowPoints", "MessageBeep", "MessageBoxA", "MoveWindow", "MsgWaitForMultipleObjects", "PeekMessageA",
            "PostMessageA", "PostQuitMessage", "PtInRect", "RedrawWindow", "ReleaseDC", "ScreenToClient",
            "SendDlgItemMessageA", "SendMessageA", "SetCursor", "SetCursorPos", "SetDlgItemTextA", "SetFocus",
            "SetForegroundWindow", "SetTimer", "SetWindowLongA", "SetWindowPos",
            "SetWindowTextA", "ShowWindow", "TranslateMessage", "UpdateWindow", "wsprintfA" } },
        { "gdi32.dll", {
            "BitBlt", "CreateBitmap", "CreateCompatibleBitmap", "CreateCompatibleDC",
            "CreateFontA", "CreateFontIndirectA", "CreatePen", "CreateSolidBrush", "DeleteDC",
            "DeleteObject", "ExcludeClipRect", "GetBkColor", "GetDeviceCaps", "GetObjectA", "GetStockObject",
            "GetTextColor", "GetTextExtentPointA", "GetTextExtentPoint32A", "GetTextMetricsA", "IntersectClipRect", "LineTo", "MoveToEx", "PatBlt",
            "Rectangle", "RestoreDC", "SaveDC", "SelectObject", "SetBkColor", "SetBkMode",
            "SetTextColor", "StretchBlt", "TextOutA", "TextOutW" } },
        { "advapi32.dll", {
            "GetUserNameA", "RegCloseKey", "RegCreateKeyA", "RegCreateKeyExA", "RegDeleteKeyA",
            "RegDeleteValueA", "RegEnumKeyExA", "RegOpenKeyA", "RegOpenKeyExA", "RegQueryValueA",
            "RegQueryValueExA", "RegSetValueA", "RegSetValueExA" } },
        { "shell32.dll", { "ShellExecuteA" } },
        { "ole32.dll", { "CoCreateInstance", "CoInitialize", "CoTaskMemFree", "CoUninitialize" } },
        { "comdlg32.dll", { "CommDlgExtendedError", "GetOpenFileNameA" } },
        { "msvcrt.dll", {
            "__getmainargs", "__initenv", "__mb_cur_max", "__p__acmdln", "__p__commode",
            "__p__environ", "__p__fmode", "__set_app_type", "__setusermatherr", "_access",
            "_amsg_exit", "_cexit", "_chsize", "_errno", "_exit", "_fileno", "_initterm", "_iob",
            "_lock", "_onexit", "_strnicmp", "_unlock", "_vsnprintf", "abort", "atoi", "calloc", "exit", "fclose", "feof",
            "ferror", "fflush", "fgetc", "fgets", "fopen", "fprintf", "fputc", "fputs", "fread", "free",
            "fseek", "ftell", "fwrite", "getc", "localeconv", "localtime", "malloc", "memcmp", "memcpy",
            "memmove", "memset", "realloc", "remove", "rename", "setlocale", "signal", "sprintf",
            "strcat", "strchr", "strcmp", "strcpy", "strcspn", "strerror", "strlen", "strncmp",
            "strncpy", "strpbrk", "strrchr", "strstr", "strtol", "time", "tolower", "toupper",
            "ungetc", "vfprintf", "wcslen" } },
    };
    return allowed;
}

TEST(InstallerFile, ImportsOnlyFunctionsTheOldestStatedWindowsHas)
{
    std::map<std::string, std::set<std::string>> imports = Imports(InstallerBytes());
    const std::map<std::string, std::set<std::string>> &allowed = AllowedOnTheOldestSystem();
    ASSERT_FALSE(imports.empty());
    for (const auto &dll : imports) {
        auto list = allowed.find(dll.first);
        ASSERT_TRUE(list != allowed.end()) << dll.first << " is not on the list of the oldest system";
        for (const std::string &function : dll.second)
            EXPECT_TRUE(list->second.count(function))
                << dll.first << "!" << function
                << " is not known to exist on Windows 95 / NT 4.0: look it up at run time";
    }
}

// The shipped file carries no debugging sections (the tests keep theirs).
TEST(InstallerFile, HasNoDebuggingSections)
{
    const std::vector<unsigned char> &bytes = InstallerBytes();
    const IMAGE_NT_HEADERS32 *nt = Headers(bytes);
    ASSERT_TRUE(nt);
    const IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; i++) {
        std::string name((const char *)sections[i].Name, strnlen((const char *)sections[i].Name, 8));
        EXPECT_NE(0, name.compare(0, 1, "/")) << "a long section name (debugging info): " << name;
        EXPECT_NE(0, name.compare(0, 6, ".debug")) << name;
        EXPECT_NE(0u, sections[i].Characteristics & IMAGE_SCN_MEM_READ) << name;
    }
    EXPECT_EQ(0u, nt->FileHeader.PointerToSymbolTable) << "a COFF symbol table";
    EXPECT_EQ(0u, nt->FileHeader.NumberOfSymbols);
    EXPECT_EQ(0u, nt->FileHeader.TimeDateStamp) << "a link time stamp makes builds differ";
}

// Subsystem 4.0: loads on Windows 95 and NT 4.0, and current Windows gives it
// the three-dimensional dialog look of a 4.0 program. Sections are aligned to
// whole pages in the file, so that Wine maps the image rather than reading it.
TEST(InstallerFile, HasSubsystemVersionFourAndPageAlignedSections)
{
    const IMAGE_NT_HEADERS32 *nt = Headers(InstallerBytes());
    ASSERT_TRUE(nt);
    EXPECT_EQ(4, nt->OptionalHeader.MajorSubsystemVersion);
    EXPECT_EQ(0, nt->OptionalHeader.MinorSubsystemVersion);
    EXPECT_EQ(4096u, nt->OptionalHeader.FileAlignment);
}

static std::string ResourceText(HMODULE module, LPCSTR name, LPCSTR type)
{
    HRSRC found = FindResourceA(module, name, type);
    if (!found)
        return "";
    const char *data = (const char *)LockResource(LoadResource(module, found));
    return data ? std::string(data, SizeofResource(module, found)) : "";
}

TEST(InstallerFile, CarriesTheApplicationManifest)
{
    HMODULE module = LoadLibraryExA(InstallerPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    std::string manifest = ResourceText(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    FreeLibrary(module);
    ASSERT_FALSE(manifest.empty()) << "no RT_MANIFEST resource 1";
    // The class root and the root of the Windows drive need an administrator.
    EXPECT_NE(std::string::npos,
              manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"));
    // Windows Vista, 7, 8, 8.1 and 10/11: without the last ones Windows 8.1
    // and later report 6.2 and keep old compatibility behaviours.
    for (const char *os : { "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" })
        EXPECT_NE(std::string::npos, manifest.find(std::string("<supportedOS Id=\"") + os + "\"/>")) << os;
    // System DPI-aware, declared where Windows XP accepts it (an <application>
    // of another namespace stops it starting); the installer scales itself ...
    size_t settings = manifest.find("<application xmlns=\"urn:schemas-microsoft-com:asm.v3\">");
    size_t aware = manifest.find(">true</dpiAware>");
    EXPECT_NE(std::string::npos, aware);
    EXPECT_TRUE(settings < aware && aware < manifest.find("</application>", settings));
    EXPECT_EQ(std::string::npos, manifest.find("PerMonitor"));
    // ... and the controls keep the classic look: no Common Controls 6.
    EXPECT_EQ(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos,
              manifest.find("version=\"" + TestSetting("LUNKO_VERSION") + ".0\""));
}

static std::string VersionString(const std::string &block, const char *key)
{
    // Keys and values of the version resource are UTF-16; ASCII only here.
    std::string wide;
    for (const char *c = key; *c; c++)
        wide += std::string(1, *c) + '\0';
    size_t at = block.find(wide + std::string(2, '\0'));
    if (at == std::string::npos)
        return "";
    at += wide.size() + 2;
    at = (at + 3) & ~(size_t)3;                  // values start on a 32-bit boundary
    std::string value;
    for (; at + 1 < block.size() && (block[at] || block[at + 1]); at += 2)
        value += block[at];
    return value;
}

TEST(InstallerFile, CarriesTheVersionResourceOfTheProjectVersion)
{
    HMODULE module = LoadLibraryExA(InstallerPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    std::string block = ResourceText(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
    FreeLibrary(module);
    ASSERT_FALSE(block.empty()) << "no RT_VERSION resource 1";
    const std::string version = TestSetting("LUNKO_VERSION");
    ASSERT_FALSE(version.empty());

    const DWORD signature = 0xFEEF04BD;
    size_t at = block.find(std::string((const char *)&signature, 4));
    ASSERT_NE(std::string::npos, at);
    const VS_FIXEDFILEINFO *fixed = (const VS_FIXEDFILEINFO *)(block.data() + at);
    int major = 0, minor = 0, patch = 0;
    ASSERT_EQ(3, sscanf(version.c_str(), "%d.%d.%d", &major, &minor, &patch));
    EXPECT_EQ((DWORD)MAKELONG(minor, major), fixed->dwFileVersionMS);
    EXPECT_EQ((DWORD)MAKELONG(0, patch), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);

    EXPECT_EQ("Lunkovan Zavav Irazaz", VersionString(block, "ProductName"));
    EXPECT_EQ("Lunkovan Zavav Irazaz Installer", VersionString(block, "FileDescription"));
    EXPECT_EQ(version, VersionString(block, "ProductVersion"));
    EXPECT_EQ(version, VersionString(block, "FileVersion"));
    EXPECT_EQ("LunkoSetup.exe", VersionString(block, "OriginalFilename"));
    EXPECT_EQ("", VersionString(block, "CompanyName")) << "the product text is company-neutral";
}


static BOOL CALLBACK CollectId(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids)
{
    if (IS_INTRESOURCE(name))
        ((std::set<int> *)ids)->insert((int)(UINT_PTR)name);
    return TRUE;
}

TEST(InstallerFile, CarriesEveryPayloadFileAsOneZlibStreamOfTypeText)
{
    std::vector<PayloadListEntry> list;
    std::string error;
    std::string path = DosPath(TestSetting("LUNKO_SOURCE_DIR") + "/resources/payload.list");
    ASSERT_TRUE(ReadPayloadList(path, list, error)) << error;
    ASSERT_EQ(118u, list.size());
    HMODULE module = LoadLibraryExA(InstallerPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);

    std::set<int> ids;
    EnumResourceNamesA(module, "TEXT", CollectId, (LONG_PTR)&ids);
    EXPECT_EQ(118u, ids.size());

    std::vector<unsigned char> inflated(16777216);
    for (const auto &entry : list) {
        EXPECT_TRUE(ids.count(entry.id)) << entry.id;
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(entry.id), "TEXT");
        ASSERT_TRUE(found != NULL) << entry.fileName;
        const Bytef *data = (const Bytef *)LockResource(LoadResource(module, found));
        uLongf length = (uLongf)inflated.size();
        ASSERT_EQ(Z_OK, uncompress(inflated.data(), &length, data, SizeofResource(module, found)))
            << entry.fileName;
        std::vector<unsigned char> original = ReadWholeFile(PayloadFilePath(entry.fileName.c_str()));
        ASSERT_EQ(original.size(), (size_t)length) << entry.fileName;
        EXPECT_EQ(0, memcmp(original.data(), inflated.data(), length)) << entry.fileName;
    }

    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDD_WIZARD), (LPCSTR)RT_DIALOG));
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDD_MESSAGE_BOX), (LPCSTR)RT_DIALOG));
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDD_FOLDER_CHOOSER), (LPCSTR)RT_DIALOG));
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDI_WIZARD), (LPCSTR)RT_GROUP_ICON));
    FreeLibrary(module);
}

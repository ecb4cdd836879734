// Run-time loading of system libraries by their System32 path, and the DLL
// search restriction made at entry. See system_libraries.h.

#include "shell/system_libraries.h"

#include <string.h>

// LOAD_LIBRARY_SEARCH_SYSTEM32, for headers of systems without it.
static const DWORD kSearchSystem32 = 0x00000800;

// 1 once SetDefaultDllDirectories limits every search to System32.
static int searchRestricted;

// DLLs that the windowing, common-control and shell-link code loads by name
// on some Windows version and that are not KnownDLLs. Loaded by full path up
// front where SetDefaultDllDirectories cannot be used, so that a search by
// name finds the module already loaded instead of looking beside the program.
static const char *const kPreloaded[] = {
    "uxtheme.dll", "comctl32.dll", "userenv.dll", "setupapi.dll", "apphelp.dll",
    "propsys.dll", "dwmapi.dll", "cryptbase.dll", "oleacc.dll", "clbcatq.dll",
    "version.dll", "ntmarta.dll", "profapi.dll", "msimg32.dll", NULL
};

// Loaded by the common controls through a delay-load import, which Wine
// resolves with the program's folder first even after
// SetDefaultDllDirectories: loaded up front in every case.
static const char *const kDelayLoaded[] = { "msimg32.dll", NULL };

static void Preload(const char *const *names)
{
    // A library missing on this system is skipped without the system's
    // error box.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (int i = 0; names[i]; i++)
        if (!GetModuleHandleA(names[i]))
            LoadSystemLibrary(names[i]);
    SetErrorMode(previousMode);
}

HMODULE LoadSystemLibrary(const char *name)
{
    char path[MAX_PATH];
    size_t nameLength = strlen(name);
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return NULL;
    if (path[length - 1] != '\\')
        path[length++] = '\\';
    if (length + nameLength >= MAX_PATH)
        return NULL;
    memcpy(path + length, name, nameLength + 1);
    // The library's own dependencies are searched too: with the search
    // restricted, in System32 only; otherwise LOAD_WITH_ALTERED_SEARCH_PATH
    // (every Win32 system has it) puts the library's folder, System32, in
    // the place of the program's folder. Combined with the restriction it
    // would bring the program's folder back (so it does under Wine).
    return LoadLibraryExA(path, NULL, searchRestricted ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC SystemFunction(const char *library, const char *function)
{
    HMODULE module = GetModuleHandleA(library);
    if (!module)
        module = LoadSystemLibrary(library);    // kept loaded for the process's life
    return module ? GetProcAddress(module, function) : NULL;
}

void RestrictDllSearchToSystem(void)
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;

    // Vista (NT 6.0) with KB2533623 has SetDefaultDllDirectories, but its
    // shell-link object then fails to create (the shell's COM servers load
    // helpers by name from outside System32); there, and on systems without
    // the function, the preloading below stands in.
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    int vista = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT
                && version.dwMajorVersion == 6 && version.dwMinorVersion == 0;

    SetDllDirectoryFunction setDllDirectory =
        (SetDllDirectoryFunction)(void *)GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDllDirectory)
        setDllDirectory("");                    // the current folder leaves the search

    SetDefaultDllDirectoriesFunction setDefault =
        (SetDefaultDllDirectoriesFunction)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault && !vista && setDefault(kSearchSystem32)) {
        searchRestricted = 1;
        Preload(kDelayLoaded);
        return;
    }
    Preload(kPreloaded);
}

int RegisterCommonControls(void)
{
    typedef void(WINAPI * InitCommonControlsFunction)(void);
    InitCommonControlsFunction init =
        (InitCommonControlsFunction)(void *)SystemFunction("comctl32.dll", "InitCommonControls");
    if (!init)
        return 0;
    init();
    return 1;
}

BOOL SystemGetOpenFileName(OPENFILENAMEA *request)
{
    typedef BOOL(WINAPI * GetOpenFileNameFunction)(OPENFILENAMEA *);
    GetOpenFileNameFunction open =
        (GetOpenFileNameFunction)(void *)SystemFunction("comdlg32.dll", "GetOpenFileNameA");
    return open ? open(request) : FALSE;
}

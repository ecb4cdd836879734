// The shipped installer's entry point, in place of the C runtime's start-up
// code. That code (argument globbing, thread-local support, pseudo-
// relocations, constructor tables, the section walker behind them) took about
// 8 KB of a program that has no constructors, no thread-local data and no
// imported data, and with page-aligned sections every part of it counts.
// msvcrt.dll sets itself up when it loads; what is left is done here. The
// link (cmake/release.cmake) turns off automatic data imports, so a use of
// DLL data that would have needed the runtime's relocator fails to link
// instead of failing at run time. The test programs keep the runtime's own
// start-up.

#include <windows.h>

extern "C" {
// msvcrt's own, as the runtime's start-up calls them (the command line too,
// msvcrt's copy of it): __argc, __argv and
// _environ are filled here on Windows (Wine fills them when msvcrt loads),
// and run-time errors are reported in a message box, as for any GUI program.
typedef struct {
    int newmode;
} StartInfo;
__declspec(dllimport) int __cdecl __getmainargs(int *, char ***, char ***, int, StartInfo *);
__declspec(dllimport) void __cdecl __set_app_type(int);
__declspec(dllimport) void __cdecl exit(int);
__declspec(dllimport) char **__cdecl __p__acmdln(void);
}

// The command line after the program's name, as WinMain receives it from the
// runtime: a quoted name may hold blanks; bytes of 0x80 and more (a GBK
// folder name) belong to the name.
static LPSTR CommandTail(LPSTR line)
{
    const unsigned char *c = (const unsigned char *)line;
    int quoted = 0;
    for (; *c > ' ' || (*c && quoted); c++)
        if (*c == '"')
            quoted = !quoted;
    while (*c && *c <= ' ')
        c++;
    return (LPSTR)c;
}

// Entered with whatever stack alignment the loader gives; the code behind it
// assumes the compiler's.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup(void)
{
    // The x87 unit at full precision, as the runtime's start-up left it.
    __asm__ __volatile__("fninit");
    __set_app_type(2);    // _GUI_APP
    int argc;
    char **argv, **environment;
    StartInfo start = { 0 };
    __getmainargs(&argc, &argv, &environment, 0, &start);

    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    // exit, not ExitProcess: msvcrt's exit handlers flush and close streams.
    exit(WinMain(GetModuleHandleA(NULL), NULL, CommandTail(*__p__acmdln()), show));
}

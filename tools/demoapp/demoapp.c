/*
 * The stand-in for every program of a demo payload: it tells which program
 * the user started, so that shortcuts and document registrations made by
 * the installer can be checked by starting them. One executable serves all
 * program rows; it takes its name from its own file.
 */
#include <windows.h>

static const char *BaseName(const char *path)
{
    const char *name = path;
    const char *p;
    for (p = path; *p != '\0'; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    return name;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char path[MAX_PATH];
    char text[MAX_PATH + 64];
    const char *name = "this program";
    DWORD length;

    (void)instance, (void)previous, (void)commandLine, (void)show;
    /* A path that fills the buffer may have been cut and lack its NUL. */
    length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length > 0 && length < sizeof path)
        name = BaseName(path);
    lstrcpyA(text, "This is a demo build of ");
    lstrcatA(text, name);
    lstrcatA(text, ".");
    MessageBoxA(NULL, text, name, MB_OK | MB_ICONINFORMATION);
    return 0;
}

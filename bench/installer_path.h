// The installer a benchmark measures: the one named on its command line, or
// LunkoSetup.exe in the build folder above the benchmark's own folder.
#pragma once

#include <string.h>

#include <windows.h>

static inline void FindInstaller(int argc, char **argv, char *installer, int size)
{
    if (argc > 1) {
        lstrcpynA(installer, argv[1], size);
        return;
    }
    DWORD length = GetModuleFileNameA(NULL, installer, (DWORD)size);
    if (length == 0 || length >= (DWORD)size)
        installer[0] = 0;
    char *slash = strrchr(installer, '\\');
    if (slash)
        *slash = 0;
    slash = strrchr(installer, '\\');
    lstrcpynA(slash ? slash + 1 : installer, "LunkoSetup.exe",
              size - (int)((slash ? slash + 1 : installer) - installer));
}

/* A DLL planted beside the installer, as a hostile page might save it into
 * a Downloads folder. Copied under the names of system DLLs; when loaded it
 * leaves a marker file "<its own path>.loaded" naming the program that
 * loaded it, and otherwise does nothing.
 * It exports the common-controls entry points so that a program importing
 * them statically would load it too. */
#include <windows.h>
#include <string.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 16];
        DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            strcpy(path + length, ".loaded");
            HANDLE marker = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
            if (marker != INVALID_HANDLE_VALUE) {
                /* Which program loaded it, one line per load. */
                char program[MAX_PATH + 2];
                DWORD written, n = GetModuleFileNameA(NULL, program, MAX_PATH);
                program[n++] = '\r';
                program[n++] = '\n';
                SetFilePointer(marker, 0, NULL, FILE_END);
                WriteFile(marker, program, n, &written, NULL);
                CloseHandle(marker);
            }
        }
    }
    return TRUE;
}

__declspec(dllexport) void WINAPI InitCommonControls(void)
{
}

__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void *classes)
{
    (void)classes;
    return TRUE;
}

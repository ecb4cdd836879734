// Benchmark: the install sequence over the whole catalogue of an installer,
// as the wizard runs it, in a process of its own so that the peak memory is
// the sequence's alone. Run it under Wine:
//   tests/harness/wine-run.sh build/bench/bench_sequence.exe [installer.exe]
// (by default the installer built beside it). It installs into a folder of
// the temporary folder, without desktop icons and class registration.

#include <stdio.h>
#include <string.h>

#include <windows.h>
#include <psapi.h>

#include "payload/catalogue.h"
#include "bench/installer_path.h"
#include "payload/payload.h"
#include "wizard/wizard.h"

int main(int argc, char **argv)
{
    char installer[MAX_PATH];
    FindInstaller(argc, argv, installer, sizeof installer);
    // Mapped as an image of data: its resources are what the sequence reads.
    ModuleInstance = LoadLibraryExA(installer, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!ModuleInstance) {
        printf("cannot open %s\n", installer);
        return 1;
    }
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp
        || snprintf(InstallFolderPath, sizeof InstallFolderPath, "%slunko-bench-sequence", temp)
               >= (int)sizeof InstallFolderPath)
        return 1;
    CreateDirectoryA(InstallFolderPath, NULL);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int result = RunInstallSequence();
    QueryPerformanceCounter(&end);
    double seconds = (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;

    unsigned long long written = 0;
    for (const CatalogueRow &row : PayloadCatalogue) {
        char path[MAX_PATH];
        WIN32_FILE_ATTRIBUTE_DATA data;
        snprintf(path, sizeof path, "%s\\%s", InstallFolderPath, row.fileName);
        if (GetFileAttributesExA(path, GetFileExInfoStandard, &data))
            written += data.nFileSizeLow;
    }
    PROCESS_MEMORY_COUNTERS memory;
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("install sequence: result %d, %.2f s wall\n", result, seconds);
    printf("install sequence: %.1f MB inflated and written, %.1f MB/s\n", written / 1e6,
           written / 1e6 / seconds);
    printf("install sequence: peak working set %.1f MiB\n", memory.PeakWorkingSetSize / 1048576.0);
    printf("install sequence: peak private bytes %.1f MiB\n", memory.PeakPagefileUsage / 1048576.0);
    return result ? 0 : 1;
}

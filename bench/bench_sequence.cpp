// Benchmark: the install sequence over the whole catalogue of an installer,
// as the wizard runs it, into an empty folder and again over the
// installation it made, each beside the floor: every row inflated and
// written with one WriteFile, nothing else. Run it under Wine:
//   tests/harness/wine-run.sh build/bench/bench_sequence.exe [installer.exe] [rounds]
// (by default the installer built beside it, 5 rounds). It installs into
// folders of the temporary folder, without desktop icons and class
// registration; the peak memory is that of the whole process.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <vector>

#include "payload/catalogue.h"
#include "bench/installer_path.h"
#include "payload/payload.h"
#include "wizard/wizard.h"

static double Now(void)
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

// What the platform cannot go below: each row inflated into one buffer and
// written over whatever stands at its name.
static int Floor(const char *folder, unsigned char *buffer)
{
    for (const CatalogueRow &row : PayloadCatalogue) {
        unsigned long length = 0;
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s\\%s", folder, row.fileName);
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written = 0;
        int ok = InflatePayloadResource(row.resourceId, buffer, kCatalogueCapacity, &length)
                 && file != INVALID_HANDLE_VALUE && WriteFile(file, buffer, length, &written, NULL)
                 && written == length;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!ok)
            return 0;
    }
    return 1;
}

static int Sequence(const char *folder)
{
    lstrcpynA(InstallFolderPath, folder, MAX_PATH);
    // Over an earlier installation the word base is replaced, as after Yes;
    // the question itself is the wizard's.
    KeepOldWordBase = 0;
    char flat[MAX_PATH];
    snprintf(flat, sizeof flat, "%s\\CiZuFlat.igb", folder);
    SetFileAttributesA(flat, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(flat);
    return RunInstallSequence().succeeded;
}

struct Series {
    std::vector<double> values;
    double Median()
    {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }
};

int main(int argc, char **argv)
{
    char installer[MAX_PATH];
    FindInstaller(argc, argv, installer, sizeof installer);
    int rounds = argc > 2 ? atoi(argv[2]) : 5;
    // Mapped as an image of data: its resources are what the sequence reads.
    ModuleInstance = LoadLibraryExA(installer, NULL, LOAD_LIBRARY_AS_DATAFILE);
    unsigned char *buffer = (unsigned char *)malloc(kCatalogueCapacity);
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (!ModuleInstance || !buffer || length == 0 || length >= sizeof temp - 40) {
        printf("cannot open %s\n", installer);
        return 1;
    }
    Series floorEmpty, floorOver, sequenceEmpty, sequenceOver;
    int failures = 0;
    // One uncounted warm-up round: the file cache is warm for every counted one.
    for (int round = -1; round < rounds; round++) {
        char folder[MAX_PATH];
        snprintf(folder, sizeof folder, "%slunko-bench-floor-%d", temp, round + 1);
        CreateDirectoryA(folder, NULL);
        double t0 = Now();
        failures += !Floor(folder, buffer);
        double t1 = Now();
        failures += !Floor(folder, buffer);
        double t2 = Now();
        snprintf(folder, sizeof folder, "%slunko-bench-sequence-%d", temp, round + 1);
        CreateDirectoryA(folder, NULL);
        failures += !Sequence(folder);
        double t3 = Now();
        failures += !Sequence(folder);
        double t4 = Now();
        if (round < 0)
            continue;
        floorEmpty.values.push_back(t1 - t0);
        floorOver.values.push_back(t2 - t1);
        sequenceEmpty.values.push_back(t3 - t2);
        sequenceOver.values.push_back(t4 - t3);
    }
    free(buffer);

    PROCESS_MEMORY_COUNTERS memory;
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("medians of %d rounds after one warm-up          s  x floor\n", rounds);
    double floor = floorEmpty.Median(), sequence = sequenceEmpty.Median();
    printf("floor, into an empty folder             %8.3f\n", floor);
    printf("install sequence, into an empty folder  %8.3f  %6.3f\n", sequence, sequence / floor);
    floor = floorOver.Median(), sequence = sequenceOver.Median();
    printf("floor, over the files it wrote          %8.3f\n", floor);
    printf("install sequence, over an installation  %8.3f  %6.3f\n", sequence, sequence / floor);
    printf("peak working set %.1f MiB, peak private bytes %.1f MiB\n", memory.PeakWorkingSetSize / 1048576.0,
           memory.PeakPagefileUsage / 1048576.0);
    if (failures)
        printf("%d step(s) failed\n", failures);
    return failures ? 1 : 0;
}

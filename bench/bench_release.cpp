// The installer against NSIS, in one Wine prefix, in one run (issue 9). Run
// by bench/run-bench.sh, which builds the two NSIS installers first; prints
// min / median / max of every figure and the ratios ours / NSIS.
//
//   bench_release compare RUNS OURS NSIS_ZLIB NSIS_LZMA TRIVIAL LIST WORKDIR
//       the whole comparison (the other modes are its child processes)
//   bench_release extract OURS FOLDER RESULT
//       our install sequence (RunInstallSequence, every catalogue row) into
//       FOLDER, timed in process (no five-second minimum, no desktop icons,
//       no class registration); writes the seconds to RESULT
//   bench_release rows OURS LIST FOLDER RESULT
//       ExtractPayload alone for every catalogue row of LIST (what NSIS's
//       silent install does: no deletions, configuration, shortcuts)
//   bench_release floor OURS LIST FOLDER RESULT
//       the platform's floor: the same resources inflated with one
//       uncompress each and written with one WriteFile, nothing else
//
// Timing belongs here, never in the tests.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>
#include <psapi.h>

#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "payload/payload.h"
#include "resources/ids.h"
#include "tests/driver/driver.h"
#include "wizard/wizard.h"

static double Now(void)
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

struct Row {
    int id;
    std::string name;
};

// The catalogue rows of the payload list: the 115 files an installation
// writes (classes "catalogue" and "sheets").
static std::vector<Row> CatalogueRows(const char *list)
{
    std::vector<Row> rows;
    FILE *file = fopen(list, "r");
    if (!file)
        return rows;
    char line[512];
    while (fgets(line, sizeof line, file)) {
        int id;
        char kind[32], name[256];
        if (line[0] != '#' && sscanf(line, "%d %31s %255s", &id, kind, name) == 3
            && (!strcmp(kind, "catalogue") || !strcmp(kind, "sheets")))
            rows.push_back({ id, name });
    }
    fclose(file);
    return rows;
}

static void WriteResult(const char *path, double seconds)
{
    FILE *file = fopen(path, "w");
    if (file) {
        fprintf(file, "%.6f\n", seconds);
        fclose(file);
    }
}

static int Extract(const char *installer, const char *folder, const char *result)
{
    // Mapped as an image of data, as bench_sequence does: its resources are
    // what the sequence reads. No desktop icons, no class registration.
    ModuleInstance = LoadLibraryExA(installer, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!ModuleInstance)
        return 2;
    CreateDirectoryA(folder, NULL);
    lstrcpynA(InstallFolderPath, folder, MAX_PATH);
    DesktopIconChoice = 0;
    DocumentRegistration = 0;
    double start = Now();
    int installed = RunInstallSequence().succeeded;   // its own 16 MiB buffer, every catalogue row
    WriteResult(result, Now() - start);
    return installed ? 0 : 4;
}

// The extraction alone, as NSIS's silent install does it: ExtractPayload for
// every catalogue row of LIST, one 16 MiB buffer, no deletions, no
// configuration update, no shortcuts.
static int ExtractRows(const char *installer, const char *list, const char *folder, const char *result)
{
    std::vector<Row> rows = CatalogueRows(list);
    ModuleInstance = LoadLibraryExA(installer, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!ModuleInstance || rows.empty())
        return 2;
    CreateDirectoryA(folder, NULL);
    lstrcpynA(InstallFolderPath, folder, MAX_PATH);
    double start = Now();
    unsigned char *buffer = (unsigned char *)malloc(kCatalogueCapacity);
    if (!buffer)
        return 3;
    int failures = 0;
    for (const Row &row : rows) {
        PayloadEntry entry = { row.id, row.name.c_str(), buffer, kCatalogueCapacity, 0, 0, NULL };
        failures += ExtractPayload(entry) == kPayloadWritten ? 0 : 1;
    }
    free(buffer);
    WriteResult(result, Now() - start);
    return failures ? 4 : 0;
}

static int Floor(const char *installer, const char *list, const char *folder, const char *result)
{
    std::vector<Row> rows = CatalogueRows(list);
    HMODULE module = LoadLibraryExA(installer, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module || rows.empty())
        return 2;
    CreateDirectoryA(folder, NULL);
    double start = Now();
    unsigned char *buffer = (unsigned char *)malloc(kCatalogueCapacity);
    if (!buffer)
        return 3;
    for (const Row &row : rows) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(row.id), "TEXT");
        const Bytef *data = (const Bytef *)LockResource(LoadResource(module, found));
        uLongf length = kCatalogueCapacity;
        if (!data || uncompress(buffer, &length, data, SizeofResource(module, found)) != Z_OK)
            return 4;
        std::string path = std::string(folder) + "\\" + row.name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, buffer, length, &written, NULL))
            return 5;
        CloseHandle(file);
    }
    free(buffer);
    WriteResult(result, Now() - start);
    return 0;
}

// ---- the comparison ------------------------------------------------------

struct Measured {
    double seconds = -1;
    double peakWorkingSet = 0;          // bytes
    double peakPrivate = 0;
    int exitCode = -1;
};

static bool Start(const std::string &commandLine, PROCESS_INFORMATION *info)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    std::string line = commandLine;
    return CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, info) != FALSE;
}

static void ReadMemory(HANDLE process, Measured *m)
{
    PROCESS_MEMORY_COUNTERS counters;
    ZeroMemory(&counters, sizeof counters);
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        m->peakWorkingSet = (double)counters.PeakWorkingSetSize;
        m->peakPrivate = (double)counters.PeakPagefileUsage;
    }
}

// Starts a program and waits for it; wall time from just before
// CreateProcess to the end, and its peak memory, read while the process
// object is still open.
static Measured RunToEnd(const std::string &commandLine)
{
    Measured m;
    PROCESS_INFORMATION info;
    double start = Now();
    if (!Start(commandLine, &info))
        return m;
    HANDLE process = info.hProcess;
    // Peaks are sampled until the end as well: some systems zero a finished
    // process's counters.
    Measured sampled;
    while (WaitForSingleObject(process, 5) == WAIT_TIMEOUT) {
        Measured now;
        ReadMemory(process, &now);
        sampled.peakWorkingSet = std::max(sampled.peakWorkingSet, now.peakWorkingSet);
        sampled.peakPrivate = std::max(sampled.peakPrivate, now.peakPrivate);
    }
    m.seconds = Now() - start;
    ReadMemory(process, &m);
    m.peakWorkingSet = std::max(m.peakWorkingSet, sampled.peakWorkingSet);
    m.peakPrivate = std::max(m.peakPrivate, sampled.peakPrivate);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    m.exitCode = (int)code;
    CloseHandle(info.hThread);
    CloseHandle(process);
    return m;
}

static double ReadResult(const std::string &path)
{
    double seconds = -1;
    FILE *file = fopen(path.c_str(), "r");
    if (file) {
        if (fscanf(file, "%lf", &seconds) != 1)
            seconds = -1;
        fclose(file);
    }
    return seconds;
}

struct WindowSearch {
    DWORD processId;
    HWND found;
};

static BOOL CALLBACK FindTopWindow(HWND window, LPARAM context)
{
    WindowSearch *search = (WindowSearch *)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) && GetWindow(window, GW_CHILD)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Dark pixels (text) in a screen rectangle.
static int InkIn(const RECT &rect)
{
    Image image;
    if (!CaptureScreen(rect, &image))
        return 0;
    int ink = 0;
    for (uint32_t p : image.pixels)
        if (((p >> 16) & 0xFF) < 0x50 && ((p >> 8) & 0xFF) < 0x50 && (p & 0xFF) < 0x50)
            ink++;
    return ink;
}

// From just before CreateProcess until a visible window of the process shows
// its labels: for ours the folder label (drawn from the glyph sheets), for
// NSIS any text in its client area. The process is then ended.
static Measured TimeToFirstWindow(const std::string &commandLine, int labelId)
{
    Measured m;
    PROCESS_INFORMATION info;
    double start = Now();
    if (!Start(commandLine, &info))
        return m;
    double limit = start + 120;
    while (Now() < limit) {
        WindowSearch search = { info.dwProcessId, NULL };
        EnumWindows(FindTopWindow, (LPARAM)&search);
        if (search.found) {
            RECT rect;
            if (labelId) {
                HWND label = GetDlgItem(search.found, labelId);
                if (label)
                    GetWindowRect(label, &rect);
                else
                    SetRectEmpty(&rect);
            } else {
                rect = ClientScreenRect(search.found);
            }
            if (!IsRectEmpty(&rect) && InkIn(rect) > 20) {
                m.seconds = Now() - start;
                ReadMemory(info.hProcess, &m);  // what the process holds at its first window
                break;
            }
        }
        Sleep(1);
    }
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 30000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return m;
}

struct Series {
    std::vector<double> values;
    void Add(double v)
    {
        if (v >= 0)
            values.push_back(v);
    }
    double Min() const { return values.empty() ? -1 : *std::min_element(values.begin(), values.end()); }
    double Max() const { return values.empty() ? -1 : *std::max_element(values.begin(), values.end()); }
    double Median() const
    {
        if (values.empty())
            return -1;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
};

static void PrintRow(const char *name, const Series &s, double scale, const char *unit)
{
    printf("  %-38s %10.3f %10.3f %10.3f %s  (n=%d)\n", name, s.Min() / scale, s.Median() / scale,
           s.Max() / scale, unit, (int)s.values.size());
}

static void PrintRatio(const char *name, double ours, double theirs)
{
    if (ours > 0 && theirs > 0)
        printf("  %-38s %10.3f\n", name, ours / theirs);
    else
        printf("  %-38s        n/a\n", name);
}

static double FileSize(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return (double)data.nFileSizeLow + 4294967296.0 * data.nFileSizeHigh;
}

// The program part: the file less its payload. Ours carries the payload as
// the resources of type "TEXT".
static BOOL CALLBACK AddResourceSize(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR total)
{
    *(double *)total += SizeofResource(module, FindResourceA(module, name, type));
    return TRUE;
}

static double OurProgramPart(const char *path)
{
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return -1;
    double payload = 0;
    EnumResourceNamesA(module, "TEXT", AddResourceSize, (LONG_PTR)&payload);
    FreeLibrary(module);
    return FileSize(path) - payload;
}

// A non-solid NSIS installer: its stub, then at a 512-byte boundary the
// first header (flags, 0xDEADBEEF, "NullsoftInst", the header's length and
// the length of everything from the first header on), then a chain of
// blocks, each a 4-byte length (top bit: compressed) and its data: the
// compressed script header first, then the files. A CRC-32 ends the file.
// The program part is the file less the files' blocks.
static double NsisProgramPart(const char *path)
{
    std::vector<unsigned char> file = ReadWholeFile(path);
    static const char kSignature[] = "\xEF\xBE\xAD\xDENullsoftInst";
    size_t at = 0;
    while (at + 28 <= file.size() && memcmp(&file[at + 4], kSignature, 16) != 0)
        at += 512;
    if (at + 28 > file.size())
        return -1;
    uint32_t total;
    memcpy(&total, &file[at + 24], 4);
    size_t end = at + total - 4, block = at + 28;
    double payload = 0;
    for (int index = 0; block + 4 <= end; index++) {
        uint32_t length;
        memcpy(&length, &file[block], 4);
        length &= 0x7FFFFFFF;
        if (index > 0)
            payload += length;
        block += 4 + (size_t)length;
    }
    return block == end ? (double)file.size() - payload : -1;
}

static int Compare(int runs, const char *ours, const char *nsisZlib, const char *nsisLzma,
                   const char *trivial, const char *list, const char *work)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    CreateDirectoryA(work, NULL);
    const std::string q = "\"";
    const std::string result = std::string(work) + "\\result.txt";

    Series trivialStart, oursExtract, oursRows, floorExtract, zlibInstall, lzmaInstall;
    Series oursWindow, nsisWindow, oursWindowPrivate, nsisWindowPrivate, oursWindowWs, nsisWindowWs;
    Series oursPeakWs, oursPeakPrivate, zlibPeakWs, zlibPeakPrivate, lzmaPeakWs, lzmaPeakPrivate;
    int failures = 0;

    // One warm-up of each, not counted: the prefix, the wineserver and the
    // file cache are warm for every counted run.
    for (int run = -1; run < runs; run++) {
        char folder[MAX_PATH];
        Measured m = RunToEnd(q + trivial + q);
        if (run >= 0)
            trivialStart.Add(m.seconds);

        snprintf(folder, sizeof folder, "%s\\ours-%d", work, run + 1);
        m = RunToEnd(q + self + q + " extract " + q + ours + q + " " + q + folder + q + " " + q + result + q);
        failures += m.exitCode != 0;
        if (run >= 0) {
            oursExtract.Add(m.exitCode == 0 ? ReadResult(result) : -1);
            oursPeakWs.Add(m.peakWorkingSet);
            oursPeakPrivate.Add(m.peakPrivate);
        }

        snprintf(folder, sizeof folder, "%s\\rows-%d", work, run + 1);
        m = RunToEnd(q + self + q + " rows " + q + ours + q + " " + q + list + q + " " + q + folder + q +
                     " " + q + result + q);
        failures += m.exitCode != 0;
        if (run >= 0)
            oursRows.Add(m.exitCode == 0 ? ReadResult(result) : -1);

        snprintf(folder, sizeof folder, "%s\\floor-%d", work, run + 1);
        m = RunToEnd(q + self + q + " floor " + q + ours + q + " " + q + list + q + " " + q + folder + q +
                     " " + q + result + q);
        failures += m.exitCode != 0;
        if (run >= 0)
            floorExtract.Add(m.exitCode == 0 ? ReadResult(result) : -1);

        snprintf(folder, sizeof folder, "%s\\nsis-zlib-%d", work, run + 1);
        m = RunToEnd(q + nsisZlib + q + " /S /D=" + folder);
        failures += m.exitCode != 0;
        if (run >= 0) {
            zlibInstall.Add(m.seconds);
            zlibPeakWs.Add(m.peakWorkingSet);
            zlibPeakPrivate.Add(m.peakPrivate);
        }

        snprintf(folder, sizeof folder, "%s\\nsis-lzma-%d", work, run + 1);
        m = RunToEnd(q + nsisLzma + q + " /S /D=" + folder);
        failures += m.exitCode != 0;
        if (run >= 0) {
            lzmaInstall.Add(m.seconds);
            lzmaPeakWs.Add(m.peakWorkingSet);
            lzmaPeakPrivate.Add(m.peakPrivate);
        }

        m = TimeToFirstWindow(q + ours + q, IDC_FOLDER_LABEL);
        if (run >= 0) {
            oursWindow.Add(m.seconds);
            oursWindowWs.Add(m.peakWorkingSet);
            oursWindowPrivate.Add(m.peakPrivate);
        }
        m = TimeToFirstWindow(q + nsisZlib + q, 0);
        if (run >= 0) {
            nsisWindow.Add(m.seconds);
            nsisWindowWs.Add(m.peakWorkingSet);
            nsisWindowPrivate.Add(m.peakPrivate);
        }
        fprintf(stderr, "bench: run %d of %d done\n", run + 1, runs);
    }

    // The NSIS installs, less what starting any program costs.
    Series zlibNet, lzmaNet;
    double startCost = trivialStart.Median();
    for (double v : zlibInstall.values)
        zlibNet.Add(v - startCost);
    for (double v : lzmaInstall.values)
        lzmaNet.Add(v - startCost);

    double oursSize = FileSize(ours), zlibSize = FileSize(nsisZlib), lzmaSize = FileSize(nsisLzma);
    printf("\nLunkoSetup.exe against NSIS, %d runs each after one warm-up, one Wine prefix\n", runs);
    printf("\n  size (bytes)\n");
    printf("  %-38s %10.0f\n  %-38s %10.0f\n  %-38s %10.0f\n", "LunkoSetup.exe", oursSize,
           "NSIS zlib (non-solid)", zlibSize, "NSIS LZMA (solid)", lzmaSize);
    double oursProgram = OurProgramPart(ours), zlibProgram = NsisProgramPart(nsisZlib);
    printf("\n  program part (the file less its payload, bytes)\n");
    printf("  %-38s %10.0f\n  %-38s %10.0f\n", "ours: less the \"TEXT\" resources", oursProgram,
           "NSIS zlib: less the files' blocks", zlibProgram);
    printf("\n  %-38s %10s %10s %10s\n", "timings", "min", "median", "max");
    PrintRow("start of a trivial program", trivialStart, 1, "s");
    PrintRow("ours: install sequence, in process", oursExtract, 1, "s");
    PrintRow("ours: ExtractPayload per row only", oursRows, 1, "s");
    PrintRow("floor: inflate + write, in process", floorExtract, 1, "s");
    PrintRow("NSIS zlib: silent install (whole)", zlibInstall, 1, "s");
    PrintRow("NSIS zlib: less trivial start", zlibNet, 1, "s");
    PrintRow("NSIS LZMA: silent install (whole)", lzmaInstall, 1, "s");
    PrintRow("NSIS LZMA: less trivial start", lzmaNet, 1, "s");
    PrintRow("ours: first window, labels drawn", oursWindow, 1, "s");
    PrintRow("NSIS: first page, labels drawn", nsisWindow, 1, "s");
    printf("\n  memory at the first window\n");
    PrintRow("ours: peak working set", oursWindowWs, 1048576, "MiB");
    PrintRow("ours: peak private bytes", oursWindowPrivate, 1048576, "MiB");
    PrintRow("NSIS: peak working set", nsisWindowWs, 1048576, "MiB");
    PrintRow("NSIS: peak private bytes", nsisWindowPrivate, 1048576, "MiB");
    printf("\n  peak memory of a whole installation (ours: the extraction in a process of its own)\n");
    PrintRow("ours: peak working set", oursPeakWs, 1048576, "MiB");
    PrintRow("ours: peak private bytes", oursPeakPrivate, 1048576, "MiB");
    PrintRow("NSIS zlib: peak working set", zlibPeakWs, 1048576, "MiB");
    PrintRow("NSIS zlib: peak private bytes", zlibPeakPrivate, 1048576, "MiB");
    PrintRow("NSIS LZMA: peak working set", lzmaPeakWs, 1048576, "MiB");
    PrintRow("NSIS LZMA: peak private bytes", lzmaPeakPrivate, 1048576, "MiB");
    printf("\n  ratios ours / NSIS (medians)                 target\n");
    PrintRatio("size / NSIS zlib            (<= 0.98)", oursSize, zlibSize);
    PrintRatio("size / NSIS LZMA solid", oursSize, lzmaSize);
    PrintRatio("program part / NSIS zlib    (<= 1.00)", oursProgram, zlibProgram);
    PrintRatio("extraction / NSIS zlib      (<= 0.60)", oursExtract.Median(), zlibNet.Median());
    PrintRatio("extraction / NSIS LZMA", oursExtract.Median(), lzmaNet.Median());
    PrintRatio("extraction / floor          (<= 1.50)", oursExtract.Median(), floorExtract.Median());
    PrintRatio("rows only / NSIS zlib", oursRows.Median(), zlibNet.Median());
    PrintRatio("rows only / floor", oursRows.Median(), floorExtract.Median());
    PrintRatio("first window / NSIS         (<= 0.80)", oursWindow.Median(), nsisWindow.Median());
    PrintRatio("peak private / NSIS zlib", oursPeakPrivate.Median(), zlibPeakPrivate.Median());
    if (failures)
        printf("\n%d run(s) failed (non-zero exit code)\n", failures);
    return failures ? 1 : 0;
}

int main(int argc, char **argv)
{
    if (argc == 5 && !strcmp(argv[1], "extract"))
        return Extract(argv[2], argv[3], argv[4]);
    if (argc == 6 && !strcmp(argv[1], "rows"))
        return ExtractRows(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 6 && !strcmp(argv[1], "floor"))
        return Floor(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 9 && !strcmp(argv[1], "compare"))
        return Compare(atoi(argv[2]), argv[3], argv[4], argv[5], argv[6], argv[7], argv[8]);
    fprintf(stderr, "usage: see bench/run-bench.sh\n");
    return 2;
}

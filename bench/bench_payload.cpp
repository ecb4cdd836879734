// Benchmark: how fast the installer's payload inflates and how fast labels
// draw, and how much memory the inflating takes. Run it under Wine:
//   tests/harness/wine-run.sh build/bench/bench_payload.exe [installer.exe]
// (by default the installer built beside it). Figures are printed, never
// judged: timing belongs here, not in the tests.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>
#include <psapi.h>

#include <zlib.h>

#include "bench/installer_path.h"
#include "payload/payload.h"
#include "render/render.h"
#include "resources/ids.h"
#include "wizard/wizard.h"

static double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

struct InflateTotals {
    int count;
    unsigned long long packed, inflated;
    unsigned char *buffer;
};

static BOOL CALLBACK InflateOne(HMODULE module, LPCSTR, LPSTR name, LONG_PTR context)
{
    InflateTotals *totals = (InflateTotals *)context;
    if (!IS_INTRESOURCE(name))
        return TRUE;
    ModuleInstance = module;
    unsigned long length = 0;
    if (InflatePayloadResource((int)(UINT_PTR)name, totals->buffer, kCatalogueCapacity, &length)) {
        HRSRC found = FindResourceA(module, name, "TEXT");
        totals->packed += SizeofResource(module, found);
        totals->inflated += length;
        totals->count++;
    }
    return TRUE;
}

static void BenchInflate(const char *installer)
{
    HMODULE module = LoadLibraryExA(installer, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        printf("cannot open %s\n", installer);
        return;
    }
    InflateTotals totals = { 0, 0, 0, (unsigned char *)malloc(kCatalogueCapacity) };
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    EnumResourceNamesA(module, "TEXT", InflateOne, (LONG_PTR)&totals);
    QueryPerformanceCounter(&end);
    double seconds = Seconds(start, end);
    PROCESS_MEMORY_COUNTERS memory;
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("inflate: %d resources, %.1f MB packed -> %.1f MB in %.2f s (%.1f MB/s); "
           "peak working set %.1f MB\n",
           totals.count, totals.packed / 1e6, totals.inflated / 1e6, seconds,
           totals.inflated / 1e6 / seconds, memory.PeakWorkingSetSize / 1e6);
    free(totals.buffer);
    FreeLibrary(module);
}

static void BenchLabels(const char *installer)
{
    HMODULE module = LoadLibraryExA(installer, NULL, LOAD_LIBRARY_AS_DATAFILE);
    ModuleInstance = module;
    unsigned char *sheets = (unsigned char *)malloc(kSheetBufferCapacity);
    unsigned long length = 0;
    if (!module || !InflatePayloadResource(IDR_GLYPH_SHEETS, sheets, kSheetBufferCapacity, &length)
        || !LoadGlyphSheets(sheets)) {
        printf("labels: no glyph sheets\n");
        free(sheets);
        return;
    }
    free(sheets);
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP bitmap = CreateCompatibleBitmap(GetDC(NULL), 600, 40);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const char *label = "建立桌面图标？  (Place an icon on Desktop)";
    const int rounds = 2000;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < rounds; i++)
        DrawLabelText(dc, 0, 0, label, 0);
    QueryPerformanceCounter(&end);
    printf("labels: %d draws of a %d-byte label, %.1f us each\n", rounds, (int)strlen(label),
           Seconds(start, end) * 1e6 / rounds);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseGlyphSheets();
    FreeLibrary(module);
}

int main(int argc, char **argv)
{
    char installer[MAX_PATH];
    FindInstaller(argc, argv, installer, sizeof installer);
    BenchInflate(installer);
    BenchLabels(installer);
    return 0;
}

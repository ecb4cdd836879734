// The payload installer: payload resources turned into files, the install
// sequence, and the update of the installed configuration file.
#pragma once

#include <windows.h>

#include "payload/capacities.h"

// One extraction request. The file name is relative to the installation
// folder unless an explicit path is given.
struct PayloadEntry {
    int resourceId;                     // only the low 16 bits name the resource
    const char *fileName;
    unsigned char *buffer;              // caller's work buffer, at least capacity bytes
    int capacity;
    int readOnly;
    int hidden;
    const char *explicitPath;           // null: installation folder + file name
};

// One whole zlib stream of `size` bytes at `data` into `buffer`, as a
// library's one-call inflation does it; 0 for a stream that is broken, cut
// short or larger than `capacity`. Bytes after the stream are ignored.
int InflateZlibStream(void *buffer, unsigned long capacity, unsigned long *length,
                      const void *data, unsigned long size);
// Inflates payload resource `id` into `buffer`; on success *length holds the
// inflated size. Returns 1 on success, 0 when the resource is missing, corrupt
// or larger than `capacity`.
int InflatePayloadResource(int id, void *buffer, unsigned long capacity, unsigned long *length);

// What became of one payload and its file, told by the system's error code,
// so that a notice can say why and what to do.
enum PayloadResult {
    kPayloadWritten,
    kPayloadInUse,              // another program holds it: shared, locked or mapped
    kPayloadAccessDenied,
    kPayloadDiskFull,
    kPayloadDamaged,            // the resource is missing or fails its check
    kPayloadFolderGone,         // the folder to write into is no longer there
    kPayloadRedirected,         // a symbolic link or junction stands at the name
    kPayloadFailed,             // anything else, a path too long among them
};
PayloadResult PayloadResultOfError(DWORD error);
// Whether an existing file with these attributes and reparse tag
// (WIN32_FIND_DATA's dwReserved0) would send a write elsewhere: symbolic
// links and mount points do; cloud placeholders and deduplicated files are
// written as any file.
int RedirectsWrites(DWORD attributes, DWORD reparseTag);
PayloadResult ExtractPayload(PayloadEntry entry);
PayloadResult WritePayloadFile(const char *fileName, const void *data, unsigned long length,
                               int readOnly, int hidden, const char *explicitPath);

void ClearFileAttributes(const char *path, int clearReadOnly, int clearHidden);
int UpdateConfigFile(void);

// Set by each run of the install sequence: 1 when the user chose to keep an
// existing word base, whose four files are then not replaced.
extern int KeepOldWordBase;
// A file the last run of the install sequence could not write, and why.
struct PayloadOutcome {
    const char *fileName;       // null: none
    PayloadResult result;
    int count;                  // of such files; the first is named
};
// The file that ended the run (a required row, or a word base that could not
// be replaced whole) and the optional files skipped before a successful end.
extern PayloadOutcome InstallFailure;
extern PayloadOutcome SkippedFiles;

int RunInstallSequence(void);
void DeleteInstalledFile(const char *path);

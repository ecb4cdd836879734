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
int ExtractPayload(PayloadEntry entry);
int WritePayloadFile(const char *fileName, const void *data, unsigned long length,
                     int readOnly, int hidden, const char *explicitPath);

void ClearFileAttributes(const char *path, int clearReadOnly, int clearHidden);
int UpdateConfigFile(void);

// Set by each run of the install sequence: 1 when the user chose to keep an
// existing word base, whose four files are then not replaced.
extern int KeepOldWordBase;
// Set by WritePayloadFile when a write failed after the file was opened (a
// full or failing disk, not a file in use); the cut-short file is removed.
extern int PayloadWriteBrokeOff;

int RunInstallSequence(void);
void DeleteInstalledFile(const char *path);

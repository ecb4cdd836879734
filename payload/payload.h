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
    kPayloadNoMemory,           // the run's work buffer could not be allocated
};
PayloadResult PayloadResultOfError(DWORD error);
// Whether an existing file with these attributes and reparse tag
// (WIN32_FIND_DATA's dwReserved0) would send a write elsewhere: symbolic
// links and mount points do; cloud placeholders and deduplicated files are
// written as any file.
int RedirectsWrites(DWORD attributes, DWORD reparseTag);
// Whether the file at `path`, with these attributes, is such a link.
int IsRedirectingLink(const char *path, DWORD attributes);
PayloadResult ExtractPayload(PayloadEntry entry);
// `length` bytes into the file at `path`, opened with CreateFileA's
// `disposition`, `security` and further `flags`, shared with nobody, then
// given its attributes; a file cut short is deleted.
PayloadResult WriteWholeFile(const char *path, const void *data, unsigned long length, DWORD disposition,
                             SECURITY_ATTRIBUTES *security, DWORD flags, int readOnly, int hidden);
PayloadResult WritePayloadFile(const char *fileName, const void *data, unsigned long length,
                               int readOnly, int hidden, const char *explicitPath);

void ClearFileAttributes(const char *path, int clearReadOnly, int clearHidden);
int UpdateConfigFile(void);

// Read by each run of the install sequence, set by its caller beforehand:
// 1 when the user chose to keep an existing word base, whose four files are
// then neither replaced nor checked.
extern int KeepOldWordBase;
// A file of a run, and why it was not written.
struct PayloadOutcome {
    const char *fileName;       // a catalogue name; null: none
    PayloadResult result;
    int count;                  // of such files; the first is named
};
// What one run of the install sequence did, for its caller to tell.
struct InstallResult {
    int succeeded;              // the whole catalogue is new (a kept word base aside)
    PayloadOutcome failure;     // the file that ended the run, and why; a work
                                // buffer that could not be allocated is
                                // kPayloadNoMemory with no file
    char holder[48];            // the program holding failure's file as the system
                                // names it; empty when the system says nothing
    PayloadOutcome skipped;     // optional files left as they were, after success
    // A file whose old copy the rollback of a failed run could not put back,
    // and the name (in the installation folder) that copy sits under.
    PayloadOutcome stranded;
    char strandedAs[64];
};

// Whether the installation folder holds an old word base that the user is
// to be asked about before the run (no question is shown here). A run that
// was cut off is put back first, so that a base it had set aside is seen.
int HasOldWordBase(void);
// Before a run, without changing anything: 1, with the file (kPayloadInUse)
// and, where the system can tell, its holder in `result`, when a file that
// the run would replace or remove is held by a program now; 0 when every one
// can be replaced. The files of a kept word base are not checked.
int FindFileInUse(InstallResult &result);
// The whole run; shows nothing, the progress bar apart.
InstallResult RunInstallSequence(void);
void DeleteInstalledFile(const char *path);

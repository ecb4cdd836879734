// Payload resources turned into memory and into files.
//
// Payload resource format:
//   type   the string "TEXT" (a named type), name a 16-bit numeric id, any
//          language - lookup is by type and id alone;
//   data   exactly one zlib stream (RFC 1950: 2-byte header, deflate data,
//          big-endian Adler-32 of the content) holding one file byte for byte;
//          bytes after the stream are ignored. Nothing else is stored: the
//          file name and attributes come from the caller's PayloadEntry, the
//          length from the inflater. The content must fit the reader's buffer
//          (payload/capacities.h).

#include <stdio.h>
#include <string.h>

#include "payload/payload.h"
#include "shell/shell.h"
#include "wizard/wizard.h"

int PayloadWriteBrokeOff;

int InflatePayloadResource(int id, void *buffer, unsigned long capacity, unsigned long *length)
{
    // A missing resource is not tested step by step: it yields no data and a
    // size of 0, which the inflater rejects like any broken stream.
    HRSRC found = FindResourceA(ModuleInstance, MAKEINTRESOURCEA(id & 0xFFFF), "TEXT");
    HGLOBAL loaded = found ? LoadResource(ModuleInstance, found) : NULL;
    const void *data = loaded ? LockResource(loaded) : NULL;
    unsigned long size = found ? SizeofResource(ModuleInstance, found) : 0;
    if (!data)
        size = 0;
    return InflateZlibStream(buffer, capacity, length, data, size);
}

int ExtractPayload(PayloadEntry entry)
{
    unsigned long length = 0;
    if (entry.capacity < 0
        || !InflatePayloadResource(entry.resourceId, entry.buffer, (unsigned long)entry.capacity, &length))
        return 0;
    return WritePayloadFile(entry.fileName, entry.buffer, length, entry.readOnly, entry.hidden,
                            entry.explicitPath);
}

// Composes the target path; 0 when it would not fit MAX_PATH.
static int ComposeTargetPath(char *path, const char *fileName, const char *explicitPath)
{
    if (!explicitPath)
        return JoinPath(path, InstallFolderPath, fileName, "");
    int written = FormatText(path, MAX_PATH, "%s", explicitPath);
    return written >= 0 && written < MAX_PATH;
}

int WritePayloadFile(const char *fileName, const void *data, unsigned long length,
                     int readOnly, int hidden, const char *explicitPath)
{
    char path[MAX_PATH];
    if (!ComposeTargetPath(path, fileName, explicitPath))
        return 0;

    // A read-only or hidden file of an earlier installation must give way.
    // A link or junction at the file's name would send the write elsewhere.
    DWORD existing = GetFileAttributesA(path);
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (existing & FILE_ATTRIBUTE_REPARSE_POINT)
            return 0;
        SetFileAttributesA(path, existing & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    }

    FILE *file = fopen(path, "wb");
    if (!file)
        return 0;
    size_t written = length ? fwrite(data, 1, length, file) : 0;
    // The buffered tail is checked with fflush: msvcrt's fclose reports
    // success even when its own final flush fails on a full disk.
    int flushed = fflush(file) == 0;
    int closed = fclose(file) == 0;
    if (written < length || !flushed || !closed) {
        // A cut-short file would later pass for an installed one.
        remove(path);
        PayloadWriteBrokeOff = 1;
        return 0;
    }

    // Hidden first, read-only last: on file systems that keep the hidden bit
    // apart from the permissions (Wine's, for an unprivileged user), a file
    // that is already read-only takes no further attribute.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (hidden)
            SetFileAttributesA(path, attributes |= FILE_ATTRIBUTE_HIDDEN);
        if (readOnly)
            SetFileAttributesA(path, attributes | FILE_ATTRIBUTE_READONLY);
    }
    return 1;
}

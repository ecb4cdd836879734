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

#include "payload/payload.h"
#include "shell/shell.h"
#include "wizard/wizard.h"

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

PayloadResult PayloadResultOfError(DWORD error)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:        // mapped by a running program: cannot be cut
        return kPayloadInUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return kPayloadAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return kPayloadDiskFull;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_DEV_NOT_EXIST:
        return kPayloadFolderGone;
    default:
        return kPayloadFailed;
    }
}

PayloadResult ExtractPayload(PayloadEntry entry)
{
    unsigned long length = 0;
    if (entry.capacity < 0)
        return kPayloadFailed;
    if (!InflatePayloadResource(entry.resourceId, entry.buffer, (unsigned long)entry.capacity, &length))
        return kPayloadDamaged;
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

int RedirectsWrites(DWORD attributes, DWORD reparseTag)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
           && (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

// The reparse tag of an existing file; a tag that cannot be read counts as
// a link, so that nothing unknown is followed.
static DWORD ReparseTagOf(const char *path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return IO_REPARSE_TAG_SYMLINK;
    FindClose(search);
    return found.dwReserved0;
}

int IsRedirectingLink(const char *path, DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
           && RedirectsWrites(attributes, ReparseTagOf(path));
}

PayloadResult WriteWholeFile(const char *path, const void *data, unsigned long length, DWORD disposition,
                             SECURITY_ATTRIBUTES *security, DWORD flags, int readOnly, int hidden)
{
    // Shared with nobody while it is written: no program reads half a file.
    // One write, with the system's own error: the C library's buffered files
    // hide a full disk in the final flush of fclose.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, security, disposition, FILE_ATTRIBUTE_NORMAL | flags, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return PayloadResultOfError(GetLastError());
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (length && !WriteFile(file, data, length, &written, NULL))
        error = GetLastError();
    else if (written != length)
        error = ERROR_DISK_FULL;
    if (!CloseHandle(file) && error == ERROR_SUCCESS)
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        // A cut-short file would later pass for an installed one.
        DeleteFileA(path);
        return PayloadResultOfError(error);
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
    return kPayloadWritten;
}

PayloadResult WritePayloadFile(const char *fileName, const void *data, unsigned long length,
                               int readOnly, int hidden, const char *explicitPath)
{
    char path[MAX_PATH];
    if (!ComposeTargetPath(path, fileName, explicitPath))
        return kPayloadFailed;

    // A read-only or hidden file of an earlier installation must give way.
    // A link or junction at the file's name would send the write elsewhere;
    // other reparse points (cloud placeholders, deduplicated files) are
    // files written in place.
    DWORD existing = GetFileAttributesA(path);
    if (IsRedirectingLink(path, existing))
        return kPayloadRedirected;
    if (existing != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path, existing & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    return WriteWholeFile(path, data, length, CREATE_ALWAYS, NULL, 0, readOnly, hidden);
}

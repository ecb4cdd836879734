// Whether the catalogue fits on the installation folder's drive, asked
// before the folder is made: found only by a write that fails, a full disk
// leaves part of the product behind and tells the user nothing.

#include <string.h>

#include <windows.h>

#include "payload/catalogue.h"
#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

// The margin: each file's last cluster is partly empty, so one whole
// cluster per catalogue file and one for the doc folder, as the drive
// reports its clusters; 64 KiB, the largest a common file system uses by
// default, when it does not.
enum { kFallbackClusterBytes = 65536, kMegabyte = 1048576 };

size_t FolderRootLength(const char *path)
{
    if (path[0] != '\\')
        return 3;
    const char *server = strchr(path + 2, '\\');
    const char *share = server ? strchr(server + 1, '\\') : NULL;
    return share ? (size_t)(share - path) + 1 : strlen(path) + 1;
}

// The deepest folder of `folder` (backslashes only, no longer than
// MAX_PATH) that exists, with a trailing backslash, into `existing`
// (MAX_PATH + 1 bytes): a folder mounted from another volume or a share
// below the root has its own free space. Without any, the root.
static void DeepestExistingFolder(const char *folder, char *existing, size_t rootLength)
{
    lstrcpynA(existing, folder, MAX_PATH);
    size_t length = strlen(existing);
    while (length > rootLength) {
        if (existing[length - 1] == '\\')
            existing[--length] = 0;
        DWORD attributes = GetFileAttributesA(existing);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            break;
        char *separator = LastPathSeparator(existing);
        if (!separator || (size_t)(separator - existing) < rootLength)
            length = rootLength;
        else
            length = (size_t)(separator - existing);
        existing[length] = 0;
    }
    if (length < rootLength)            // "C:" or "\\server\share" alone
        length = rootLength - 1;
    if (length == 0 || existing[length - 1] != '\\')
        existing[length++] = '\\';
    existing[length] = 0;
}

int CatalogueFitsOnDrive(const char *folder, unsigned long *neededMegabytes, unsigned long *freeMegabytes)
{
    typedef BOOL(WINAPI * FreeSpaceExFunction)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    char existing[MAX_PATH + 1];
    char root[MAX_PATH + 1];
    size_t rootLength = FolderRootLength(folder);
    if (rootLength > MAX_PATH)
        return 1;
    DeepestExistingFolder(folder, existing, rootLength);
    lstrcpynA(root, existing, (int)rootLength + 1);

    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    int clustersKnown = GetDiskFreeSpaceA(existing, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)
                        || GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters);
    ULONGLONG clusterBytes = clustersKnown ? (ULONGLONG)sectorsPerCluster * bytesPerSector : 0;
    // The first Windows 95 lacks the Ex call; the other counts clusters of
    // the root only, and on it at most 2 GB, which is plenty here.
    FreeSpaceExFunction freeSpaceEx = (FreeSpaceExFunction)(void *)SystemFunction("kernel32.dll", "GetDiskFreeSpaceExA");
    ULARGE_INTEGER available, total, totalFree;
    ULONGLONG freeBytes;
    if (freeSpaceEx && freeSpaceEx(existing, &available, &total, &totalFree))
        freeBytes = available.QuadPart;         // what this user may still use, quotas counted
    else if (clustersKnown)
        freeBytes = (ULONGLONG)freeClusters * clusterBytes;
    else
        return 1;                               // unreadable: the installation goes on as it always did
    if (!clusterBytes)
        clusterBytes = kFallbackClusterBytes;

    ULONGLONG needed = PayloadCatalogueBytes + (kCatalogueRowCount + 1) * clusterBytes;
    *neededMegabytes = (unsigned long)((needed + kMegabyte - 1) / kMegabyte);
    *freeMegabytes = (unsigned long)(freeBytes / kMegabyte);
    return freeBytes >= needed;
}

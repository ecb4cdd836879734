// Who may change what the installer writes, on the NT platform from version
// 5 on. The installer runs elevated and registers installed programs as
// machine-wide handlers: a folder that other users could write would let
// them swap a program or put a DLL beside one and run as the next
// administrator. Windows 9x keeps no access control and NT 4 no protected
// lists, so there everything stays as the system makes it.
//
// Every call of this file is looked up at run time: the SDDL functions came
// with Windows 2000, and Windows 95's ADVAPI32 lacks most of the others.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include "payload/catalogue.h"
#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

// Protected lists, so that nothing the parent folder grants (on Vista and
// later a drive's root grants Authenticated Users modify) reaches inside,
// and Administrators as the owner, so that no one keeps the owner's
// implicit right to change the list. 0x1200a9 is read and execute, FA full
// control; OICI makes the entry hold for every file and folder created
// below. The files users learn into get 0x1201bf, read, write and execute
// without DELETE: the programs update them in place (the folder lets Users
// add no file, so no update could go through a new file anyway), and
// no user can delete the shared word base.
static const char *const kDescriptorTexts[kSecurityKindCount] = {
    "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",   // kInstallFolderSecurity
    "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)",                // kInstalledFileSecurity
    "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1201bf;;;BU)",                // kUserWritableFileSecurity
    "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",                          // kSpeechFolderSecurity
};

// Well-known accounts, laid out as SIDs: Administrators (S-1-5-32-544),
// SYSTEM (S-1-5-18) and TrustedInstaller (S-1-5-80-956008885-...), the
// owner of the system's own folders from Vista on.
struct FixedSid {
    BYTE revision;
    BYTE subAuthorityCount;
    BYTE authority[6];
    DWORD subAuthority[6];
};
static const FixedSid kAdministrators = { 1, 2, { 0, 0, 0, 0, 0, 5 }, { 32, 544 } };
static const FixedSid kSystem = { 1, 1, { 0, 0, 0, 0, 0, 5 }, { 18 } };
static const FixedSid kTrustedInstaller = {
    1, 6, { 0, 0, 0, 0, 0, 5 }, { 80, 956008885, 3418522649u, 1831038044, 1852259761, 2271478464u }
};

static size_t SidLength(const void *sid)
{
    return 8 + 4 * (size_t)((const BYTE *)sid)[1];
}

// Whether the `room` bytes at `sid` begin with that SID.
static int SidIs(const void *sid, size_t room, const FixedSid &fixed)
{
    size_t length = 8 + 4 * (size_t)fixed.subAuthorityCount;
    return sid && room >= length && memcmp(sid, &fixed, length) == 0;
}

// Administrators, SYSTEM or TrustedInstaller: the accounts that may change
// the folders an installation folder hangs from.
static int IsSystemAccount(const void *sid, size_t room)
{
    return SidIs(sid, room, kAdministrators) || SidIs(sid, room, kSystem) || SidIs(sid, room, kTrustedInstaller);
}

enum {
    kConvertDescriptor, kSetObjectSecurity, kGetHandleSecurity, kOpenProcessToken, kGetTokenInformation,
    kEqualSid, kGetFileInformation, kSecurityFunctionCount
};
static const struct {
    const char *library;
    const char *name;
} kSecurityFunctions[kSecurityFunctionCount] = {
    { "advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA" },
    { "advapi32.dll", "SetKernelObjectSecurity" },
    { "advapi32.dll", "GetSecurityInfo" },
    { "advapi32.dll", "OpenProcessToken" },
    { "advapi32.dll", "GetTokenInformation" },
    { "advapi32.dll", "EqualSid" },
    { "kernel32.dll", "GetFileInformationByHandle" },
};
static FARPROC securityFunctions[kSecurityFunctionCount];

typedef BOOL(WINAPI *ConvertDescriptorFunction)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);
typedef BOOL(WINAPI *SetObjectSecurityFunction)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
typedef DWORD(WINAPI *GetHandleSecurityFunction)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *, PSID *,
                                                 PACL *, PACL *, PSECURITY_DESCRIPTOR *);
typedef BOOL(WINAPI *OpenProcessTokenFunction)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI *GetTokenInformationFunction)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
typedef BOOL(WINAPI *EqualSidFunction)(PSID, PSID);
typedef BOOL(WINAPI *GetFileInformationFunction)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);

#define SECURITY_CALL(type, index) ((type)(void *)securityFunctions[index])

// 1 when every call is there; looked up once.
static int LoadSecurityFunctions(void)
{
    for (int i = 0; i < kSecurityFunctionCount; i++) {
        if (!securityFunctions[i])
            securityFunctions[i] = SystemFunction(kSecurityFunctions[i].library, kSecurityFunctions[i].name);
        if (!securityFunctions[i])
            return 0;
    }
    return 1;
}

PSECURITY_DESCRIPTOR MakeSecurityDescriptor(int kind)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (kind < 0 || kind >= kSecurityKindCount || !LoadSecurityFunctions()
        || !SECURITY_CALL(ConvertDescriptorFunction, kConvertDescriptor)(kDescriptorTexts[kind],
                                                                          SDDL_REVISION_1, &descriptor, NULL))
        return NULL;
    return descriptor;
}

int CreateSecuredFolder(const char *path, int kind)
{
    if (!NtFiveOrLater)
        return CreateDirectoryA(path, NULL);
    // Never a folder without its list: one that the system would make
    // instead is open to whatever the parent grants.
    SECURITY_ATTRIBUTES attributes = { sizeof attributes, MakeSecurityDescriptor(kind), FALSE };
    if (!attributes.lpSecurityDescriptor)
        return 0;
    BOOL created = CreateDirectoryA(path, &attributes);
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    SetLastError(error);            // the caller tells an existing folder by it
    return created;
}

int IsAcceptableFolderOwner(PSID owner)
{
    if (!owner || !LoadSecurityFunctions())
        return 0;
    EqualSidFunction equal = SECURITY_CALL(EqualSidFunction, kEqualSid);
    if (SidIs(owner, SidLength(owner), kAdministrators) || SidIs(owner, SidLength(owner), kSystem))
        return 1;
    // The installing user: the one whose token runs this process.
    int accepted = 0;
    HANDLE token;
    if (!SECURITY_CALL(OpenProcessTokenFunction, kOpenProcessToken)(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer;
    DWORD length = 0;
    if (SECURITY_CALL(GetTokenInformationFunction, kGetTokenInformation)(token, TokenUser, &buffer,
                                                                           sizeof buffer, &length))
        accepted = equal(owner, buffer.user.User.Sid) != 0;
    CloseHandle(token);
    return accepted;
}

// Opens a file or folder to read and set its list, as itself: never
// through a link, a junction or a second name of a file elsewhere (a hard
// link), which would hand the list to a file outside the folder. The
// handle keeps what it names for as long as it is open; it may not be
// deleted or renamed meanwhile. INVALID_HANDLE_VALUE when it is none of
// these, or a folder where a file was asked for, or the other way round.
static HANDLE OpenForSecurity(const char *path, int folder)
{
    HANDLE handle = CreateFileA(path, READ_CONTROL | WRITE_DAC | (folder ? WRITE_OWNER : 0),
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    BY_HANDLE_FILE_INFORMATION information;
    if (handle != INVALID_HANDLE_VALUE
        && (!SECURITY_CALL(GetFileInformationFunction, kGetFileInformation)(handle, &information)
            || (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            || !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != !folder
            || (!folder && information.nNumberOfLinks != 1))) {
        CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    return handle;
}

// Sets the list (and with `what` the owner) of what the handle holds, that
// one object alone: an existing folder that the user pointed at may hold a
// tree of someone else's (a list carried down would rewrite it all).
static int ApplySecurity(HANDLE handle, PSECURITY_DESCRIPTOR descriptor,
                         SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION)
{
    return descriptor && SECURITY_CALL(SetObjectSecurityFunction, kSetObjectSecurity)(handle, what, descriptor);
}

int SecureExistingFolder(const char *path)
{
    if (!NtFiveOrLater)
        return 1;
    if (!LoadSecurityFunctions())
        return -1;
    // A folder whose list shuts out administrators is someone else's.
    HANDLE folder = OpenForSecurity(path, 1);
    if (folder == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? 0 : -1;
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR current = NULL;
    int result = -1;
    if (SECURITY_CALL(GetHandleSecurityFunction, kGetHandleSecurity)(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                                                      &owner, NULL, NULL, NULL, &current)
        == ERROR_SUCCESS)
        result = IsAcceptableFolderOwner(owner);
    LocalFree(current);
    if (result > 0) {
        PSECURITY_DESCRIPTOR wanted = MakeSecurityDescriptor(kInstallFolderSecurity);
        if (!ApplySecurity(folder, wanted, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION))
            result = -1;
        LocalFree(wanted);
    }
    CloseHandle(folder);
    return result;
}

int IsSafePathFolder(PSID owner, const ACL *list, int driveRoot)
{
    // A root is never moved: only what is in it can be. Its owner is the
    // drive's, whoever formatted it.
    if ((!driveRoot && (!owner || !IsSystemAccount(owner, SidLength(owner)))) || !list)
        return 0;                       // a null list lets everyone in
    const DWORD held = FILE_DELETE_CHILD | GENERIC_ALL | (driveRoot ? 0 : DELETE | WRITE_DAC | WRITE_OWNER);
    const BYTE *entry = (const BYTE *)(list + 1);
    const BYTE *end = (const BYTE *)list + list->AclSize;
    for (WORD i = 0; i < list->AceCount; i++) {
        const ACE_HEADER *header = (const ACE_HEADER *)entry;
        if (end - entry < 8 || header->AceSize < 8 || header->AceSize > end - entry)
            return 0;
        DWORD mask = ((const ACCESS_ALLOWED_ACE *)entry)->Mask;     // where every kind of entry has it
        BYTE type = header->AceType;
        int denies = type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE
                     || type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
        // The SID follows the mask in these two; an entry of another kind
        // that grants any of the rights counts as someone else's.
        int plain = type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        if (!(header->AceFlags & INHERIT_ONLY_ACE) && !denies && (mask & held)
            && !(plain && IsSystemAccount(entry + 8, header->AceSize - 8u)))
            return 0;
        entry += header->AceSize;
    }
    return 1;
}

// 1 when the folder at `path` (the drive's root if `driveRoot`) passes
// IsSafePathFolder, 0 when it does not or cannot be read, -1 when there is
// no such folder.
static int CheckPathFolder(const char *path, int driveRoot)
{
    HANDLE folder = CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? -1 : 0;
    }
    BY_HANDLE_FILE_INFORMATION information;
    PSID owner = NULL;
    PACL list = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    // Under Wine a drive's root reads as a reparse point (the link that
    // makes the drive); below it, one would send the path elsewhere.
    int result = SECURITY_CALL(GetFileInformationFunction, kGetFileInformation)(folder, &information)
                 && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                 && (driveRoot || !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                 && SECURITY_CALL(GetHandleSecurityFunction, kGetHandleSecurity)(
                        folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, NULL,
                        &list, NULL, &descriptor) == ERROR_SUCCESS
                 && IsSafePathFolder(owner, list, driveRoot);
    LocalFree(descriptor);
    CloseHandle(folder);
    return result;
}

int CheckFolderPath(const char *folder, char *culprit)
{
    char path[MAX_PATH];
    size_t root = FolderRootLength(folder);
    if (!LoadSecurityFunctions() || root >= MAX_PATH)
        return 0;
    lstrcpynA(path, folder, MAX_PATH);
    char *separator = LastPathSeparator(path);
    if (separator && !separator[1] && (size_t)(separator - path) >= root)
        *separator = 0;                 // a trailing backslash ends no name
    for (int depth = 0;; depth++) {
        separator = LastPathSeparator(path);
        size_t at = separator ? (size_t)(separator - path) : 0;
        int driveRoot = !separator || at < root;
        path[driveRoot ? root : at] = 0;
        int verdict = CheckPathFolder(path, driveRoot);
        if (verdict <= 0) {
            lstrcpynA(culprit, path, MAX_PATH);
            return verdict < 0 && depth == 0 ? -1 : 0;
        }
        if (driveRoot)
            return 1;
    }
}

int KeepsAccessLists(const char *folder)
{
    char root[MAX_PATH];
    DWORD flags = 0;
    size_t length = FolderRootLength(folder);
    if (length >= MAX_PATH)
        return -1;
    lstrcpynA(root, folder, (int)length + 1);
    if (!GetVolumeInformationA(root, NULL, 0, NULL, NULL, &flags, NULL, 0))
        return -1;
    return (flags & FS_PERSISTENT_ACLS) != 0;
}

int GetFolderIdentity(const char *path, FolderIdentity *identity)
{
    if (!LoadSecurityFunctions())
        return 0;
    HANDLE folder = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, NULL);
    BY_HANDLE_FILE_INFORMATION information;
    int known = folder != INVALID_HANDLE_VALUE
                && SECURITY_CALL(GetFileInformationFunction, kGetFileInformation)(folder, &information);
    if (known) {
        identity->volume = information.dwVolumeSerialNumber;
        identity->indexHigh = information.nFileIndexHigh;
        identity->indexLow = information.nFileIndexLow;
    }
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    return known;
}


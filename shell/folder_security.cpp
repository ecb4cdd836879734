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

#include "payload/catalogue.h"
#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

// Protected lists, so that nothing the parent folder grants (on Vista and
// later a drive's root grants Authenticated Users modify) reaches inside.
// 0x1200a9 is read and execute, 0x1301bf modify (read, write, execute,
// delete), FA full control; OICI makes the entry hold for every file and
// folder created below.
static const char *const kDescriptorTexts[kSecurityKindCount] = {
    "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",   // kInstallFolderSecurity
    "D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)",                // kInstalledFileSecurity
    "D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1301bf;;;BU)",                // kUserWritableFileSecurity
    "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",                          // kSpeechFolderSecurity
};

// S-1-5-32-544 (Administrators) and S-1-5-18 (SYSTEM), laid out as a SID.
struct FixedSid {
    BYTE revision;
    BYTE subAuthorityCount;
    BYTE authority[6];
    DWORD subAuthority[2];
};
static const FixedSid kAdministrators = { 1, 2, { 0, 0, 0, 0, 0, 5 }, { 32, 544 } };
static const FixedSid kSystem = { 1, 1, { 0, 0, 0, 0, 0, 5 }, { 18, 0 } };

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
    if (equal(owner, (PSID)&kAdministrators) || equal(owner, (PSID)&kSystem))
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
    HANDLE handle = CreateFileA(path, READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
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

// Sets the list of what the handle holds, that one object alone: an
// existing folder that the user pointed at may hold a tree of someone
// else's (a list carried down would rewrite it all).
static int ApplySecurity(HANDLE handle, PSECURITY_DESCRIPTOR descriptor)
{
    return descriptor
           && SECURITY_CALL(SetObjectSecurityFunction, kSetObjectSecurity)(handle, DACL_SECURITY_INFORMATION,
                                                                            descriptor);
}

int SecureExistingFolder(const char *path)
{
    if (!NtFiveOrLater)
        return 1;
    if (!LoadSecurityFunctions())
        return 0;
    HANDLE folder = OpenForSecurity(path, 1);
    if (folder == INVALID_HANDLE_VALUE)
        return 0;
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR current = NULL;
    int result = SECURITY_CALL(GetHandleSecurityFunction, kGetHandleSecurity)(
                     folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL, NULL, &current)
                 == ERROR_SUCCESS
                 && IsAcceptableFolderOwner(owner);
    if (current)
        LocalFree(current);
    if (result) {
        PSECURITY_DESCRIPTOR wanted = MakeSecurityDescriptor(kInstallFolderSecurity);
        result = ApplySecurity(folder, wanted);
        LocalFree(wanted);
    }
    CloseHandle(folder);
    return result;
}

// Who may change what the installer writes, on the NT platform from version
// 5 on. The installer runs elevated and registers installed programs as
// machine-wide handlers: a folder that other users could write would let
// them swap a program or put a DLL beside one and run as the next
// administrator. Windows 9x keeps no access control and NT 4 no protected
// lists, so there everything stays as the system makes it.
//
// Every call of this file is looked up at run time: the SDDL functions came
// with Windows 2000, and Windows 95's ADVAPI32 lacks most of the others.

#include <string.h>

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
    kConvertDescriptor, kSetFileSecurity, kGetNamedSecurity, kOpenProcessToken, kGetTokenInformation,
    kEqualSid, kSecurityFunctionCount
};
static const char *const kSecurityFunctionNames[kSecurityFunctionCount] = {
    "ConvertStringSecurityDescriptorToSecurityDescriptorA", "SetFileSecurityA", "GetNamedSecurityInfoA",
    "OpenProcessToken", "GetTokenInformation", "EqualSid",
};
static FARPROC securityFunctions[kSecurityFunctionCount];

typedef BOOL(WINAPI *ConvertDescriptorFunction)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);
typedef BOOL(WINAPI *SetFileSecurityFunction)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
typedef DWORD(WINAPI *GetNamedSecurityFunction)(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *,
                                                PSID *, PACL *, PACL *, PSECURITY_DESCRIPTOR *);
typedef BOOL(WINAPI *OpenProcessTokenFunction)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI *GetTokenInformationFunction)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
typedef BOOL(WINAPI *EqualSidFunction)(PSID, PSID);

#define SECURITY_CALL(type, index) ((type)(void *)securityFunctions[index])

// 1 when every call is there; looked up once.
static int LoadSecurityFunctions(void)
{
    for (int i = 0; i < kSecurityFunctionCount; i++) {
        if (!securityFunctions[i])
            securityFunctions[i] = SystemFunction("advapi32.dll", kSecurityFunctionNames[i]);
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

// Sets the kind's list on one file or folder. SetFileSecurityA changes that
// one object: an existing folder that the user pointed at may hold a tree
// of someone else's (a list carried down would rewrite it all).
static int ApplySecurity(const char *path, PSECURITY_DESCRIPTOR descriptor)
{
    return descriptor
           && SECURITY_CALL(SetFileSecurityFunction, kSetFileSecurity)(path, DACL_SECURITY_INFORMATION, descriptor);
}

int SecureExistingFolder(const char *path)
{
    if (!NtFiveOrLater)
        return 1;
    if (!LoadSecurityFunctions())
        return 0;
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR current = NULL;
    if (SECURITY_CALL(GetNamedSecurityFunction, kGetNamedSecurity)(path, SE_FILE_OBJECT,
                                                                    OWNER_SECURITY_INFORMATION, &owner, NULL,
                                                                    NULL, NULL, &current)
        != ERROR_SUCCESS)
        return 0;
    int result = IsAcceptableFolderOwner(owner);
    LocalFree(current);
    if (result) {
        PSECURITY_DESCRIPTOR wanted = MakeSecurityDescriptor(kInstallFolderSecurity);
        result = ApplySecurity(path, wanted);
        LocalFree(wanted);
    }
    return result;
}

void SecureInstalledFiles(void)
{
    if (!NtFiveOrLater)
        return;
    PSECURITY_DESCRIPTOR installed = MakeSecurityDescriptor(kInstalledFileSecurity);
    PSECURITY_DESCRIPTOR writable = MakeSecurityDescriptor(kUserWritableFileSecurity);
    // Every file of the catalogue gets its list whole, not only by
    // inheritance: a file that an earlier installation left in an existing
    // folder keeps its own list when it is written over, and that list may
    // still let every user change a program. The files the programs keep
    // learning into while a standard user types are exactly those the
    // catalogue leaves writable; programs are read-only, and the folder
    // itself gains no right to add a file.
    for (const CatalogueRow &row : PayloadCatalogue) {
        char path[MAX_PATH];
        if (!JoinPath(path, InstallFolderPath, row.fileName, ""))
            continue;
        // Wine keeps no lists: it turns one into the Unix mode, where it
        // also keeps the read-only mark, so the mark is put back.
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && ApplySecurity(path, row.readOnly ? installed : writable)
            && GetFileAttributesA(path) != attributes)
            SetFileAttributesA(path, attributes);
    }
    LocalFree(installed);
    LocalFree(writable);
}

// Shell integration: special folders, shortcuts and registry entries.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#include <windows.h>

// snprintf into out, through msvcrt: always terminated; a text that does
// not fit is cut and the result is then `size`, so that "n >= size" still
// tells a cut path from a whole one. No floating-point conversions in the
// program's own formats.
int FormatText(char *out, size_t size, const char *format, ...) __attribute__((format(ms_printf, 3, 4)));
int FormatTextV(char *out, size_t size, const char *format, va_list arguments);

// A shortcut to make: display name (file name of the link and its
// description) and target file name relative to the installation folder.
// Arrays of them end with a pair whose display name is null.
struct ShortcutSpec {
    const char *displayName;
    const char *targetFile;
};

// folder + "\" + name + suffix into a MAX_PATH buffer; 0 when it would not
// fit, so that no shortened path ever names another file.
int JoinPath(char *out, const char *folder, const char *name, const char *suffix);
// The last backslash of `path` that is one, not the second byte of a
// double-byte character; null when there is none.
char *LastPathSeparator(char *path);

int GetShellFolderPath(char *path, int folderKind);
int GetShellFolderPathW(WCHAR *path, int folderKind);
int GetLegacyShellFolderPath(char *path, int folderKind);
int CreateShellLink(const char *targetPath, const char *linkPath, const char *description);
int CreateStartMenuGroup(const char *groupName, const ShortcutSpec *shortcuts, int folderKind);
void CreateDesktopShortcut(const char *targetFile, const char *displayName);

// Whose folders the shortcuts go to: the folder kind (CSIDL_PROGRAMS,
// CSIDL_DESKTOP) for the user at the desk when the installer runs as that
// user, else its all-users counterpart; `desk` is null when no one is there
// (no shell, or one the installer cannot look into).
int ShortcutFolderKind(int folderKind, PSID installing, PSID desk);
// The same for this run, decided once on the NT platform from the owner of
// the shell's process; elsewhere the kind is kept.
int DeskFolderKind(int folderKind);
// Around each write into those folders (a folder made, a link file saved,
// never the making of the link object): where they are the desk user's
// own, the write is made with that user's token (the unelevated one on NT 6
// and later); 0 when that cannot be done, and nothing may be written.
int BeginDeskUserWrites(void);
void EndDeskUserWrites(void);

// The entry of Apps & features (Programs and Features) after a successful
// installation, under one fixed key: a later installation replaces it.
// `displayName` is the Start Menu group's name. 1 when every value was
// written.
int WriteUninstallEntry(const char *displayName);

class PooledString;
int RegisterDocumentClasses(void);
// A program's path as a command line starts with it: in double quotes when
// it holds a blank, else unchanged.
void QuoteProgramPath(PooledString &path);
int RegisterEditorShellCommand(void);
void RegisterEditorDocumentClass(void);
void RegisterPinyinServerClass(void);
int ApplyRegistryTemplates(const char *const *table, const char *const *inserts, int overwrite);
int ReadRegistryString(HKEY key, PooledString &out, const char *valueName);
int WriteRegistryString(HKEY key, const char *text, const char *valueName);

// Access control of what the installer creates, on the NT platform from
// version 5 on (NtFiveOrLater); elsewhere folders are made as the system
// makes them and nothing is changed. The lists are protected (nothing the
// parent grants reaches inside) and the owner is Administrators.
//   install folder    Administrators and SYSTEM full control, Users read
//                     and execute, for everything below it
//   installed file    the same, for one file
//   user-writable file  Administrators and SYSTEM full control, Users read,
//                     write and execute without DELETE
//   speech folder     Administrators and SYSTEM alone
enum {
    kInstallFolderSecurity, kInstalledFileSecurity, kUserWritableFileSecurity, kSpeechFolderSecurity,
    kSecurityKindCount
};
// The descriptor of a kind, to be released with LocalFree; null where the
// system lacks the calls (before Windows 2000) or memory is short.
PSECURITY_DESCRIPTOR MakeSecurityDescriptor(int kind);
// CreateDirectoryA with the kind's descriptor; 0 with the system's error
// when the folder is not made (also when the descriptor cannot be built).
int CreateSecuredFolder(const char *path, int kind);
// Whether an existing installation folder with this owner may be taken:
// Administrators, SYSTEM or the user running the installer. Another
// account's folder is not taken from it.
int IsAcceptableFolderOwner(PSID owner);
// An existing installation folder: 1 when its owner is one of those and it
// now has Administrators as owner and the install folder's list (the folder
// alone); 0, with nothing changed, for another owner; -1 when the owner or
// list cannot be read or set.
int SecureExistingFolder(const char *path);
// Whether no one but Administrators, SYSTEM and TrustedInstaller can move,
// delete or re-permission a folder on the installation folder's path, from
// its owner and list: the owner is one of them, and no one else holds
// DELETE, WRITE_DAC, WRITE_OWNER or FILE_DELETE_CHILD (the right to remove
// what the folder holds) through an entry that applies to the folder
// itself. For a drive's root only FILE_DELETE_CHILD counts.
int IsSafePathFolder(PSID owner, const ACL *list, int driveRoot);
// The folders that `folder` (backslashes only) hangs from, from its parent
// up to its drive's root: 1 when each is no reparse point (the root aside)
// and passes IsSafePathFolder; 0 with the first that does not, or cannot
// be read, in `culprit` (MAX_PATH); -1 when its parent does not exist.
int CheckFolderPath(const char *folder, char *culprit);
// Whether the drive of `folder` keeps access lists (FS_PERSISTENT_ACLS): 1,
// 0, or -1 when the drive cannot be asked.
int KeepsAccessLists(const char *folder);
// Which folder a path names, whatever its spelling (short names, case, a
// link to it): the volume and the file index.
struct FolderIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};
int GetFolderIdentity(const char *path, FolderIdentity *identity);
// Whether the existing folder is one of the system's own (the Windows,
// system, Program Files and ProgramData folders, a profile and its
// desktop, documents and application data, the temporary folder, ...) or
// holds one.
int IsSystemFolder(const char *folder);
// The first file or folder in `folder` itself that Windows would load or
// run (by its extension) and that is not a catalogue name, into `name`
// (MAX_PATH); 0 when there is none.
int FindForeignProgram(const char *folder, char *name);

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
// makes them and nothing is changed. The lists are protected: nothing the
// parent grants reaches inside.
//   install folder    Administrators and SYSTEM full control, Users read
//                     and execute, for everything below it
//   installed file    the same, for one file
//   user-writable file  Administrators and SYSTEM full control, Users modify
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
// Whether a folder with this owner may be trusted: Administrators, SYSTEM or
// the user running the installer. Anyone else could change its list again.
int IsAcceptableFolderOwner(PSID owner);
// An existing installation folder: accepted (1) only when its owner is one
// of those, and then given the install folder's list (the folder alone); 0, with nothing changed, for another owner, and 0
// when the list cannot be set.
int SecureExistingFolder(const char *path);

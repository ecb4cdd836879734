// The install sequence: the whole product into the installation folder in
// one blocking call, with the progress bar of the wizard as its only sign of
// life, then the configuration update, the shortcuts and, where the system
// has them, the document classes.

#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include <windows.h>
#include <commctrl.h>
#include <restartmanager.h>
#include <shlobj.h>

#include "payload/catalogue.h"
#include "payload/payload.h"
#include "resources/ids.h"
#include "shell/shell.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

int KeepOldWordBase;

// Display names of the shortcuts, by product and system language: English,
// Simplified Chinese (GBK) and Traditional Chinese (Big5, as bytes).
enum { kEditor, kEditorUninstaller, kNotesEditor };
static const char *const ProductTable[3][3] = {
    { "Lunko Zavav Irazaz", "Lunko智能编辑器",
      "Lunko" "\xB4\xBC" "\xAF\xE0" "\xBD\x73" "\xBF\xE8" "\xBE\xB9" },
    { "Lunko Zavav Irazaz UnInstall", "Lunko智能编辑器卸载",
      "Lunko" "\xB4\xBC" "\xAF\xE0" "\xBD\x73" "\xBF\xE8" "\xBE\xB9" "\xA8\xF8" "\xB8\xFC" },
    { "Quillmere", "Lunko记事本", "Lunko" "\xB0\x4F" "\xA8\xC6" "\xA5\xBB" },
};

static const char *ProductName(int product)
{
    int language = SystemLanguage <= 0 ? 0 : SystemLanguage == 1 ? 1 : 2;
    return ProductTable[product][language];
}

static void SetProgress(HWND bar, int position)
{
    SendMessageA(bar, PBM_SETPOS, (WPARAM)position, 0);
    UpdateWindow(bar);
}

// The first byte of the installed word index tells its generation: bit 7
// set marks the old word base that users may want to keep.
static int HoldsOldWordBase(void)
{
    char path[MAX_PATH];
    if (!JoinPath(path, InstallFolderPath, "pycizudic.idx", ""))
        return 0;
    FILE *file = fopen(path, "rb");
    if (!file) {
        // Present but unreadable: most likely open in the running pinyin
        // server. Replacing it unasked would overwrite the user's word base.
        return _access(path, 0) == 0;
    }
    int first = fgetc(file);
    fclose(file);
    return first != EOF && (first & 0x80) != 0;
}

void DeleteInstalledFile(const char *path)
{
    ClearFileAttributes(path, 1, 1);
    remove(path);
}

// Deleted, or not there: 1. Anything else leaves the file where it is.
static int RemoveFile(const char *path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
}

static int Exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static void NoteOutcome(PayloadOutcome &outcome, const char *fileName, PayloadResult result)
{
    if (!outcome.count++) {
        outcome.fileName = fileName;
        outcome.result = result;
    }
}

// ---- the names of a run ------------------------------------------------------
// The catalogue is replaced as one set: every new file is written beside
// the old one under a name of its own, then each old file is moved aside and
// its new one moved in, and only after the last move are the old ones
// deleted. Renaming needs no room on the disk and never cuts a file. The
// names end in nothing Windows loads or runs.
static const char kNewSuffix[] = ".lunkonew";
static const char kAsideSuffix[] = ".lunkoold";
// One byte per row, written before the first move and renamed to the
// committed name after the last one. A run that finds the first undoes the
// moves, one that finds the second finishes the deletions. It is not forced
// to the disk: that would write out every staged file first and cost an
// upgrade a third of its time; a power cut that loses its bytes loses only
// which new files had no old one, and those then stay beside the old set.
static const char kMovingName[] = "moving.lunkorun";
static const char kCommittedName[] = "committed.lunkorun";
// A staged row: its old file was there, or none; an optional row whose old
// file cannot be replaced is kept.
enum { kRowUntouched, kRowReplaced, kRowAdded, kRowKept };

struct RowNames {
    char path[MAX_PATH];
    char fresh[MAX_PATH];
    char aside[MAX_PATH];
};

const CatalogueRow *CatalogueRowNamed(const char *fileName)
{
    for (const CatalogueRow &row : PayloadCatalogue)
        if (lstrcmpiA(fileName, row.fileName) == 0)
            return &row;
    return NULL;
}

static int NamesOf(const CatalogueRow &row, RowNames &names)
{
    return JoinPath(names.path, InstallFolderPath, row.fileName, "")
           && JoinPath(names.fresh, InstallFolderPath, row.fileName, kNewSuffix)
           && JoinPath(names.aside, InstallFolderPath, row.fileName, kAsideSuffix);
}

// Earlier versions left numbered variants of four dictionaries beside the
// originals; the programs would pick them up instead of the new ones. Entry
// `index` of the 64; 0 for a path too long and for pykeys.dic and
// Gbkflat.dic themselves, which are rows of the catalogue.
static const char *const kDictionaries[] = {
    "pykeys.dic", "Gbkflat.dic", "flatAuto.dic", "flatAdjust.dic",
};
static int VariantPath(int index, char *path)
{
    int count = index >> 2;
    char suffix[8] = "";
    if (count)
        FormatText(suffix, sizeof suffix, "%1d%1d%1d%1d", (count >> 3) & 1, (count >> 2) & 1, (count >> 1) & 1,
                   count & 1);
    return index > 1 && JoinPath(path, InstallFolderPath, kDictionaries[index & 3], suffix);
}
enum { kVariantCount = 64 };

// Puts the old files back after a failure before the last move, from what
// `state` says of each row (all untouched when nothing is known): the staged
// files are removed, each old file set aside is moved back over the new
// one, and a new file that had no old one is removed. Every step is checked;
// an old copy that cannot be put back is named with the name it sits under.
static int PutOldFilesBack(const unsigned char *state, InstallResult &result)
{
    int whole = 1;
    for (int i = 0; i < kCatalogueRowCount; i++) {
        const CatalogueRow &row = PayloadCatalogue[i];
        RowNames names;
        if (!NamesOf(row, names))
            continue;
        int done = RemoveFile(names.fresh);
        if (Exists(names.aside))
            done = done && RemoveFile(names.path) && MoveFileA(names.aside, names.path);
        else if (state[i] == kRowAdded)
            done = done && RemoveFile(names.path);
        if (!done) {
            DWORD error = GetLastError();
            whole = 0;
            NoteOutcome(result.failure, row.fileName, PayloadResultOfError(error));
            if (Exists(names.aside) && !result.stranded.count) {
                NoteOutcome(result.stranded, row.fileName, PayloadResultOfError(error));
                FormatText(result.strandedAs, sizeof result.strandedAs, "%s%s", row.fileName, kAsideSuffix);
            }
        }
    }
    return whole;
}

// After the last move: the old files and the leftover variants go. One that
// a program still maps can be renamed but not yet deleted; the committed
// mark then stays, so that no later run takes the old copy for one to put
// back, and the next run deletes the rest. -1 when every old copy is gone,
// else the row of the first that stays.
static int DeleteOldFiles(const char *committed)
{
    int stays = -1;
    char path[MAX_PATH];
    for (int i = 0; i < kCatalogueRowCount; i++)
        if (JoinPath(path, InstallFolderPath, PayloadCatalogue[i].fileName, kAsideSuffix) && !RemoveFile(path)
            && stays < 0)
            stays = i;
    for (int i = 0; i < kVariantCount; i++)
        if (VariantPath(i, path))
            RemoveFile(path);
    if (stays < 0)
        RemoveFile(committed);
    return stays;
}

// Whether any name of a run (new, set aside, or a mark) is in the folder:
// one look at the folder spares every later one when there is none.
static int HasRunNames(void)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    if (!JoinPath(pattern, InstallFolderPath, "*.lunko*", ""))
        return 1;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return 1;
}

// What a run that was cut off left, made whole before anything else: after
// its last move the new installation stands and its deletions are finished;
// before it, the old one is put back.
static int RecoverCutOffRun(InstallResult &result)
{
    char moving[MAX_PATH], committed[MAX_PATH];
    if (!HasRunNames())
        return 1;
    if (!JoinPath(moving, InstallFolderPath, kMovingName, "")
        || !JoinPath(committed, InstallFolderPath, kCommittedName, ""))
        return 0;
    if (Exists(committed)) {
        int stays = DeleteOldFiles(committed);
        if (stays >= 0)
            NoteOutcome(result.failure, PayloadCatalogue[stays].fileName, kPayloadInUse);
        return stays < 0;
    }
    unsigned char state[kCatalogueRowCount] = {};
    FILE *file = fopen(moving, "rb");
    if (file) {
        fread(state, 1, sizeof state, file);
        fclose(file);
    }
    return PutOldFilesBack(state, result) && RemoveFile(moving);
}

int HasOldWordBase(void)
{
    InstallResult ignored = InstallResult();
    char path[MAX_PATH];
    RecoverCutOffRun(ignored);
    return JoinPath(path, InstallFolderPath, "CiZuFlat.igb", "") && _access(path, 0) == 0
           && HoldsOldWordBase();
}

// ---- files in use ------------------------------------------------------------

// The program holding `path`, as the Restart Manager names it (Vista and
// later; Windows XP has no rstrtmgr.dll). Left empty where it names none.
static void NameHolder(const char *path, char *holder, int size)
{
    typedef DWORD(WINAPI * StartFunction)(DWORD *, DWORD, WCHAR *);
    typedef DWORD(WINAPI * RegisterFunction)(DWORD, UINT, LPCWSTR *, UINT, RM_UNIQUE_PROCESS *, UINT, LPCWSTR *);
    typedef DWORD(WINAPI * ListFunction)(DWORD, UINT *, UINT *, RM_PROCESS_INFO *, DWORD *);
    typedef DWORD(WINAPI * EndFunction)(DWORD);
    StartFunction start = (StartFunction)(void *)SystemFunction("rstrtmgr.dll", "RmStartSession");
    RegisterFunction add = (RegisterFunction)(void *)SystemFunction("rstrtmgr.dll", "RmRegisterResources");
    ListFunction list = (ListFunction)(void *)SystemFunction("rstrtmgr.dll", "RmGetList");
    EndFunction end = (EndFunction)(void *)SystemFunction("rstrtmgr.dll", "RmEndSession");
    WCHAR key[CCH_RM_SESSION_KEY + 1];
    WCHAR wide[MAX_PATH];
    DWORD session;
    holder[0] = 0;
    if (!start || !add || !list || !end || !MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH)
        || start(&session, 0, key) != ERROR_SUCCESS)
        return;
    LPCWSTR files[] = { wide };
    RM_PROCESS_INFO found[2];
    UINT needed = 0, count = 2;
    DWORD reasons = 0;
    if (add(session, 1, files, 0, NULL, 0, NULL) == ERROR_SUCCESS
        && list(session, &needed, &count, found, &reasons) == ERROR_SUCCESS && count) {
        // Whole characters only: a name that does not fit loses its last ones.
        int n = 0;
        while (n < CCH_RM_MAX_APP_NAME && found[0].strAppName[n])
            n++;
        for (; n > 0; n--) {
            int bytes = WideCharToMultiByte(CP_ACP, 0, found[0].strAppName, n, holder, size - 1, NULL, NULL);
            if (bytes > 0) {
                holder[bytes] = 0;
                break;
            }
        }
    }
    end(session);
}

// Why `path` could not be replaced now: opened shared with nobody, it tells
// whether any program holds it open, locked or mapped; opened for writing,
// also whether one runs from it (Windows lets a running program's file be
// read, and renamed, but not written). Nothing is written; a read-only mark
// is lifted for the moment of the test. A link is tested, not what it names.
static PayloadResult HeldState(const char *path)
{
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    for (;;) {
        HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        DWORD error = GetLastError();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesA(path, attributes);
        else if (file == INVALID_HANDLE_VALUE && error == ERROR_ACCESS_DENIED
                 && ((attributes = GetFileAttributesA(path)) & FILE_ATTRIBUTE_READONLY)
                 && attributes != INVALID_FILE_ATTRIBUTES
                 && SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY))
            continue;
        if (file != INVALID_HANDLE_VALUE || error == ERROR_FILE_NOT_FOUND)
            return kPayloadWritten;
        return PayloadResultOfError(error);
    }
}

static void NoteFailure(InstallResult &result, const char *path, const char *name, PayloadResult why)
{
    NoteOutcome(result.failure, name, why);
    if (why == kPayloadInUse)
        NameHolder(path, result.holder, sizeof result.holder);
}

// One look at every file the run would replace or remove, before anything
// changes. Held files always end it (1). With `state`, so do others that
// cannot be replaced (access denied, say) at a required row, while at an
// optional row the old file is kept and the row marked kRowKept.
static int CheckFolder(InstallResult &result, unsigned char *state)
{
    char path[MAX_PATH];
    int runNames = HasRunNames();
    for (int i = 0; i < kCatalogueRowCount; i++) {
        const CatalogueRow &row = PayloadCatalogue[i];
        RowNames names;
        if ((KeepOldWordBase && row.oldBaseSkip) || !NamesOf(row, names))
            continue;
        // An old copy still set aside by an earlier run would block its move.
        const char *tested = names.path;
        PayloadResult why = HeldState(tested);
        if (why == kPayloadWritten && runNames)
            why = HeldState(tested = names.aside);
        if (why == kPayloadWritten || (why != kPayloadInUse && !state))
            continue;
        if (why == kPayloadInUse || row.required || row.oldBaseSkip) {
            NoteFailure(result, tested, row.fileName, why);
            return 1;
        }
        state[i] = kRowKept;
        NoteOutcome(result.skipped, row.fileName, why);
    }
    // A numbered copy is named by its dictionary: to the user they are one.
    for (int i = 0; i < kVariantCount; i++) {
        if (VariantPath(i, path) && HeldState(path) == kPayloadInUse) {
            NoteFailure(result, path, kDictionaries[i & 3], kPayloadInUse);
            return 1;
        }
    }
    return 0;
}

int FindFileInUse(InstallResult &result)
{
    result = InstallResult();
    return CheckFolder(result, NULL);
}

// ---- the run -------------------------------------------------------------------

// Each new file under its temporary name: created new, so never written
// through a name or a link that stands there, and on the NT platform with
// its final list from the start, so that no other user can open it for
// writing before the list is set.
static PayloadResult StageRow(const CatalogueRow &row, const RowNames &names, DWORD existing,
                              unsigned char *buffer, PSECURITY_DESCRIPTOR list)
{
    unsigned long length = 0;
    SECURITY_ATTRIBUTES security = { sizeof security, list, FALSE };
    if (IsRedirectingLink(names.path, existing))
        return kPayloadRedirected;
    if (!InflatePayloadResource(row.resourceId, buffer, kCatalogueCapacity, &length))
        return kPayloadDamaged;
    return WriteWholeFile(names.fresh, buffer, length, CREATE_NEW, &security, row.readOnly, row.hidden);
}

// Stages every row, at the catalogue's progress positions, and records in
// `state` which are to be moved in. 0 at the first required row that fails
// (or a row of the word base, which is replaced whole); optional rows that
// fail are skipped, their old files kept.
static int StageCatalogue(HWND bar, unsigned char *buffer, unsigned char *state, InstallResult &result)
{
    // The files the programs keep learning into while a standard user types
    // are exactly those the catalogue leaves writable; programs are
    // read-only. Windows 9x and NT 4 keep no such lists.
    PSECURITY_DESCRIPTOR lists[2] = { MakeSecurityDescriptor(kUserWritableFileSecurity),
                                      MakeSecurityDescriptor(kInstalledFileSecurity) };
    int staged = !NtFiveOrLater || (lists[0] && lists[1]);
    if (!staged)
        NoteOutcome(result.failure, NULL, kPayloadFailed);
    for (int i = 0; i < kCatalogueRowCount && staged; i++) {
        const CatalogueRow &row = PayloadCatalogue[i];
        if (row.position)
            SetProgress(bar, row.position);
        if ((KeepOldWordBase && row.oldBaseSkip) || state[i] == kRowKept) {
            state[i] = kRowUntouched;
            continue;
        }
        RowNames names;
        DWORD existing = INVALID_FILE_ATTRIBUTES;
        PayloadResult written = kPayloadFailed;
        if (NamesOf(row, names)) {
            existing = GetFileAttributesA(names.path);
            written = StageRow(row, names, existing, buffer, lists[row.readOnly != 0]);
        }
        if (written == kPayloadWritten) {
            state[i] = existing != INVALID_FILE_ATTRIBUTES ? kRowReplaced : kRowAdded;
            continue;
        }
        // A full disk or a vanished folder fails every later row as well:
        // reporting success would hide the missing files.
        if (row.required || row.oldBaseSkip || written == kPayloadDiskFull || written == kPayloadFolderGone) {
            NoteOutcome(result.failure, row.fileName, written);
            staged = 0;
        } else {
            NoteOutcome(result.skipped, row.fileName, written);
        }
    }
    LocalFree(lists[0]);
    LocalFree(lists[1]);
    return staged;
}

// Each staged row moved in, its old file aside; 0, with the file and why,
// at the first move that fails.
static int MoveCatalogueIn(const unsigned char *state, InstallResult &result)
{
    for (int i = 0; i < kCatalogueRowCount; i++) {
        RowNames names;
        if (state[i] == kRowUntouched || !NamesOf(PayloadCatalogue[i], names))
            continue;
        if ((state[i] == kRowReplaced && !MoveFileA(names.path, names.aside)) || !MoveFileA(names.fresh, names.path)) {
            NoteOutcome(result.failure, PayloadCatalogue[i].fileName, PayloadResultOfError(GetLastError()));
            return 0;
        }
    }
    return 1;
}

static int ReplaceCatalogue(HWND bar, unsigned char *buffer, unsigned char *state, InstallResult &result)
{
    char moving[MAX_PATH], committed[MAX_PATH];
    if (!JoinPath(moving, InstallFolderPath, kMovingName, "")
        || !JoinPath(committed, InstallFolderPath, kCommittedName, "")) {
        NoteOutcome(result.failure, NULL, kPayloadFailed);
        return 0;
    }
    int replaced = StageCatalogue(bar, buffer, state, result);
    if (replaced) {
        PayloadResult marked = WriteWholeFile(moving, state, kCatalogueRowCount, CREATE_NEW, NULL, 0, 0);
        if (marked != kPayloadWritten)
            NoteOutcome(result.failure, NULL, marked);
        replaced = marked == kPayloadWritten && MoveCatalogueIn(state, result);
        if (replaced && !MoveFileA(moving, committed)) {
            NoteOutcome(result.failure, NULL, PayloadResultOfError(GetLastError()));
            replaced = 0;
        }
    }
    if (!replaced) {
        if (PutOldFilesBack(state, result))
            RemoveFile(moving);
        return 0;
    }
    DeleteOldFiles(committed);
    return 1;
}

static void CreateShortcuts(HWND bar)
{
    const ShortcutSpec group[] = {
        { ProductName(kEditor), "LKOEdit.exe" },
        { ProductName(kEditorUninstaller), "LKOEditUnInstall.exe" },
        { NULL, NULL },
    };
    CreateStartMenuGroup(ProductName(kEditor), group, CSIDL_PROGRAMS);

    SetProgress(bar, 94);
    if (DesktopIconChoice) {
        CreateDesktopShortcut("Tavelorn.exe", ProductName(kNotesEditor));
        CreateDesktopShortcut("LKOEdit.exe", ProductName(kEditor));
    }
}

InstallResult RunInstallSequence(void)
{
    InstallResult result = InstallResult();
    unsigned char state[kCatalogueRowCount] = {};
    unsigned char *buffer = NULL;
    HWND bar = GetDlgItem(WizardWindow, IDC_PROGRESS);
    // Also for a caller that did not look: nothing is written while a file
    // is held, and nothing before a cut-off run is made whole.
    if (!RecoverCutOffRun(result)) {
        NoteOutcome(result.failure, NULL, kPayloadFailed);
    } else if (!CheckFolder(result, state)) {
        buffer = (unsigned char *)malloc(kCatalogueCapacity);
        if (!buffer)
            NoteOutcome(result.failure, NULL, kPayloadNoMemory);
    }
    if (buffer) {
        ShowWindow(bar, SW_SHOW);
        SetProgress(bar, 10);
        result.succeeded = ReplaceCatalogue(bar, buffer, state, result);
        free(buffer);
    }
    if (result.succeeded) {
        SetProgress(bar, 90);
        UpdateConfigFile();
        CreateShortcuts(bar);
        SetProgress(bar, 97);
        SetProgress(bar, 100);
        // Document classes point at the installed editor: only after success.
        if (DocumentRegistration)
            RegisterDocumentClasses();
        WriteUninstallEntry(ProductName(kEditor));
    }
    return result;
}

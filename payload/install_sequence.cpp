// The install sequence: the whole product into the installation folder in
// one blocking call, with the progress bar of the wizard as its only sign of
// life, then the configuration update, the shortcuts and, where the system
// has them, the document classes.

#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "payload/catalogue.h"
#include "payload/payload.h"
#include "resources/ids.h"
#include "shell/shell.h"
#include "wizard/wizard.h"

int KeepOldWordBase;
PayloadOutcome InstallFailure;
PayloadOutcome SkippedFiles;

static const char kWordBaseQuestionChinese[] = "安装目录有老词库。是否安装新词库(会冲掉老词库)?";
static const char kWordBaseQuestionEnglish[] =
    "Old CiKu (Word Base) is detected. Replace it with new CiKu?";

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
        // server. Replacing it unasked would overwrite the user's word base
        // (CiZuFlat.igb comes first) before the index itself fails to write.
        return _access(path, 0) == 0;
    }
    int first = fgetc(file);
    fclose(file);
    return first != EOF && (first & 0x80) != 0;
}

static void ProbeWordBase(void)
{
    char path[MAX_PATH];
    KeepOldWordBase = 0;
    if (!JoinPath(path, InstallFolderPath, "CiZuFlat.igb", "") || _access(path, 0) != 0)
        return;
    if (HoldsOldWordBase()
        && BilingualMessageBox(kWordBaseQuestionChinese, kWordBaseQuestionEnglish, kBoxYesNo, WizardWindow)
            != IDYES)
        KeepOldWordBase = 1;
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

void DeleteInstalledFile(const char *path)
{
    ClearFileAttributes(path, 1, 1);
    remove(path);
}

// Earlier versions left numbered variants of four dictionaries beside the
// originals; the programs would pick them up instead of the new ones.
static void DeleteDictionaryVariants(void)
{
    static const char *const kDictionaries[] = {
        "pykeys.dic", "Gbkflat.dic", "flatAuto.dic", "flatAdjust.dic",
    };
    for (int count = 0; count < 16; count++) {
        char suffix[8] = "";
        if (count)
            FormatText(suffix, sizeof suffix, "%1d%1d%1d%1d", (count >> 3) & 1, (count >> 2) & 1,
                       (count >> 1) & 1, count & 1);
        for (const char *dictionary : kDictionaries) {
            char path[MAX_PATH];
            if (JoinPath(path, InstallFolderPath, dictionary, suffix))
                DeleteInstalledFile(path);
        }
    }
}

static void NoteOutcome(PayloadOutcome &outcome, const char *fileName, PayloadResult result)
{
    if (!outcome.count++) {
        outcome.fileName = fileName;
        outcome.result = result;
    }
}

// The four files of the word base only work together, and the old ones are
// the user's words: they are replaced as a set or not at all. The new files
// are written beside the old ones under names of their own, then each old
// file is moved aside and its new one moved in; a step that fails puts the
// old ones back. Renaming needs no room on the disk and never cuts a file.
enum { kWordBaseFileCount = 4 };
static const char kNewSuffix[] = ".lunkonew";
static const char kAsideSuffix[] = ".lunkoold";

struct WordBaseFile {
    const CatalogueRow *row;
    char path[MAX_PATH];
    char fresh[MAX_PATH];       // the new file until it is moved in
    char aside[MAX_PATH];       // the old file while the new one goes in
    int oldAside;
    int newIn;
};
static WordBaseFile wordBase[kWordBaseFileCount];
static int wordBaseFiles;

// Why `path` could not be moved aside now, or kPayloadWritten when it can
// (or is absent). Opened shared with nobody, it tells whether any other
// program holds it in any way: the pinyin server keeps its index open and
// mapped, and a mapped file can be neither cut nor written in place. The
// read-only mark does not matter to a rename.
static PayloadResult WordBaseFileState(const char *path)
{
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? kPayloadWritten : PayloadResultOfError(error);
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return PayloadResultOfError(GetLastError());
    CloseHandle(file);
    return kPayloadWritten;
}

// Decided before the run writes or deletes anything: 0, with the file and
// why in InstallFailure, when a file of the word base cannot be replaced.
static int WordBaseCanBeReplaced(void)
{
    wordBaseFiles = 0;
    for (const CatalogueRow &row : PayloadCatalogue) {
        if (!row.oldBaseSkip || wordBaseFiles == kWordBaseFileCount)
            continue;
        WordBaseFile &file = wordBase[wordBaseFiles++];
        file.row = &row;
        file.oldAside = file.newIn = 0;
        PayloadResult state = kPayloadFailed;
        if (JoinPath(file.path, InstallFolderPath, row.fileName, "")
            && JoinPath(file.fresh, InstallFolderPath, row.fileName, kNewSuffix)
            && JoinPath(file.aside, InstallFolderPath, row.fileName, kAsideSuffix))
            state = WordBaseFileState(file.path);
        if (state != kPayloadWritten) {
            NoteOutcome(InstallFailure, row.fileName, state);
            return 0;
        }
    }
    return 1;
}

static int MoveWordBaseFile(const char *from, const char *to, const CatalogueRow *row)
{
    if (MoveFileA(from, to))
        return 1;
    NoteOutcome(InstallFailure, row->fileName, PayloadResultOfError(GetLastError()));
    return 0;
}

static int ReplaceWordBase(unsigned char *buffer)
{
    int result = 1;
    for (int i = 0; i < wordBaseFiles && result; i++) {
        WordBaseFile &file = wordBase[i];
        // Left by a run that was cut off: the names are ours, never a user's.
        DeleteInstalledFile(file.fresh);
        DeleteInstalledFile(file.aside);
        PayloadEntry entry = { file.row->resourceId, file.row->fileName, buffer, kCatalogueCapacity,
                               file.row->readOnly, file.row->hidden, file.fresh };
        PayloadResult written = ExtractPayload(entry);
        if (written != kPayloadWritten) {
            NoteOutcome(InstallFailure, file.row->fileName, written);
            result = 0;
        }
    }
    for (int i = 0; i < wordBaseFiles && result; i++) {
        WordBaseFile &file = wordBase[i];
        file.oldAside = GetFileAttributesA(file.path) != INVALID_FILE_ATTRIBUTES;
        if (file.oldAside && !MoveWordBaseFile(file.path, file.aside, file.row)) {
            file.oldAside = 0;
            result = 0;
        } else {
            result = file.newIn = MoveWordBaseFile(file.fresh, file.path, file.row);
        }
    }
    for (int i = 0; i < wordBaseFiles && !result; i++) {
        WordBaseFile &file = wordBase[i];
        if (file.newIn)
            MoveFileA(file.path, file.fresh);
        if (file.oldAside)
            MoveFileA(file.aside, file.path);
    }
    // Whichever base stays, nothing of the other is left behind. An old file
    // still mapped by a program that has closed it can be renamed but not
    // yet deleted; the next run removes it.
    for (int i = 0; i < wordBaseFiles; i++)
        DeleteInstalledFile(result ? wordBase[i].aside : wordBase[i].fresh);
    return result;
}

// Returns 0 at the first required row that fails, with the file and why in
// InstallFailure; optional rows that fail are skipped and noted in
// SkippedFiles. The word base is replaced whole at its first row.
static int ExtractCatalogue(HWND bar, unsigned char *buffer)
{
    int wordBaseDone = KeepOldWordBase;
    for (const CatalogueRow &row : PayloadCatalogue) {
        if (row.position)
            SetProgress(bar, row.position);
        if (row.oldBaseSkip) {
            if (!wordBaseDone++ && !ReplaceWordBase(buffer))
                return 0;
            continue;
        }
        PayloadEntry entry = { row.resourceId, row.fileName, buffer, kCatalogueCapacity,
                               row.readOnly, row.hidden, NULL };
        PayloadResult result = ExtractPayload(entry);
        if (result == kPayloadWritten)
            continue;
        // A full disk or a vanished folder fails every later row as well:
        // reporting success would hide the missing files.
        if (row.required || result == kPayloadDiskFull || result == kPayloadFolderGone) {
            NoteOutcome(InstallFailure, row.fileName, result);
            return 0;
        }
        NoteOutcome(SkippedFiles, row.fileName, result);
    }
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

int RunInstallSequence(void)
{
    unsigned char *buffer = (unsigned char *)malloc(kCatalogueCapacity);
    if (!buffer) {
        BilingualMessageBox(kMemoryNoticeChinese, kMemoryNoticeEnglish, kBoxOk, WizardWindow);
        return 0;
    }

    HWND bar = GetDlgItem(WizardWindow, IDC_PROGRESS);
    ShowWindow(bar, SW_SHOW);
    SetProgress(bar, 10);
    InstallFailure = PayloadOutcome();
    SkippedFiles = PayloadOutcome();
    ProbeWordBase();
    // A base that cannot be replaced stops the run before anything changes.
    int result = KeepOldWordBase || WordBaseCanBeReplaced();
    if (result) {
        DeleteDictionaryVariants();
        result = ExtractCatalogue(bar, buffer);
    }
    if (result) {
        SecureInstalledFiles();
        SetProgress(bar, 90);
        UpdateConfigFile();
        CreateShortcuts(bar);
        SetProgress(bar, 97);
        SetProgress(bar, 100);
    }

    free(buffer);
    // Document classes point at the installed editor: only after success.
    if (result && DocumentRegistration)
        RegisterDocumentClasses();
    if (result) WriteUninstallEntry(ProductName(kEditor));
    return result;
}

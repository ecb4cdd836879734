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

// Whether the write of the catalogue could replace the file: it is absent,
// or it opens for writing as the write opens it (sharing reading and
// writing), without being truncated. A read-only mark does not count, the
// write clears it; it is cleared for the test and put back.
static int CanReplaceFile(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, attributes);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

// The four files of the word base only work together, and the old ones are
// the user's words: a new CiZuFlat.igb beside an index the pinyin server
// holds open would leave neither base. So none of them is replaced unless
// every one can be.
static int CanReplaceWordBase(void)
{
    for (const CatalogueRow &row : PayloadCatalogue) {
        char path[MAX_PATH];
        if (row.oldBaseSkip
            && (!JoinPath(path, InstallFolderPath, row.fileName, "") || !CanReplaceFile(path)))
            return 0;
    }
    return 1;
}

// Returns 0 at the first required row that fails; a word base that cannot
// be replaced whole fails at its first row, CiZuFlat.igb, which is required.
// An optional row whose write broke off after the file was opened counts as
// required: the disk is full or failing, and reporting success would hide a
// missing file.
static int ExtractCatalogue(HWND bar, unsigned char *buffer)
{
    int wordBaseChecked = 0;
    for (const CatalogueRow &row : PayloadCatalogue) {
        if (row.position)
            SetProgress(bar, row.position);
        if (row.oldBaseSkip && KeepOldWordBase)
            continue;
        if (row.oldBaseSkip && !wordBaseChecked++ && !CanReplaceWordBase())
            return 0;
        PayloadEntry entry = { row.resourceId, row.fileName, buffer, kCatalogueCapacity,
                               row.readOnly, row.hidden, NULL };
        PayloadWriteBrokeOff = 0;
        if (!ExtractPayload(entry) && (row.required || PayloadWriteBrokeOff))
            return 0;
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
    ProbeWordBase();
    DeleteDictionaryVariants();

    int result = ExtractCatalogue(bar, buffer);
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
    return result;
}

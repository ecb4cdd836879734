// The wizard dialog: set-up, drawing requests and commands.

#include <stdio.h>

#include "render/render.h"
#include "resources/ids.h"
#include "shell/shell.h"
#include "wizard/wizard.h"

char InstallFolderPath[MAX_PATH];
int ChineseDisplayAnswer;
int DesktopIconChoice;
WNDPROC SavedButtonProc;

static char windowsFolderPath[MAX_PATH];
static int agreementTextsLoaded;

enum {
    kPageControlCapacity = 16,
    kListItemHeight = 23,       // pixels at 96 DPI
    kComboFieldMargin = 3,      // above and below the glyphs in the closed field, at 96 DPI
};

// The controls of each page, shown together; a page whose first id is 0
// ends the table.
static const int PageControlTable[][kPageControlCapacity] = {
    { IDC_DESKTOP_ICON, IDC_FOLDER_EDIT, IDC_FOLDER_LABEL, IDC_BROWSE, 0 },
    { IDC_DISPLAY_FRAME, IDC_DISPLAY_QUESTION, IDC_DISPLAY_SAMPLE, IDC_DISPLAY_OK, IDC_DISPLAY_NO, 0 },
    { IDC_SHOW_ENGLISH, IDC_AGREEMENT_ZH, IDC_AGREEMENT_EN, 0 },
    { IDC_LANGUAGE_LABEL, IDC_LANGUAGE_COMBO, 0 },
    { 0 },
};

static const char kNoAnswerChinese[] = "请您回答提问.";
static const char kNoAnswerEnglish[] = "Please select a choice.";

struct LanguageChoice {
    UiLanguage value;
    const char *text;
};

static const LanguageChoice kLanguageChoices[] = {
    { 0, "English 英文" },
    { 1, "Chinese(Simplified)  中文简体" },
    { 2, "Chinese(Traditional) 中文繁体" },
};

static void ReadWindowsFolder(void)
{
    UINT length = GetWindowsDirectoryA(windowsFolderPath, sizeof windowsFolderPath);
    if (length == 0 || length >= sizeof windowsFolderPath) {
        lstrcpyA(windowsFolderPath, "C:\\");
        return;
    }
    if (windowsFolderPath[length - 1] != '\\' && length + 1 < sizeof windowsFolderPath)
        lstrcpyA(windowsFolderPath + length, "\\");
}

void DefaultInstallFolder(char *folder)
{
    ReadWindowsFolder();
    FormatText(folder, MAX_PATH, "%c:\\Lunko", windowsFolderPath[0]);
}

const char *LanguageChoiceText(UiLanguage value)
{
    for (const LanguageChoice &choice : kLanguageChoices)
        if (choice.value == value)
            return choice.text;
    return NULL;
}

static void FillLanguageCombo(HWND combo)
{
    // The current choice goes first and is selected; the rest keep list
    // order. The entries are kept as a screen reader reads them (UTF-16
    // where windows are Unicode); the drawing finds their bytes by the
    // language in the item data.
    for (const LanguageChoice &choice : kLanguageChoices) {
        int position = choice.value == ChosenLanguage
            ? (int)SendLabelText(combo, CB_INSERTSTRING, 0, choice.text)
            : (int)SendLabelText(combo, CB_ADDSTRING, 0, choice.text);
        if (position >= 0)
            SendMessageA(combo, CB_SETITEMDATA, (WPARAM)position, (LPARAM)choice.value);
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

static void SubclassCheckBox(HWND dialog, int id)
{
    HWND box = GetDlgItem(dialog, id);
    if (!box)
        return;
    NameControlByLabel(box, CheckBoxLabelText(id));
    InstallCheckBoxProc(box);
}

// The owner-drawn controls whose label is fixed by their id; 1001 is named
// again with every page, as its label follows the page.
static const int kLabelledControls[] = {
    IDC_BACK, IDC_NEXT, IDCANCEL, IDC_BROWSE, IDC_FOLDER_LABEL, IDC_PANEL_BRAND,
    IDC_PANEL_PRODUCT, IDC_PANEL_INSTALLER, IDC_DISPLAY_QUESTION, IDC_DISPLAY_SAMPLE,
    IDC_LANGUAGE_LABEL,
};

static void NameLabelledControls(HWND dialog)
{
    for (int id : kLabelledControls)
        NameControlByLabel(GetDlgItem(dialog, id), ButtonLabelText(id));
    // Screen readers name an edit box after the static text before it, and
    // the folder box's visible label is a button: a hidden static before
    // the box carries the label's text for them.
    NameControlByLabel(GetDlgItem(dialog, IDC_FOLDER_NAME), ButtonLabelText(IDC_FOLDER_LABEL));
}

static BOOL OnInitDialog(HWND dialog)
{
    SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)WizardIcon);
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, (LPARAM)WizardIcon);

    char folder[MAX_PATH];
    DefaultInstallFolder(folder);
    SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, folder);

    CheckDlgButton(dialog, IDC_DESKTOP_ICON, BST_CHECKED);
    HWND back = GetDlgItem(dialog, IDC_BACK);
    ShowWindow(back, SW_HIDE);
    EnableWindow(back, FALSE);

    HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_COMBO);
    FillLanguageCombo(combo);
    // Windows takes the closed field's height from the item measure, Wine
    // from the dialog font, which leaves too few rows for a glyph. Raised no
    // higher than a glyph needs: Wine's Chinese systems give small dialog
    // units, and a field as high as the items reaches into the label below.
    // Wine draws the field's item somewhat shorter than that height (at 96
    // DPI a margin of 2 let the focus line cross the glyphs' bottom row).
    int field = kGlyphSize * GlyphScale + 2 * ScaledPixels(kComboFieldMargin);
    if (SendMessageA(combo, CB_GETITEMHEIGHT, (WPARAM)-1, 0) < field)
        SendMessageA(combo, CB_SETITEMHEIGHT, (WPARAM)-1, field);
    NameLabelledControls(dialog);

    SubclassCheckBox(dialog, IDC_DESKTOP_ICON);
    SubclassCheckBox(dialog, IDC_DISPLAY_OK);
    SubclassCheckBox(dialog, IDC_DISPLAY_NO);
    return TRUE;
}

static BOOL OnDrawItem(HWND dialog, const DRAWITEMSTRUCT *item)
{
    // An item's string is kept in UTF-16 for screen readers and would come
    // back through the system code page, which is not GBK everywhere; so
    // each item leads to its own bytes: an agreement line carries them in
    // its item data, a combo entry is the interface language its item data
    // names.
    if (item->CtlID == IDC_LANGUAGE_COMBO)
        DrawOwnerListItem((int)item->CtlID, 1, item, dialog,
                          LanguageChoiceText((UiLanguage)item->itemData));
    else if (item->CtlID == IDC_AGREEMENT_ZH)
        DrawOwnerListItem((int)item->CtlID, 0, item, dialog,
                          item->itemData != (ULONG_PTR)LB_ERR ? (const char *)item->itemData : NULL);
    else
        DrawOwnerButton(item, dialog);
    return TRUE;
}

static BOOL OnMeasureItem(MEASUREITEMSTRUCT *item)
{
    if (item->CtlID != IDC_AGREEMENT_ZH && item->CtlID != IDC_LANGUAGE_COMBO)
        return FALSE;
    item->itemHeight = ScaledPixels(kListItemHeight);
    item->itemWidth = 1024;
    return TRUE;
}

// The standard button procedure paints its own look straight away when a
// box is clicked or gains the focus; a repaint puts the bilingual one back.
static void RepaintControl(HWND dialog, int id)
{
    InvalidateRect(GetDlgItem(dialog, id), NULL, FALSE);
}

// The two answers of the display test exclude each other.
static void OnDisplayAnswer(HWND dialog, int id)
{
    int other = id == IDC_DISPLAY_OK ? IDC_DISPLAY_NO : IDC_DISPLAY_OK;
    if (IsDlgButtonChecked(dialog, id) == BST_CHECKED)
        CheckDlgButton(dialog, other, BST_UNCHECKED);
    RepaintControl(dialog, IDC_DISPLAY_OK);
    RepaintControl(dialog, IDC_DISPLAY_NO);
}

static void ShowControl(HWND dialog, int id, int show)
{
    HWND control = GetDlgItem(dialog, id);
    if (control)
        ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

static int IsAgreementText(int id)
{
    return id == IDC_AGREEMENT_ZH || id == IDC_AGREEMENT_EN;
}

void ShowWizardPage(HWND window, int page)
{
    // The two agreement texts are left to the box 1010 below: shown here
    // with their page, both would flash up before one is hidden again.
    for (int i = 0; PageControlTable[i][0]; i++)
        for (int k = 0; k < kPageControlCapacity && PageControlTable[i][k]; k++)
            if (!IsAgreementText(PageControlTable[i][k]))
                ShowControl(window, PageControlTable[i][k], i == page);

    if (!agreementTextsLoaded && page == 2)
        agreementTextsLoaded = LoadAgreementTexts(window);
    // The text that stays is never hidden on the way: the box's focus
    // notifications show the page again when Tab leaves the box for that
    // text, and hiding the text would take the focus back out of it.
    int english = IsDlgButtonChecked(window, IDC_SHOW_ENGLISH) == BST_CHECKED;
    ShowControl(window, IDC_AGREEMENT_ZH, page == 2 && !english);
    ShowControl(window, IDC_AGREEMENT_EN, page == 2 && english);

    if (WizardPage >= 0 && WizardPage < kPageInstalling) {
        ShowControl(window, IDC_BACK, page != 0);
        EnableWindow(GetDlgItem(window, IDC_BACK), page != 0);
    }
    NameControlByLabel(GetDlgItem(window, IDC_NEXT), ButtonLabelText(IDC_NEXT));
    InvalidateRect(window, NULL, TRUE);
    UpdateWindow(window);
}

static void OnBack(HWND dialog)
{
    // Not while installing: no page lies below that state.
    if (WizardPage > 0 && WizardPage < kPageInstalling) {
        WizardPage--;
        ShowWizardPage(dialog, WizardPage);
    }
}

static void OnNext(HWND dialog)
{
    int page = WizardPage;
    if (page == 0) {
        WizardPage = 1;
        ShowWizardPage(dialog, 1);
        // The display test always opens without an answer.
        CheckDlgButton(dialog, IDC_DISPLAY_OK, BST_UNCHECKED);
        CheckDlgButton(dialog, IDC_DISPLAY_NO, BST_UNCHECKED);
    } else if (page == 1) {
        ChineseDisplayAnswer = IsDlgButtonChecked(dialog, IDC_DISPLAY_OK) == BST_CHECKED;
        if (!ChineseDisplayAnswer && IsDlgButtonChecked(dialog, IDC_DISPLAY_NO) != BST_CHECKED) {
            BilingualMessageBox(kNoAnswerChinese, kNoAnswerEnglish, kBoxOk, WizardWindow);
            return;
        }
        CheckDlgButton(dialog, IDC_SHOW_ENGLISH, BST_CHECKED);
        WizardPage = 2;
        ShowWizardPage(dialog, 2);
    } else if (page == 2) {
        WizardPage = 3;
        ShowWizardPage(dialog, 3);
    } else if (page == 3) {
        // Not again while installing: a command posted meanwhile would run
        // a second installation inside the first.
        ShowWizardPage(dialog, page);
        WizardPage = kPageInstalling;
        RunInstallation(dialog);
    }
}

static void OnBrowse(HWND dialog)
{
    if (ChooseInstallFolder())
        SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, InstallFolderPath);
}

static int IsPushButton(int id)
{
    return id == IDC_BACK || id == IDC_NEXT || id == IDCANCEL || id == IDC_BROWSE;
}

static void OnCommand(HWND dialog, int id, int notification)
{
    // An owner-drawn push button reports a double click after the click it
    // follows; acting on both would skip a page or start the installation
    // before the user saw the last page.
    if (notification == BN_DOUBLECLICKED && IsPushButton(id))
        return;
    switch (id) {
    case IDCANCEL:                      // also Esc and the close box
        WizardPage = kPageQuit;
        break;
    case IDC_BACK:
        OnBack(dialog);
        break;
    case IDC_NEXT:
        OnNext(dialog);
        break;
    case IDC_BROWSE:
        OnBrowse(dialog);
        break;
    case IDC_DESKTOP_ICON:
        RepaintControl(dialog, IDC_DESKTOP_ICON);
        break;
    case IDC_DISPLAY_OK:
    case IDC_DISPLAY_NO:
        OnDisplayAnswer(dialog, id);
        break;
    case IDC_SHOW_ENGLISH:
        // Its focus notifications arrive too, also while page 2 is being
        // left: only on page 2 does the box choose what shows.
        if (WizardPage == 2)
            ShowWizardPage(dialog, 2);
        break;
    }
}

INT_PTR CALLBACK WizardDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_DRAWITEM:
        return OnDrawItem(window, (const DRAWITEMSTRUCT *)lParam);
    case WM_MEASUREITEM:
        return OnMeasureItem((MEASUREITEMSTRUCT *)lParam);
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    }
    return FALSE;
}

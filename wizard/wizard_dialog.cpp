// The wizard dialog: set-up, drawing requests and commands.

#include <stdio.h>

#include "render/render.h"
#include "resources/ids.h"
#include "wizard/wizard.h"

char InstallFolderPath[MAX_PATH];
int ChineseDisplayAnswer;
int DesktopIconChoice;
WNDPROC SavedButtonProc;

static char windowsFolderPath[MAX_PATH];

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

static void FillLanguageCombo(HWND combo)
{
    // The current choice goes first and is selected; the rest keep list order.
    for (const LanguageChoice &choice : kLanguageChoices) {
        int position = choice.value == ChosenLanguage
            ? (int)SendMessageA(combo, CB_INSERTSTRING, 0, (LPARAM)choice.text)
            : (int)SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)choice.text);
        if (position >= 0)
            SendMessageA(combo, CB_SETITEMDATA, (WPARAM)position, (LPARAM)choice.value);
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

static void SubclassCheckBox(HWND dialog, int id)
{
    HWND box = GetDlgItem(dialog, id);
    if (box)
        SavedButtonProc = (WNDPROC)SetWindowLongA(box, GWL_WNDPROC, (LONG)CheckBoxSubclassProc);
}

static BOOL OnInitDialog(HWND dialog)
{
    SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)WizardIcon);
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, (LPARAM)WizardIcon);

    ReadWindowsFolder();
    char folder[MAX_PATH];
    snprintf(folder, sizeof folder, "%c:\\Lunko", windowsFolderPath[0]);
    SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, folder);

    CheckDlgButton(dialog, IDC_DESKTOP_ICON, BST_CHECKED);
    HWND back = GetDlgItem(dialog, IDC_BACK);
    ShowWindow(back, SW_HIDE);
    EnableWindow(back, FALSE);

    FillLanguageCombo(GetDlgItem(dialog, IDC_LANGUAGE_COMBO));

    SubclassCheckBox(dialog, IDC_DESKTOP_ICON);
    SubclassCheckBox(dialog, IDC_DISPLAY_OK);
    SubclassCheckBox(dialog, IDC_DISPLAY_NO);
    return TRUE;
}

static BOOL OnDrawItem(HWND dialog, const DRAWITEMSTRUCT *item)
{
    if (item->CtlID == IDC_AGREEMENT_ZH || item->CtlID == IDC_LANGUAGE_COMBO)
        DrawOwnerListItem((int)item->CtlID, item->CtlID == IDC_LANGUAGE_COMBO, item, dialog);
    else
        DrawOwnerButton(item, dialog);
    return TRUE;
}

static BOOL OnMeasureItem(MEASUREITEMSTRUCT *item)
{
    if (item->CtlID != IDC_AGREEMENT_ZH && item->CtlID != IDC_LANGUAGE_COMBO)
        return FALSE;
    item->itemHeight = 23;
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

static void OnCommand(HWND dialog, int id)
{
    switch (id) {
    case IDCANCEL:                      // also Esc and the close box
        WizardPage = kPageQuit;
        break;
    case IDC_DESKTOP_ICON:
        RepaintControl(dialog, IDC_DESKTOP_ICON);
        break;
    case IDC_DISPLAY_OK:
    case IDC_DISPLAY_NO:
        OnDisplayAnswer(dialog, id);
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
        OnCommand(window, LOWORD(wParam));
        return FALSE;
    }
    return FALSE;
}

// Browse: the platform's old-style open dialog turned into a folder chooser
// by template 168, which hides everything about files, and a hook that takes
// the folder the user moved to when OK is pressed.

#include <string.h>

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include "render/render.h"
#include "resources/ids.h"
#include "shell/system_libraries.h"
#include "wizard/wizard.h"

enum {
    kStatedCapacity = 128,
};

// The template's caption. Without a title in the request the old-style
// dialog replaces the template's caption with its default ("Open File"),
// on Windows as under Wine, so the caption is passed again as the title.
static const char kChooserTitle[] = "Choose Destination Directory";

// The old-style dialog makes each folder the user opens the current
// directory, so the folder is read here, before the dialog ends: whether
// it puts the previous one back when it closes is not to be relied on
// (Wine leaves the last one; Windows calls OFN_NOCHANGEDIR ineffective for
// the open dialog).
static BOOL TakeCurrentFolder(HWND window)
{
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return FALSE;                   // the dialog handles OK its own way
    // A root comes with a backslash ("C:\"); the folder box takes "C:".
    char *last = NULL;
    for (char *p = folder; *p; p++) {
        last = p;
        if (IsDBCSLeadByte((BYTE)*p) && p[1])
            p++;
    }
    if (last && *last == '\\')
        *last = 0;
    lstrcpynA(InstallFolderPath, folder, MAX_PATH);
    EndDialog(window, 1);
    return TRUE;
}

UINT_PTR CALLBACK FolderChooserHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        // Cancel wears the bilingual label, so it is drawn here.
        HWND cancel = GetDlgItem(window, IDCANCEL);
        SetWindowLongA(cancel, GWL_STYLE, GetWindowLongA(cancel, GWL_STYLE) | BS_OWNERDRAW);
        // What a screen reader announces is the window text, not the drawing.
        NameControlByLabel(cancel, ButtonLabelText(IDCANCEL));
        NameControlByLabel(GetDlgItem(window, IDC_CHOOSER_DIRS_LABEL),
                           ButtonLabelText(IDC_CHOOSER_DIRS_LABEL));
        NameControlByLabel(GetDlgItem(window, IDC_CHOOSER_DRIVES_LABEL),
                           ButtonLabelText(IDC_CHOOSER_DRIVES_LABEL));
        SetFocus(GetDlgItem(window, lst2));
        return TRUE;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *item = (const DRAWITEMSTRUCT *)lParam;
        if (item->CtlID != IDC_CHOOSER_DIRS_LABEL && item->CtlID != IDC_CHOOSER_DRIVES_LABEL
            && item->CtlID != IDCANCEL)
            return FALSE;               // the lists are the dialog's own
        DrawOwnerButton(item, window);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            return TakeCurrentFolder(window);
        return FALSE;
    }
    return FALSE;
}

int ChooseInstallFolder(void)
{
    char file[MAX_PATH] = "";
    OPENFILENAMEA request;
    ZeroMemory(&request, sizeof request);
    // The request without the later extension fields, which the oldest
    // systems refuse.
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = WizardWindow;
    request.lpstrFile = file;
    request.nMaxFile = kStatedCapacity;
    request.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE
                  | OFN_PATHMUSTEXIST;
    request.lpstrTitle = kChooserTitle;
    request.lpfnHook = FolderChooserHook;
    request.lpTemplateName = MAKEINTRESOURCEA(IDD_FOLDER_CHOOSER);
    return SystemGetOpenFileName(&request) != 0;   // COMDLG32 from System32, at run time
}

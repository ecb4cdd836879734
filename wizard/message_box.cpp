// Placeholder until the bilingual message box is built.
#include "wizard/wizard.h"

int BilingualMessageBox(const char *chinese, const char *english, int type, HWND owner)
{
    (void)chinese; (void)english; (void)type; (void)owner;
    return -1;
}

INT_PTR CALLBACK MessageBoxDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

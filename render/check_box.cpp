// Placeholder until owner drawing is built.
#include "render/render.h"
#include "wizard/wizard.h"

LRESULT CALLBACK CheckBoxSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(SavedButtonProc, window, message, wParam, lParam);
}

void PaintCheckBox(HWND, HDC) {}

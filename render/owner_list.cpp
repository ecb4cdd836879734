// Placeholder until owner drawing is built.
#include "render/render.h"

void DrawOwnerListItem(int, int, const DRAWITEMSTRUCT *, HWND) {}

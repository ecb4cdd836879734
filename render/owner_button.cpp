// Placeholder until owner drawing is built.
#include "render/render.h"

void DrawOwnerButton(const DRAWITEMSTRUCT *, HWND) {}

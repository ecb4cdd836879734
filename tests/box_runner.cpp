// Shows the message boxes of box_cases.h one after another, owned by a small
// window whose caption reports each result and whether the owner was enabled
// again ("Box runner <case> <result> <enabled>"), so that one process serves
// the whole message-box test. It ends when the test closes the owner.

#include <stdio.h>

#include <vector>

#include "render/render.h"
#include "tests/box_cases.h"
#include "tests/driver/driver.h"
#include "wizard/wizard.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    ModuleInstance = instance;
    std::vector<unsigned char> sheets = ReadWholeFile(PayloadFilePath("ChnBmp.bin"));
    if (sheets.size() != (size_t)kGlyphSheetsBytes || !LoadGlyphSheets(sheets.data()))
        return 2;

    HWND owner = CreateWindowA("STATIC", kBoxRunnerCaption, WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE,
                               0, 0, 240, 80, NULL, NULL, instance, NULL);
    if (!owner)
        return 3;
    // The driver takes a window as ready once it has a control.
    CreateWindowA("STATIC", "Owner of the boxes", WS_CHILD | WS_VISIBLE, 4, 4, 200, 20, owner, NULL,
                  instance, NULL);

    int index = 0;
    for (const BoxCase &box : kBoxCases) {
        int result = BilingualMessageBox(box.chinese, box.english, box.type, owner);
        char caption[64];
        snprintf(caption, sizeof caption, "%s %d %d %d", kBoxRunnerCaption, index++, result,
                 IsWindowEnabled(owner) ? 1 : 0);
        SetWindowTextA(owner, caption);
    }

    // The last caption must stay readable until the test has seen it.
    DWORD start = GetTickCount();
    while (IsWindow(owner) && GetTickCount() - start < 60000) {
        MSG msg;
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        else
            MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
    }
    if (IsWindow(owner))
        DestroyWindow(owner);
    ReleaseGlyphSheets();
    return 0;
}

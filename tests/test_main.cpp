// Shared entry point of the test programs: GoogleTest, with output unbuffered
// so that a test killed by its time-out still shows how far it got.
#include <stdio.h>
#include <stdlib.h>

#include <windows.h>

#include <gtest/gtest.h>

// The installer writes the shortcuts for the user at the desk, the owner of
// the shell's window, and Wine runs no shell here: each test program stands
// in for it with a hidden window, unless the run has no one at the desk.
static void StandInForTheShell(void)
{
    typedef BOOL(WINAPI * SetShellWindowFunction)(HWND);
    SetShellWindowFunction setShell =
        (SetShellWindowFunction)(void *)GetProcAddress(GetModuleHandleA("user32.dll"), "SetShellWindow");
    const char *noShell = getenv("LUNKO_NO_SHELL");
    if (setShell && !(noShell && *noShell))
        setShell(CreateWindowExA(0, "STATIC", "shell", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL));
}

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    StandInForTheShell();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The driver as a command for scripts:
//   driver capture "<window caption>" <png path> [--close]
// waits for a visible window with that caption, saves a picture of it and,
// with --close, closes it as the close box would.

#include <stdio.h>
#include <string.h>

#include "tests/driver/driver.h"

int main(int argc, char **argv)
{
    if (argc < 4 || strcmp(argv[1], "capture") != 0) {
        fprintf(stderr, "usage: driver capture \"<caption>\" <png path> [--close]\n");
        return 2;
    }
    HWND window = WaitForWindow(argv[2], 0, 120000);
    if (!window) {
        fprintf(stderr, "driver: no window \"%s\" appeared\n", argv[2]);
        return 1;
    }
    Image image;
    int result = 0;
    if (!CaptureWindow(window, &image) || !SavePng(image, DosPath(argv[3]))) {
        fprintf(stderr, "driver: could not save %s\n", argv[3]);
        result = 1;
    }
    if (argc > 4 && strcmp(argv[4], "--close") == 0)
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return result;
}

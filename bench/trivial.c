/* A program that ends at once: what starting any program costs, measured in
 * the same run as the NSIS installs and subtracted from them. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}

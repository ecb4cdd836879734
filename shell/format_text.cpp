// Bounded formatting through the platform's own C runtime.
//
// snprintf would link MinGW's own printf with its floating-point
// conversion (about 20 KB of the program); msvcrt.dll has _vsnprintf on
// every system the installer loads on. It neither terminates a text that
// fills the buffer nor says how long a cut text would have been, so both
// are made up for here.

#include "shell/shell.h"

#include <stdarg.h>
#include <stdio.h>

int FormatTextV(char *out, size_t size, const char *format, va_list arguments)
{
    if (size == 0)
        return 0;
    int written = _vsnprintf(out, size, format, arguments);
    if (written < 0 || (size_t)written >= size) {
        out[size - 1] = 0;
        return (int)size;
    }
    return written;
}

int FormatText(char *out, size_t size, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int written = FormatTextV(out, size, format, arguments);
    va_end(arguments);
    return written;
}

// What a screen reader announces for a control: its window text, read through
// the accessibility interface in UTF-16. The labels are drawn from their GBK
// bytes, so a control is given the same label as its window text, widened
// from code page 936 itself: set through the ANSI calls, the text would pass
// through the system code page and come out as Latin letters or "?" on a
// system whose code page is not GBK.

#include <stdlib.h>

#include "render/render.h"
#include "wizard/wizard.h"

enum {
    kGbkCodePage = 936,
    kNameCapacity = 512,        // a notice's text with a folder path in it
};

// Without GBK the Chinese half of a label cannot be named at all; its
// English half reads alone, without the blanks and slashes that stood
// between Chinese words ("同意/安装 Agree/Install" reads "Agree/Install").
// Written as UTF-16 into `wide` or as bytes into `narrow`, whichever is given.
static int KeepOneByteText(const char *label, WCHAR *wide, char *narrow, int capacity)
{
    int n = 0;
    for (const unsigned char *p = (const unsigned char *)label; *p && n < capacity - 1; p++) {
        if (*p >= 0x80) {
            if (p[1])
                p++;
            continue;
        }
        if (n == 0 && (*p == ' ' || *p == '/'))
            continue;
        if (wide)
            wide[n] = (WCHAR)*p;
        else
            narrow[n] = (char)*p;
        n++;
    }
    while (n > 0 && (wide ? wide[n - 1] : narrow[n - 1]) == ' ')
        n--;
    if (wide)
        wide[n] = 0;
    else
        narrow[n] = 0;
    return n;
}

// The Unicode window calls exist in full on the NT platform only (Windows
// 95, 98 and Me have stubs that do nothing, Win32s lacks them), so they are
// looked up at run time: imported, they would keep the installer from
// loading on the oldest systems.
const UnicodeWindowCalls *UnicodeWindows(void)
{
    static UnicodeWindowCalls calls;
    static int looked;
    if (!looked) {
        looked = 1;
        HMODULE user = GetModuleHandleA("user32.dll");
        if (user) {
            calls.setWindowText = (BOOL(WINAPI *)(HWND, LPCWSTR))(void *)GetProcAddress(user, "SetWindowTextW");
            calls.sendMessage = (LRESULT(WINAPI *)(HWND, UINT, WPARAM, LPARAM))(void *)GetProcAddress(
                user, "SendMessageW");
            calls.setWindowLong = (LONG(WINAPI *)(HWND, int, LONG))(void *)GetProcAddress(user, "SetWindowLongW");
            calls.callWindowProc = (LRESULT(WINAPI *)(WNDPROC, HWND, UINT, WPARAM, LPARAM))(void *)GetProcAddress(
                user, "CallWindowProcW");
            calls.defWindowProc = (LRESULT(WINAPI *)(HWND, UINT, WPARAM, LPARAM))(void *)GetProcAddress(
                user, "DefWindowProcW");
        }
    }
    int complete = calls.setWindowText && calls.sendMessage && calls.setWindowLong && calls.callWindowProc
                && calls.defWindowProc;
    return NtPlatform && complete ? &calls : NULL;
}

int SystemConvertsGbk(void)
{
    return IsValidCodePage(kGbkCodePage);
}

int WidenLabelText(const char *label, int gbk, WCHAR *name, int capacity)
{
    if (!name || capacity < 1)
        return 0;
    name[0] = 0;
    if (!label)
        return 0;
    if (!gbk)
        return KeepOneByteText(label, name, NULL, capacity);
    // A GBK character never widens to more than one UTF-16 unit, so the
    // bytes that fit the capacity convert within it.
    int bytes = (int)WholeCharacterBytes(label, (size_t)capacity - 1);
    int n = bytes ? MultiByteToWideChar(kGbkCodePage, 0, label, bytes, name, capacity - 1) : 0;
    if (n < 0 || n > capacity - 1)
        n = 0;
    name[n] = 0;
    return n;
}

// Without Unicode windows a text is ANSI: the label itself on a GBK system,
// elsewhere its English part, which reads the same in every code page.
// Null when the label serves as it is.
static char *AnsiLabelText(const char *label)
{
    if (GetACP() == kGbkCodePage)
        return NULL;
    int capacity = lstrlenA(label) + 1;
    char *text = (char *)malloc((size_t)capacity);
    if (text)
        KeepOneByteText(label, NULL, text, capacity);
    return text;
}

void NameControlByLabel(HWND control, const char *label)
{
    if (!control || !label)
        return;
    const UnicodeWindowCalls *unicode = UnicodeWindows();
    if (unicode) {
        WCHAR name[kNameCapacity];
        WidenLabelText(label, SystemConvertsGbk(), name, kNameCapacity);
        unicode->setWindowText(control, name);
        return;
    }
    char *text = AnsiLabelText(label);
    SetWindowTextA(control, text ? text : label);
    free(text);
}

LRESULT SendLabelText(HWND control, UINT message, WPARAM wParam, const char *label)
{
    const UnicodeWindowCalls *unicode = UnicodeWindows();
    int capacity = lstrlenA(label) + 1;
    WCHAR *wide = unicode ? (WCHAR *)malloc((size_t)capacity * sizeof(WCHAR)) : NULL;
    LRESULT result;
    if (wide) {
        WidenLabelText(label, SystemConvertsGbk(), wide, capacity);
        result = unicode->sendMessage(control, message, wParam, (LPARAM)wide);
        free(wide);
        return result;
    }
    char *text = unicode ? NULL : AnsiLabelText(label);
    result = SendMessageA(control, message, wParam, (LPARAM)(text ? text : label));
    free(text);
    return result;
}

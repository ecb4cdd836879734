// What a screen reader announces for a control: its window text, read through
// the accessibility interface in UTF-16. The labels are drawn from their GBK
// bytes, so a control is given the same label as its window text, widened
// from code page 936 itself: set through the ANSI calls, the text would pass
// through the system code page and come out as Latin letters or "?" on a
// system whose code page is not GBK.

#include "render/render.h"

enum {
    kGbkCodePage = 936,
    kNameCapacity = 512,        // a notice's text with a folder path in it
};

// Bytes of `text` that make up whole characters within `limit` bytes.
static int WholeCharacterBytes(const char *text, int limit)
{
    int i = 0;
    while (text[i]) {
        int step = (unsigned char)text[i] >= 0x80 && text[i + 1] ? 2 : 1;
        if (i + step > limit)
            break;
        i += step;
    }
    return i;
}

// Without GBK the Chinese half of a label cannot be named at all; its
// English half reads alone, without the blanks and slashes that stood
// between Chinese words ("同意/安装 Agree/Install" reads "Agree/Install").
static int KeepOneByteText(const char *label, WCHAR *name, int capacity)
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
        name[n++] = (WCHAR)*p;
    }
    while (n > 0 && name[n - 1] == ' ')
        n--;
    name[n] = 0;
    return n;
}

int SystemConvertsGbk(void)
{
    return IsValidCodePage(kGbkCodePage) != FALSE;
}

int WidenLabelText(const char *label, int gbk, WCHAR *name, int capacity)
{
    if (!name || capacity < 1)
        return 0;
    name[0] = 0;
    if (!label)
        return 0;
    if (!gbk)
        return KeepOneByteText(label, name, capacity);
    // A GBK character never widens to more than one UTF-16 unit, so the
    // bytes that fit the capacity convert within it.
    int bytes = WholeCharacterBytes(label, capacity - 1);
    int n = bytes ? MultiByteToWideChar(kGbkCodePage, 0, label, bytes, name, capacity - 1) : 0;
    if (n < 0 || n > capacity - 1)
        n = 0;
    name[n] = 0;
    return n;
}

void NameControlByLabel(HWND control, const char *label)
{
    if (!control || !label)
        return;
    WCHAR name[kNameCapacity];
    WidenLabelText(label, SystemConvertsGbk(), name, kNameCapacity);
    SetWindowTextW(control, name);
}

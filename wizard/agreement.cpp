// The agreement page's two texts, inflated from the payload the first time
// the page shows: the English one into its edit box, the Chinese one cut
// into the lines of the owner-drawn list.

#include <stdlib.h>

#include "payload/payload.h"
#include "render/render.h"
#include "resources/ids.h"
#include "wizard/wizard.h"

// The Chinese lines stay here for the life of the process: each list item
// carries a pointer to its line in its item data, so that the drawing gets
// the GBK bytes themselves. A string kept by the list would go through the
// system code page and lose characters on a Big5 system.
static char *chineseText;

int CutAgreementLines(char *text, unsigned long length, char **lines, int capacity)
{
    int count = 0;
    unsigned long start = 0;
    for (unsigned long i = 0; i < length && count < capacity; i++) {
        if (text[i] != '\r')
            continue;
        text[i] = 0;
        lines[count++] = text + start;
        if (i + 1 < length && text[i + 1] == '\n')
            i++;
        start = i + 1;
    }
    return count;
}

// Inflates agreement `id` into a new buffer, terminated; null when it cannot
// (*outOfMemory tells why). The inflater gets one byte less than the buffer
// so that the terminator always fits.
static char *InflateAgreement(int id, unsigned long *length, int *outOfMemory)
{
    char *text = (char *)malloc(kAgreementCapacity);
    *outOfMemory = text == NULL;
    if (text && !InflatePayloadResource(id, text, kAgreementCapacity - 1, length)) {
        free(text);
        return NULL;
    }
    if (text)
        text[*length] = 0;
    return text;
}

// Each line's string is what screen readers read (UTF-16 where windows are
// Unicode); the drawing takes the line's bytes from its item data.
static void FillChineseList(HWND list, char *text, unsigned long length)
{
    static char *lines[kAgreementLineLimit];
    // A showing that failed half way is repeated whole: no line twice.
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    int count = CutAgreementLines(text, length, lines, kAgreementLineLimit);
    for (int i = 0; i < count; i++) {
        LRESULT index = SendLabelText(list, LB_ADDSTRING, 0, lines[i]);
        if (index >= 0)
            SendMessageA(list, LB_SETITEMDATA, (WPARAM)index, (LPARAM)lines[i]);
    }
}

int LoadAgreementTexts(HWND dialog)
{
    unsigned long length = 0;
    int outOfMemory = 0;
    char *chinese = InflateAgreement(IDR_AGREEMENT_ZH, &length, &outOfMemory);
    if (chinese) {
        FillChineseList(GetDlgItem(dialog, IDC_AGREEMENT_ZH), chinese, length);
        free(chineseText);
        chineseText = chinese;
        char *english = InflateAgreement(IDR_AGREEMENT_EN, &length, &outOfMemory);
        if (english) {
            SetDlgItemTextA(dialog, IDC_AGREEMENT_EN, english);
            free(english);
            return 1;
        }
    }
    if (outOfMemory)
        BilingualMessageBox(kMemoryNoticeChinese, kMemoryNoticeEnglish, kBoxOk, WizardWindow);
    return 0;
}

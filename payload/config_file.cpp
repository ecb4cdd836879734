// The update of the installed programs' shared configuration file with the
// answers given on the wizard, and the clearing of file attributes that has
// to come before any installed file is opened for writing or deleted.
//
// vevedaro.ini, as this updater reads it:
//   8-bit text (Chinese in GBK) with CR LF line ends, ini style: "[Name]"
//   section headers and "Key=Value" lines. This build's copy is a "[UI_STR]"
//   section of interface strings followed by a "[Config]" section holding
//   the one line "UseBmpFont=0". Only three texts are looked for, anywhere
//   in a line:
//     "[Config]"          the section the settings belong to;
//     "UseBmpFont="       followed by 1 when the programs are to draw Chinese
//                         with their own bitmap font (the system could not
//                         show the sample line), else 0;
//     "ForceLanguage="    followed by the interface language as a decimal
//                         number: 0 English, 1 Simplified, 2 Traditional.
//   Lines are taken in pieces of at most 255 characters (a 256-byte
//   buffer), a CR LF counting as one line feed, as the runtime's text mode
//   would hand them over; a longer line arrives in pieces, and each piece is
//   taken as a line.
//
// A line that holds a key is replaced by the setting text, from its first
// character, keeping its own line end: the rest of a longer line goes, a
// shorter line is lengthened, and when the lengths differ everything after
// the line is moved along byte for byte. A missing setting is appended at
// the end of the file with CR LF line ends, and so is the "[Config]" header
// when the file has none; the header never goes between existing lines.
//
// The file is opened in binary mode and the CR LF pairs are handled here:
// in text mode the runtime reports a position that is off by one for every
// lone line feed still in its read buffer and stops reading at a Ctrl-Z,
// and a write at such a position lands inside the line before.

#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "payload/payload.h"
#include "shell/shell.h"
#include "wizard/wizard.h"

static const char kSectionHeader[] = "[Config]";
static const char kFontKey[] = "UseBmpFont=";
static const char kLanguageKey[] = "ForceLanguage=";

enum { kLineBufferSize = 256 };

void ClearFileAttributes(const char *path, int clearReadOnly, int clearHidden)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    DWORD cleared = attributes;
    if (clearReadOnly)
        cleared &= ~FILE_ATTRIBUTE_READONLY;
    if (clearHidden)
        cleared &= ~FILE_ATTRIBUTE_HIDDEN;
    if (cleared == attributes)
        return;
    // No bits at all would read as "leave the attributes alone".
    SetFileAttributesA(path, cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
}

static void SetReadOnlyHidden(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    attributes &= ~FILE_ATTRIBUTE_NORMAL;
    // Wine keeps the hidden bit in an extended attribute, which an
    // unprivileged process cannot write once the file is read-only; hidden
    // goes first so that both stick there, as they do on Windows.
    SetFileAttributesA(path, attributes | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(path, attributes | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
}

// Reads one line of at most 255 characters into `line` (a CR LF becomes one
// line feed) and advances *position by the bytes it took on disk. Returns 0
// at the end of the file.
static int ReadLine(FILE *file, char *line, long *position)
{
    int count = 0;
    int c;
    while (count < kLineBufferSize - 1 && (c = getc(file)) != EOF) {
        ++*position;
        if (c == '\r') {
            int next = getc(file);
            if (next == '\n') {
                ++*position;
                c = '\n';
            } else if (next != EOF) {
                ungetc(next, file);
            }
        }
        line[count++] = (char)c;
        if (c == '\n')
            break;
    }
    line[count] = 0;
    return count > 0;
}

// Writes `text` at `to` in place of the bytes up to `from`, moving
// everything from `from` to the end of the file along behind it; the file
// grows or shrinks by the difference. Returns 1 when every step went
// through.
static int WriteAndMoveRest(FILE *file, long to, const char *text, long from)
{
    size_t textLength = strlen(text);
    char *rest = NULL;
    int done = 0;

    if (fseek(file, 0, SEEK_END) != 0)
        return 0;
    long size = ftell(file);
    long restLength = size - from;
    if (size < 0 || restLength < 0)
        return 0;
    rest = (char *)malloc(restLength ? (size_t)restLength : 1);
    if (!rest)
        return 0;
    if (fseek(file, from, SEEK_SET) == 0
        && fread(rest, 1, (size_t)restLength, file) == (size_t)restLength
        && fseek(file, to, SEEK_SET) == 0
        && fwrite(text, 1, textLength, file) == textLength
        && fwrite(rest, 1, (size_t)restLength, file) == (size_t)restLength
        && fflush(file) == 0) {
        long newSize = to + (long)textLength + restLength;
        done = newSize >= size || _chsize(_fileno(file), newSize) == 0;
    }
    free(rest);
    return done;
}

// Replaces the line just read (held in `line`, taken from lineStart up to
// *position) by `text`, keeping the line's own end, and leaves the file and
// *position after that line end with `line` holding the line as it now
// stands. Returns 0 when the file could not be changed.
static int ReplaceLine(FILE *file, long lineStart, long *position, char *line, const char *text)
{
    long oldLength = (long)strcspn(line, "\n");   // bytes before the line end
    long newLength = (long)strlen(text);
    int hasLineEnd = line[oldLength] == '\n';

    if (newLength == oldLength) {
        // The common case, this build's own lines: overwritten in place.
        if (fseek(file, lineStart, SEEK_SET) != 0
            || fwrite(text, 1, (size_t)newLength, file) != (size_t)newLength)
            return 0;
    } else if (!WriteAndMoveRest(file, lineStart, text, lineStart + oldLength)) {
        return 0;
    }
    *position += newLength - oldLength;
    if (fseek(file, *position, SEEK_SET) != 0)
        return 0;
    FormatText(line, kLineBufferSize, "%s%s", text, hasLineEnd ? "\n" : "");
    return 1;
}

static void WriteBetween(FILE *file, const char *before, const char *text, const char *after)
{
    fputs(before, file);
    fputs(text, file);
    fputs(after, file);
}

static void UpdateSettings(FILE *file, const char *fontText, const char *languageText)
{
    char line[kLineBufferSize];
    long position = 0;
    int sectionSeen = 0, fontWritten = 0, languageWritten = 0;

    // With both settings written the scan goes on only to look for the
    // header, so that a file whose settings stand before it gets one
    // header at its end, and no more on a later run.
    while (!sectionSeen || !fontWritten || !languageWritten) {
        long lineStart = position;
        if (!ReadLine(file, line, &position))
            break;
        if (strstr(line, kSectionHeader))
            sectionSeen = 1;
        if (fontWritten && languageWritten)
            continue;
        // Each test sees the line as it stands after the one before: a line
        // that held both keys has become the font setting alone, and the
        // language setting is then appended rather than written over it.
        if (strstr(line, kFontKey)) {
            if (!ReplaceLine(file, lineStart, &position, line, fontText))
                return;
            fontWritten = 1;
        }
        if (strstr(line, kLanguageKey)) {
            if (!ReplaceLine(file, lineStart, &position, line, languageText))
                return;
            languageWritten = 1;
        }
    }

    if (sectionSeen && fontWritten && languageWritten)
        return;
    if (fseek(file, 0, SEEK_END) != 0)
        return;
    if (!sectionSeen)
        WriteBetween(file, "\r\n\r\n", kSectionHeader, "\r\n\r\n");
    if (!fontWritten)
        WriteBetween(file, "\r\n", fontText, "\r\n");
    if (!languageWritten)
        WriteBetween(file, "\r\n", languageText, "\r\n");
}

int UpdateConfigFile(void)
{
    char path[MAX_PATH];
    char fontText[32];
    char languageText[32];

    // A path that does not fit names no file of this installation.
    int length = FormatText(path, sizeof path, "%s\\vevedaro.ini", InstallFolderPath);
    if (length < 0 || length >= (int)sizeof path)
        return 1;
    FormatText(fontText, sizeof fontText, "%s%c", kFontKey, ChineseDisplayAnswer == 0 ? '1' : '0');
    FormatText(languageText, sizeof languageText, "%s%d", kLanguageKey, ChosenLanguage);

    // The file was extracted read-only and hidden; opening it for update
    // would fail.
    ClearFileAttributes(path, 1, 1);
    FILE *file = fopen(path, "r+b");
    if (file) {
        UpdateSettings(file, fontText, languageText);
        fclose(file);
    }
    SetReadOnlyHidden(path);
    return 1;
}

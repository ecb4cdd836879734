// Registration under HKEY_CLASSES_ROOT at the end of an installation: the
// editor's shell program identifier and the .rtf association, and the
// embeddable document classes of the editor and of the pinyin server.
// Nothing is deleted and no failure is shown: a half-written registration
// still leaves the installed programs usable.

#include "shell/shell.h"

#include "shell/pooled_string.h"
#include "wizard/wizard.h"

#include <stdio.h>
#include <string.h>

// Template tables. Each entry is three consecutive NUL-terminated strings:
//   key template    relative to HKEY_CLASSES_ROOT; an empty one skips the entry
//   value name      used as it is; empty names the key's default value
//   value template
// Key and value templates are FormatMessageA sources: %1 to %9 are string
// inserts, %% a percent sign, so "%%1" leaves the shell's own %1 in a
// command. A table is a null-terminated array of entries.
//
// %3 is the program's short path and %9 the same path as a command line
// starts with it: quoted when it holds a blank. A volume without 8.3 names
// leaves "C:\Program Files\..." in the short path, and an unquoted command
// would make the shell or COM try "C:\Program.exe" first. Values that are a
// path and nothing else (the OLE 1 server, the icon) keep %3.
#define REGISTRY_TEMPLATE(key, name, value) key "\0" name "\0" value

enum { kExpansionSize = 256 };  // FormatMessageA's buffer: 255 characters and NUL

static const char kEditorClassId[] = "{7A3C9E51-4B0D-4E62-9F18-2C5D7B60A4E3}";
static const char kPinyinClassId[] = "{B2E64D19-8C37-4A51-B0E2-6F9D13C875A0}";

// Applied without overwriting: names a user or another program has given
// the class stay.
static const char *const DocClassTable[] = {
    REGISTRY_TEMPLATE("%2", "", "%5"),
    REGISTRY_TEMPLATE("%2\\Insertable", "", ""),
    REGISTRY_TEMPLATE("%2\\protocol\\StdFileEditing\\verb\\0", "", "&Edit"),
    REGISTRY_TEMPLATE("CLSID\\%1", "", "%5"),
    REGISTRY_TEMPLATE("CLSID\\%1\\Verb\\0", "", "&Edit,0,2"),
    REGISTRY_TEMPLATE("CLSID\\%1\\Verb\\1", "", "&Open,0,2"),
    REGISTRY_TEMPLATE("CLSID\\%1\\Insertable", "", ""),
    REGISTRY_TEMPLATE("CLSID\\%1\\MiscStatus", "", "0"),
    NULL,
};

// Applied with overwriting: servers and commands follow the latest install.
static const char *const DocServerTable[] = {
    REGISTRY_TEMPLATE("%2\\CLSID", "", "%1"),
    REGISTRY_TEMPLATE("%2\\protocol\\StdFileEditing\\server", "", "%3"),
    REGISTRY_TEMPLATE("CLSID\\%1\\ProgID", "", "%2"),
    REGISTRY_TEMPLATE("CLSID\\%1\\InprocHandler32", "", "ole32.dll"),
    REGISTRY_TEMPLATE("CLSID\\%1\\LocalServer32", "", "%9"),
    REGISTRY_TEMPLATE("CLSID\\%1\\AuxUserType\\2", "", "%4"),
    REGISTRY_TEMPLATE("CLSID\\%1\\AuxUserType\\3", "", "%6"),
    REGISTRY_TEMPLATE("CLSID\\%1\\DefaultIcon", "", "%3,1"),
    REGISTRY_TEMPLATE("%2\\shell\\open\\command", "", "%9 \"%%1\""),
    REGISTRY_TEMPLATE("%2\\shell\\print\\command", "", "%9 /p \"%%1\""),
    REGISTRY_TEMPLATE("%2\\shell\\printto\\command", "", "%9 /pt \"%%1\" \"%%2\" \"%%3\" \"%%4\""),
    NULL,
};

static const char *const RtfExtensionTable[] = {
    REGISTRY_TEMPLATE("%7", "", "%2"),
    REGISTRY_TEMPLATE("%7\\ShellNew", "Data", "{\\rtf1}"),
    NULL,
};

static const char *const RtfClassTable[] = {
    REGISTRY_TEMPLATE("%2", "", "%5"),
    REGISTRY_TEMPLATE("%2\\CLSID", "", "%1"),
    REGISTRY_TEMPLATE("%2\\shell\\open\\command", "", "%9 \"%%1\""),
    REGISTRY_TEMPLATE("%2\\shell\\print\\command", "", "%9 /p \"%%1\""),
    REGISTRY_TEMPLATE("%2\\shell\\printto\\command", "", "%9 /pt \"%%1\" \"%%2\" \"%%3\" \"%%4\""),
    REGISTRY_TEMPLATE("%2\\DefaultIcon", "", "%3,%8"),
    NULL,
};

// The short (8.3) path of a program in the installation folder, in a
// MAX_PATH buffer. It stays empty when the program is not there or when
// the folder and the name together do not fit MAX_PATH.
static void ProgramShortPath(char *shortPath, const char *programName)
{
    char longPath[MAX_PATH];
    int folderLength = (int)strnlen(InstallFolderPath, MAX_PATH);
    int length = FormatText(longPath, sizeof longPath, "%.*s\\%s", folderLength, InstallFolderPath, programName);
    shortPath[0] = 0;
    if (length > 0 && length < (int)sizeof longPath) {
        DWORD written = GetShortPathNameA(longPath, shortPath, MAX_PATH);
        if (written == 0 || written >= MAX_PATH)
            shortPath[0] = 0;
    }
}

void QuoteProgramPath(PooledString &path)
{
    // Tabs part a command line as blanks do.
    if (strpbrk(path.Text(), " \t")) {
        PooledString quoted;
        quoted.Format("\"%!\"", &path);
        path = quoted;
    }
}

// A template expanded with the inserts. An expansion longer than 255
// characters, or any other FormatMessageA failure, gives an empty text.
static void ExpandTemplate(PooledString &out, const char *source, const char *const *inserts)
{
    char *buffer = out.OpenBuffer(kExpansionSize);
    DWORD count = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                 source, 0, 0, buffer, kExpansionSize, (va_list *)inserts);
    out.CommitBuffer(count < kExpansionSize ? (int)count : 0);
}

static HKEY CreateClassKey(const char *name)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, name, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return NULL;
    return key;
}

static int ClassKeyOpens(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY,
                      &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

// Creates the key if needed and sets its default value.
static int SetClassText(const char *subkey, const char *text)
{
    return RegSetValueA(HKEY_CLASSES_ROOT, subkey, REG_SZ, text, (DWORD)strlen(text) + 1) == ERROR_SUCCESS;
}

int ReadRegistryString(HKEY key, PooledString &out, const char *valueName)
{
    DWORD size = 0;
    int found = 0;

    out.Clear();
    if (RegQueryValueExA(key, valueName, NULL, NULL, NULL, &size) == ERROR_SUCCESS && size <= 0x3FFFFFFF) {
        found = 1;
        if (size > 0) {
            // The data need not end in a NUL (the type is not looked at): the
            // buffer has room for one byte more than the data, and the text
            // ends at the first NUL within what the second query delivered.
            char *buffer = out.OpenBuffer((int)size);
            DWORD got = size;
            if (RegQueryValueExA(key, valueName, NULL, NULL, (BYTE *)buffer, &got) != ERROR_SUCCESS) {
                found = 0;
                got = 0;
            }
            buffer[got < size ? got : size] = 0;
            out.CommitBuffer(-1);
        }
    }
    return found;
}

int WriteRegistryString(HKEY key, const char *text, const char *valueName)
{
    return RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1)
        == ERROR_SUCCESS;
}

int ApplyRegistryTemplates(const char *const *table, const char *const *inserts, int overwrite)
{
    // "CLSID" is a gate: where it cannot be created or opened with these
    // rights the table is not applied. Nothing is written through it.
    HKEY classes = CreateClassKey("CLSID");
    int result = 1;

    if (!classes)
        return 0;
    for (const char *const *entry = table; *entry; entry++) {
        const char *keyTemplate = *entry;
        const char *valueName = keyTemplate + strlen(keyTemplate) + 1;
        const char *valueTemplate = valueName + strlen(valueName) + 1;
        PooledString keyName;
        PooledString value;
        PooledString existing;
        HKEY key;

        if (!*keyTemplate)
            continue;
        ExpandTemplate(keyName, keyTemplate, inserts);
        ExpandTemplate(value, valueTemplate, inserts);
        if (keyName.Length() == 0)
            continue;
        key = CreateClassKey(keyName.Text());
        if (!key) {
            result = 0;
            break;
        }
        if (!overwrite && ReadRegistryString(key, existing, valueName) && existing.Length() > 0) {
            RegCloseKey(key);
            continue;
        }
        if (!WriteRegistryString(key, value.Text(), valueName))
            result = 0;
        RegCloseKey(key);
        if (!result)
            break;
    }
    RegCloseKey(classes);
    return result;
}

int RegisterEditorShellCommand(void)
{
    PooledString command;
    int written = SetClassText("LKOEditor.Document", "Lunko Editor Document");
    if (written) {
        // The long path, quoted only when it holds a blank, and an unquoted
        // %1. The precision only bounds the read of the fixed folder buffer.
        command.Format("%.259s\\lkoedit.exe", InstallFolderPath);
        QuoteProgramPath(command);
        command.Append(" %1");
        written = SetClassText("LKOEditor.Document\\shell\\open\\command", command.Text());
    }
    if (written)
        written = SetClassText(".rtf", "LKOEditor.Document");
    return written;
}

void RegisterEditorDocumentClass(void)
{
    char shortPath[MAX_PATH];
    const char *inserts[9] = {
        kEditorClassId,
        "LKOEdit.Document",
        shortPath,
        "LKOEdit Document",
        "LKOEdit Document",
        "LKOEdit",
        NULL,
        NULL,
        NULL,
    };

    ProgramShortPath(shortPath, "lkoedit.exe");
    PooledString command(shortPath);
    QuoteProgramPath(command);
    inserts[8] = command.Text();
    if (ApplyRegistryTemplates(DocClassTable, inserts, 0))
        ApplyRegistryTemplates(DocServerTable, inserts, 1);

    // The rich-text phase. RegisterEditorShellCommand has normally created
    // ".rtf" already, so the extension table is a fallback; an existing
    // "rtffile" class is left as it is.
    inserts[1] = "rtffile";
    inserts[4] = "Rich Text Document";
    inserts[6] = ".rtf";
    inserts[7] = "1";
    if (!ClassKeyOpens(".rtf"))
        ApplyRegistryTemplates(RtfExtensionTable, inserts, 1);
    if (!ClassKeyOpens("rtffile"))
        ApplyRegistryTemplates(RtfClassTable, inserts, 1);
}

void RegisterPinyinServerClass(void)
{
    char shortPath[MAX_PATH];
    const char *inserts[9] = {
        kPinyinClassId,
        "DoVaz.Document.1",
        shortPath,
        "DoVaz Document",
        "DoVaz Document",
        "DoVaz",
        NULL,
        NULL,
        NULL,
    };

    ProgramShortPath(shortPath, "DoVaz.exe");
    PooledString command(shortPath);
    QuoteProgramPath(command);
    inserts[8] = command.Text();
    if (ApplyRegistryTemplates(DocClassTable, inserts, 0))
        ApplyRegistryTemplates(DocServerTable, inserts, 1);
}

int RegisterDocumentClasses(void)
{
    RegisterEditorShellCommand();
    RegisterEditorDocumentClass();
    RegisterPinyinServerClass();
    return 0;
}

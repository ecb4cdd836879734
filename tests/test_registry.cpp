// Registration under HKEY_CLASSES_ROOT, read back key by key and value by
// value. All cases share the test's Wine prefix, so each one first removes
// what earlier cases wrote. A fresh prefix already has ".rtf" and "rtffile"
// (Wine's own rich-text handler).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "payload/catalogue.h"
#include "shell/pooled_string.h"
#include "shell/shell.h"
#include "tests/driver/driver.h"
#include "wizard/wizard.h"

static const std::string kEditorClass = "{7A3C9E51-4B0D-4E62-9F18-2C5D7B60A4E3}";
static const std::string kPinyinClass = "{B2E64D19-8C37-4A51-B0E2-6F9D13C875A0}";

typedef std::vector<std::string> Tree;
struct Value {
    std::string key, name, text;
};

// ---- registry helpers ------------------------------------------------------

static void DumpKey(const std::string &path, Tree *tree)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    tree->push_back(path);
    for (DWORD i = 0;; i++) {
        char name[256];
        BYTE data[1024];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type;
        if (RegEnumValueA(key, i, name, &nameSize, NULL, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        std::string text((const char *)data, dataSize);
        // A text value carries exactly its terminator.
        if (type == REG_SZ && dataSize > 0 && text.find('\0') == dataSize - 1)
            text.resize(dataSize - 1);
        else
            text = "<not a terminated REG_SZ>";
        tree->push_back(path + "|" + name + "=" + text);
    }
    for (DWORD i = 0;; i++) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        DumpKey(path + "\\" + name, tree);
    }
    RegCloseKey(key);
}

// Every key below `root` with its values, one line each, sorted.
static Tree Dump(const std::string &root)
{
    Tree tree;
    DumpKey(root, &tree);
    std::sort(tree.begin(), tree.end());
    return tree;
}

// The lines Dump gives for exactly these values: each key, its ancestors up
// to `root`, and the values.
static Tree Expected(const std::string &root, const std::vector<Value> &values)
{
    Tree tree;
    for (const Value &value : values) {
        for (std::string key = value.key; key.size() >= root.size(); key.resize(key.rfind('\\'))) {
            tree.push_back(key);
            if (key == root)
                break;
        }
        tree.push_back(value.key + "|" + value.name + "=" + value.text);
    }
    std::sort(tree.begin(), tree.end());
    tree.erase(std::unique(tree.begin(), tree.end()), tree.end());
    return tree;
}

static bool ReadValue(const std::string &path, const char *name, std::string *text)
{
    HKEY key;
    char data[1024];
    DWORD size = sizeof data - 1;
    bool found = false;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        found = RegQueryValueExA(key, name, NULL, NULL, (BYTE *)data, &size) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    data[found ? size : 0] = 0;
    *text = data;
    return found;
}

static void SetValue(const std::string &path, const char *name, const std::string &text)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text.c_str(),
                                            (DWORD)text.size() + 1));
    RegCloseKey(key);
}

static void RemoveKey(const std::string &path)
{
    RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
}

static Tree WithoutDefaultValue(Tree tree, const std::string &key)
{
    tree.erase(std::remove_if(tree.begin(), tree.end(), [&](const std::string &line) {
        return line.compare(0, key.size() + 2, key + "|=") == 0;
    }), tree.end());
    return tree;
}

// ---- installation folders --------------------------------------------------

static std::string MakeFolder(const std::string &name, bool withPrograms)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + name;
    CreateDirectoryA(folder.c_str(), NULL);
    if (withPrograms) {
        for (const char *program : { "\\lkoedit.exe", "\\DoVaz.exe" })
            WriteWholeFile(folder + program, "");
    }
    return folder;
}

static std::string ShortPath(const std::string &path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? buffer : "";
}

static void UseInstallFolder(const std::string &folder)
{
    snprintf(InstallFolderPath, MAX_PATH, "%s", folder.c_str());
}

// A volume without 8.3 names, which Wine does not have: GetShortPathNameA,
// as this program imports it, gives an existing path back as it is.
static DWORD WINAPI LongPathAsShort(LPCSTR longPath, LPSTR shortPath, DWORD size)
{
    DWORD length = (DWORD)lstrlenA(longPath);
    if (GetFileAttributesA(longPath) == INVALID_FILE_ATTRIBUTES)
        return 0;
    if (length >= size)
        return length + 1;
    lstrcpyA(shortPath, longPath);
    return length;
}

// Points this program's import of `function` from kernel32 at
// `replacement`; returns what it pointed at before (null if not found).
static void *ReplaceKernelImport(const char *function, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *headers = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports); dll->Name; dll++) {
        if (lstrcmpiA((const char *)base + dll->Name, "kernel32.dll") != 0)
            continue;
        IMAGE_THUNK_DATA *name = (IMAGE_THUNK_DATA *)(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slot = (IMAGE_THUNK_DATA *)(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; name++, slot++) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)
                || strcmp((const char *)((IMAGE_IMPORT_BY_NAME *)(base + name->u1.AddressOfData))->Name, function))
                continue;
            void *previous = (void *)slot->u1.Function;
            DWORD protection;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
            slot->u1.Function = (DWORD)(UINT_PTR)replacement;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            return previous;
        }
    }
    return NULL;
}

// ---- the trees the registration writes -------------------------------------

// How a command line starts with a program's path: quoted when it holds a
// blank, so that the shell cannot take "C:\Program" for the program.
static std::string AsCommand(const std::string &path)
{
    return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

// FormatMessageA's 256-character buffer: a longer expansion is stored empty.
static std::string Expansion(const std::string &text)
{
    return text.size() > 255 ? "" : text;
}

static std::vector<Value> ProgramIdValues(const std::string &id, const std::string &clsid,
                                          const std::string &server, const std::string &name)
{
    return {
        { id, "", name },
        { id + "\\Insertable", "", "" },
        { id + "\\protocol\\StdFileEditing\\verb\\0", "", "&Edit" },
        { id + "\\CLSID", "", clsid },
        { id + "\\protocol\\StdFileEditing\\server", "", server },
        { id + "\\shell\\open\\command", "", Expansion(AsCommand(server) + " \"%1\"") },
        { id + "\\shell\\print\\command", "", Expansion(AsCommand(server) + " /p \"%1\"") },
        { id + "\\shell\\printto\\command", "", Expansion(AsCommand(server) + " /pt \"%1\" \"%2\" \"%3\" \"%4\"") },
    };
}

static std::vector<Value> ClassValues(const std::string &clsid, const std::string &id,
                                      const std::string &server, const std::string &name,
                                      const std::string &shortName)
{
    std::string key = "CLSID\\" + clsid;
    return {
        { key, "", name },
        { key + "\\Verb\\0", "", "&Edit,0,2" },
        { key + "\\Verb\\1", "", "&Open,0,2" },
        { key + "\\Insertable", "", "" },
        { key + "\\MiscStatus", "", "0" },
        { key + "\\ProgID", "", id },
        { key + "\\InprocHandler32", "", "ole32.dll" },
        { key + "\\LocalServer32", "", AsCommand(server) },
        { key + "\\AuxUserType\\2", "", name },
        { key + "\\AuxUserType\\3", "", shortName },
        { key + "\\DefaultIcon", "", Expansion(server + ",1") },
    };
}

static void ExpectEditorTrees(const std::string &folder, const std::string &editor)
{
    EXPECT_EQ(Expected("LKOEditor.Document", {
                  { "LKOEditor.Document", "", "Lunko Editor Document" },
                  { "LKOEditor.Document\\shell\\open\\command", "", AsCommand(folder + "\\lkoedit.exe") + " %1" },
              }), Dump("LKOEditor.Document"));
    EXPECT_EQ(Expected("LKOEdit.Document",
                       ProgramIdValues("LKOEdit.Document", kEditorClass, editor, "LKOEdit Document")),
              Dump("LKOEdit.Document"));
    EXPECT_EQ(Expected("CLSID\\" + kEditorClass,
                       ClassValues(kEditorClass, "LKOEdit.Document", editor, "LKOEdit Document", "LKOEdit")),
              Dump("CLSID\\" + kEditorClass));
}

static void ExpectPinyinTrees(const std::string &server)
{
    EXPECT_EQ(Expected("DoVaz.Document.1",
                       ProgramIdValues("DoVaz.Document.1", kPinyinClass, server, "DoVaz Document")),
              Dump("DoVaz.Document.1"));
    EXPECT_EQ(Expected("CLSID\\" + kPinyinClass,
                       ClassValues(kPinyinClass, "DoVaz.Document.1", server, "DoVaz Document", "DoVaz")),
              Dump("CLSID\\" + kPinyinClass));
}

class Registration : public testing::Test {
protected:
    void SetUp() override
    {
        for (const std::string &key : { std::string("LKOEditor.Document"), std::string("LKOEdit.Document"),
                                         std::string("DoVaz.Document.1"), "CLSID\\" + kEditorClass,
                                         "CLSID\\" + kPinyinClass, std::string("LunkoTest"),
                                         std::string("LunkoVolatile") })
            RemoveKey(key);
    }
};

// ---- registration ----------------------------------------------------------

TEST_F(Registration, WritesTheListedTreeWithTheProgramsShortPaths)
{
    std::string folder = MakeFolder("Lunko Registry Test", true);
    std::string editor = ShortPath(folder + "\\lkoedit.exe");
    std::string pinyin = ShortPath(folder + "\\DoVaz.exe");
    ASSERT_NE("", editor);
    ASSERT_NE(folder + "\\lkoedit.exe", editor);      // the folder name has no 8.3 form
    UseInstallFolder(folder);
    Tree rtfBefore = Dump(".rtf");
    Tree rtfClassBefore = Dump("rtffile");
    ASSERT_FALSE(rtfClassBefore.empty());

    RegisterDocumentClasses();

    ExpectEditorTrees(folder, editor);
    ExpectPinyinTrees(pinyin);
    std::string command;
    ReadValue("LKOEditor.Document\\shell\\open\\command", "", &command);
    EXPECT_EQ("\"" + folder + "\\lkoedit.exe\" %1", command);
    std::string handler;
    EXPECT_TRUE(ReadValue(".rtf", "", &handler));
    EXPECT_EQ("LKOEditor.Document", handler);
    // ".rtf" opened, so neither the extension table (ShellNew) nor the
    // class table for the existing "rtffile" was applied.
    EXPECT_EQ(WithoutDefaultValue(rtfBefore, ".rtf"), WithoutDefaultValue(Dump(".rtf"), ".rtf"));
    EXPECT_FALSE(ReadValue(".rtf\\ShellNew", "Data", &handler));
    EXPECT_EQ(rtfClassBefore, Dump("rtffile"));
}

TEST_F(Registration, WithoutTheProgramsTheServerPathsAreEmpty)
{
    std::string folder = MakeFolder("Lunko Without Programs", false);
    UseInstallFolder(folder);

    RegisterDocumentClasses();

    ExpectEditorTrees(folder, "");
    ExpectPinyinTrees("");
    std::string text;
    ReadValue("LKOEdit.Document\\shell\\open\\command", "", &text);
    EXPECT_EQ(" \"%1\"", text);
    ReadValue("CLSID\\" + kEditorClass + "\\DefaultIcon", "", &text);
    EXPECT_EQ(",1", text);
}

TEST_F(Registration, AMissingRtfClassIsCreatedWithTheEditorsCommands)
{
    std::string folder = MakeFolder("Lunko Registry Test", true);
    std::string editor = ShortPath(folder + "\\lkoedit.exe");
    UseInstallFolder(folder);
    RemoveKey("rtffile");

    RegisterDocumentClasses();

    EXPECT_EQ(Expected("rtffile", {
                  { "rtffile", "", "Rich Text Document" },
                  { "rtffile\\CLSID", "", kEditorClass },
                  { "rtffile\\shell\\open\\command", "", AsCommand(editor) + " \"%1\"" },
                  { "rtffile\\shell\\print\\command", "", AsCommand(editor) + " /p \"%1\"" },
                  { "rtffile\\shell\\printto\\command", "", AsCommand(editor) + " /pt \"%1\" \"%2\" \"%3\" \"%4\"" },
                  { "rtffile\\DefaultIcon", "", editor + ",1" },
              }), Dump("rtffile"));
    ExpectEditorTrees(folder, editor);
}

TEST_F(Registration, AnExistingRtfClassIsLeftUnchanged)
{
    UseInstallFolder(MakeFolder("Lunko Registry Test", true));
    RemoveKey("rtffile");
    SetValue("rtffile", "", "Somebody's Rich Text");
    SetValue("rtffile\\shell\\open\\command", "", "other.exe \"%1\"");
    Tree before = Dump("rtffile");

    RegisterDocumentClasses();

    EXPECT_EQ(before, Dump("rtffile"));
}

TEST_F(Registration, ASecondRunKeepsNamesGivenSinceButRewritesCommandsAndServers)
{
    UseInstallFolder(MakeFolder("Lunko Registry Test", true));
    RegisterDocumentClasses();
    std::string clsidKey = "CLSID\\" + kEditorClass;
    SetValue("LKOEdit.Document", "", "Edited Document Name");
    SetValue(clsidKey + "\\Verb\\0", "", "&Change,0,2");
    SetValue(clsidKey + "\\MiscStatus", "", "");              // empty: not kept
    SetValue("LKOEdit.Document\\shell\\open\\command", "", "stale");
    SetValue(clsidKey + "\\LocalServer32", "", "stale");
    SetValue("LKOEditor.Document\\shell\\open\\command", "", "stale");

    std::string moved = MakeFolder("Lunko Second Place", true);
    std::string editor = ShortPath(moved + "\\lkoedit.exe");
    UseInstallFolder(moved);
    EXPECT_EQ(1, RegisterEditorShellCommand());
    RegisterEditorDocumentClass();

    std::vector<Value> program = ProgramIdValues("LKOEdit.Document", kEditorClass, editor, "LKOEdit Document");
    program[0].text = "Edited Document Name";
    EXPECT_EQ(Expected("LKOEdit.Document", program), Dump("LKOEdit.Document"));
    std::vector<Value> classValues = ClassValues(kEditorClass, "LKOEdit.Document", editor, "LKOEdit Document", "LKOEdit");
    classValues[1].text = "&Change,0,2";
    EXPECT_EQ(Expected(clsidKey, classValues), Dump(clsidKey));
    std::string command;
    ReadValue("LKOEditor.Document\\shell\\open\\command", "", &command);
    EXPECT_EQ("\"" + moved + "\\lkoedit.exe\" %1", command);
}

TEST_F(Registration, OnAVolumeWithoutShortNamesEveryCommandQuotesTheProgramPath)
{
    std::string folder = MakeFolder("Lunko Registry Test", true);
    std::string editor = folder + "\\lkoedit.exe", pinyin = folder + "\\DoVaz.exe";
    UseInstallFolder(folder);
    RemoveKey("rtffile");
    void *system = ReplaceKernelImport("GetShortPathNameA", (void *)LongPathAsShort);
    ASSERT_TRUE(system != NULL);

    RegisterDocumentClasses();

    ReplaceKernelImport("GetShortPathNameA", system);
    ExpectEditorTrees(folder, editor);
    ExpectPinyinTrees(pinyin);
    // Spelled out: a command line starts with the quoted path, a value that
    // is a path and nothing else keeps it as it is.
    const std::string quoted = "\"" + editor + "\"";
    const Value values[] = {
        { "LKOEdit.Document\\shell\\open\\command", "", quoted + " \"%1\"" },
        { "LKOEdit.Document\\shell\\printto\\command", "", quoted + " /pt \"%1\" \"%2\" \"%3\" \"%4\"" },
        { "LKOEdit.Document\\protocol\\StdFileEditing\\server", "", editor },
        { "CLSID\\" + kEditorClass + "\\LocalServer32", "", quoted },
        { "CLSID\\" + kEditorClass + "\\DefaultIcon", "", editor + ",1" },
        { "CLSID\\" + kPinyinClass + "\\LocalServer32", "", "\"" + pinyin + "\"" },
        { "rtffile\\shell\\print\\command", "", quoted + " /p \"%1\"" },
        { "rtffile\\DefaultIcon", "", editor + ",1" },
    };
    for (const Value &value : values) {
        std::string text;
        EXPECT_TRUE(ReadValue(value.key, value.name.c_str(), &text)) << value.key;
        EXPECT_EQ(value.text, text) << value.key;
    }
}

// 26 levels of 8-character names give a 248-character short path: the open
// command (253 characters) fits FormatMessageA's buffer, the print command
// (256) does not and is stored empty.
TEST_F(Registration, ExpansionsLongerThan255CharactersAreStoredEmpty)
{
    std::string folder = "C:";
    for (int level = 0; level < 26; level++) {
        folder += "\\deepdeep";
        CreateDirectoryA(folder.c_str(), NULL);
    }
    ASSERT_TRUE(WriteWholeFile(folder + "\\lkoedit.exe", ""));
    std::string editor = ShortPath(folder + "\\lkoedit.exe");
    ASSERT_EQ(248u, editor.size());
    UseInstallFolder(folder);

    RegisterDocumentClasses();

    ExpectEditorTrees(folder, editor);
    std::string text;
    EXPECT_TRUE(ReadValue("LKOEditor.Document\\shell\\open\\command", "", &text));
    EXPECT_EQ(folder + "\\lkoedit.exe %1", text);      // no blank: not quoted
    EXPECT_TRUE(ReadValue("LKOEdit.Document\\shell\\open\\command", "", &text));
    EXPECT_EQ(editor + " \"%1\"", text);
    EXPECT_TRUE(ReadValue("LKOEdit.Document\\shell\\print\\command", "", &text));
    EXPECT_EQ("", text);
    EXPECT_TRUE(ReadValue("LKOEdit.Document\\shell\\printto\\command", "", &text));
    EXPECT_EQ("", text);
}

// Wine gives every long name a hashed 8.3 name, so a short path that keeps
// its blanks (a volume without 8.3 names) is only met here.
TEST(QuoteProgramPath, QuotesAPathWithABlankAndLeavesAnyOtherAsItIs)
{
    const struct {
        const char *path, *command;
    } cases[] = {
        { "C:\\Program Files\\Lunko\\lkoedit.exe", "\"C:\\Program Files\\Lunko\\lkoedit.exe\"" },
        { "C:\\Lunko\\lkoedit.exe ", "\"C:\\Lunko\\lkoedit.exe \"" },
        { " C:\\x.exe", "\" C:\\x.exe\"" },
        { "C:\\Tab\there\\x.exe", "\"C:\\Tab\there\\x.exe\"" },
        { "C:\\PROG~FBU\\LUNKO\\lkoedit.exe", "C:\\PROG~FBU\\LUNKO\\lkoedit.exe" },
        { "\xB3\xCC\xD0\xF2\\x.exe", "\xB3\xCC\xD0\xF2\\x.exe" },
        { "", "" },
    };
    for (const auto &c : cases) {
        PooledString path(c.path);
        QuoteProgramPath(path);
        EXPECT_STREQ(c.command, path.Text()) << c.path;
    }
    // 259 characters with a blank become 261: nothing is cut.
    std::string longest = "C:\\" + std::string(250, 'a') + " x.exe";
    PooledString path(longest.c_str());
    QuoteProgramPath(path);
    EXPECT_EQ("\"" + longest + "\"", path.Text());
}

// ---- the template engine ---------------------------------------------------

#define ENTRY(key, name, value) key "\0" name "\0" value

TEST_F(Registration, TemplatesExpandInsertsAndPercentSignsUpTo255Characters)
{
    std::string longKey(250, 'k'), exact(255, 'e'), over(256, 'o');
    const char *inserts[8] = { longKey.c_str(), exact.c_str(), over.c_str(), "x" };
    const char *const table[] = {
        ENTRY("", "Skipped", "never"),
        ENTRY("LunkoTest\\%1", "", "never"),          // key of 260 characters: skipped
        ENTRY("LunkoTest", "Exact", "%2"),
        ENTRY("LunkoTest", "Over", "%3"),
        ENTRY("LunkoTest", "Percent", "100%% %4 \"%%1\""),
        ENTRY("LunkoTest\\%4\\Sub", "", ""),
        NULL,
    };

    EXPECT_EQ(1, ApplyRegistryTemplates(table, inserts, 1));

    EXPECT_EQ(Expected("LunkoTest", {
                  { "LunkoTest", "Exact", exact },
                  { "LunkoTest", "Over", "" },
                  { "LunkoTest", "Percent", "100% x \"%1\"" },
                  { "LunkoTest\\x\\Sub", "", "" },
              }), Dump("LunkoTest"));
}

// A key that cannot be created (a lasting key below a volatile one) fails
// the table: what was written before stays, nothing after is written.
TEST_F(Registration, TheFirstKeyThatCannotBeCreatedStopsTheTable)
{
    HKEY volatileKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, "LunkoVolatile", 0, NULL, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, NULL, &volatileKey, NULL));
    RegCloseKey(volatileKey);
    const char *inserts[8] = { "v" };
    const char *const table[] = {
        ENTRY("LunkoTest", "Before", "%1"),
        ENTRY("LunkoVolatile\\Lasting", "", "%1"),
        ENTRY("LunkoTest", "After", "%1"),
        NULL,
    };

    EXPECT_EQ(0, ApplyRegistryTemplates(table, inserts, 1));

    EXPECT_EQ(Expected("LunkoTest", { { "LunkoTest", "Before", "v" } }), Dump("LunkoTest"));
    EXPECT_EQ(Tree{ "LunkoVolatile" }, Dump("LunkoVolatile"));
}

// ---- reading one value ----------------------------------------------------

TEST_F(Registration, ReadingAValueGivesItsWholeTextOrReportsItMissing)
{
    std::string long1000(1000, 'l');
    SetValue("LunkoTest", "Long", long1000);
    SetValue("LunkoTest", "", "");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, "LunkoTest", 0, KEY_ALL_ACCESS, &key));

    PooledString text("previous");
    EXPECT_EQ(1, ReadRegistryString(key, text, "Long"));
    EXPECT_EQ(long1000, text.Text());
    EXPECT_EQ(1000, text.Length());
    EXPECT_EQ(1, ReadRegistryString(key, text, ""));
    EXPECT_EQ(0, text.Length());
    EXPECT_EQ(0, ReadRegistryString(key, text, "Missing"));
    EXPECT_STREQ("", text.Text());

    // Data without a terminator ends where the data ends.
    const char raw[5] = { 'r', 'a', 'w', '!', '?' };
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Raw", 0, REG_BINARY, (const BYTE *)raw, 4));
    EXPECT_EQ(1, ReadRegistryString(key, text, "Raw"));
    EXPECT_STREQ("raw!", text.Text());
    RegCloseKey(key);
}

// ---- the entry of Apps & features -----------------------------------------

// The value as text: a string's bytes, a number in decimal.
static std::string UninstallValue(const char *name)
{
    HKEY key;
    BYTE data[1024] = {};
    DWORD size = sizeof data - 1, type = REG_NONE;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LunkovanZavavIrazaz",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no key)";
    LONG status = RegQueryValueExA(key, name, NULL, &type, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "(missing)";
    if (type == REG_DWORD)
        return std::to_string(*(DWORD *)data);
    return type == REG_SZ ? std::string((const char *)data) : "(another type)";
}

static DWORD UninstallEntries()
{
    HKEY uninstall;
    DWORD count = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, KEY_READ,
                      &uninstall) == ERROR_SUCCESS) {
        RegQueryInfoKeyA(uninstall, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
        RegCloseKey(uninstall);
    }
    return count;
}

TEST(UninstallEntry, ListsTheLatestInstallationOnceWithItsUninstallerIconVersionMakerFolderAndSize)
{
    const char *const kName = "Lunko智能编辑器";
    DWORD entries = UninstallEntries();
    for (const char *folder : { "C:\\Lunko", "C:\\Program Files\\Lunko Silent" }) {
        lstrcpyA(InstallFolderPath, folder);
        ASSERT_EQ(1, WriteUninstallEntry(kName)) << folder;
    }
    const struct {
        const char *name;
        std::string text;
    } kValues[] = {
        { "DisplayName", kName },
        { "UninstallString", "\"C:\\Program Files\\Lunko Silent\\LKOEditUnInstall.exe\"" },
        { "DisplayIcon", "C:\\Program Files\\Lunko Silent\\LKOEdit.exe,0" },
        { "DisplayVersion", TestSetting("LUNKO_VERSION") },
        { "Publisher", "Lunko" },
        { "InstallLocation", "C:\\Program Files\\Lunko Silent" },
        { "EstimatedSize", std::to_string((PayloadCatalogueBytes + 1023) / 1024) },
        { "NoModify", "1" },
        { "NoRepair", "1" },
    };
    for (const auto &value : kValues)
        EXPECT_EQ(value.text, UninstallValue(value.name)) << value.name;
    EXPECT_FALSE(TestSetting("LUNKO_VERSION").empty());
    EXPECT_EQ(entries + 1, UninstallEntries()) << "one entry, whichever folder";
}

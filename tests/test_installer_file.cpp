// The built installer as a file: one PE32 GUI program that needs no DLL of
// its own, carrying the dialogs, the icon and every payload resource.

#include <stdio.h>
#include <string.h>

#include <set>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

#include "resources/ids.h"
#include "tests/driver/driver.h"

static const std::vector<unsigned char> &InstallerBytes()
{
    static std::vector<unsigned char> bytes = ReadWholeFile(InstallerPath());
    return bytes;
}

template <typename T> static const T *At(const std::vector<unsigned char> &bytes, size_t offset)
{
    return offset + sizeof(T) <= bytes.size() ? (const T *)(bytes.data() + offset) : nullptr;
}

// The file offset of a relative virtual address, through the section table.
static size_t FileOffset(const std::vector<unsigned char> &bytes, const IMAGE_NT_HEADERS32 *nt,
                         DWORD rva)
{
    const IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; i++) {
        const IMAGE_SECTION_HEADER &s = sections[i];
        if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize)
            return rva - s.VirtualAddress + s.PointerToRawData;
    }
    (void)bytes;
    return (size_t)-1;
}

TEST(InstallerFile, IsA32BitGuiProgramImportingSystemLibrariesOnly)
{
    const std::vector<unsigned char> &bytes = InstallerBytes();
    ASSERT_GT(bytes.size(), 1000000u) << InstallerPath();
    const IMAGE_DOS_HEADER *dos = At<IMAGE_DOS_HEADER>(bytes, 0);
    ASSERT_TRUE(dos && dos->e_magic == IMAGE_DOS_SIGNATURE);
    const IMAGE_NT_HEADERS32 *nt = At<IMAGE_NT_HEADERS32>(bytes, dos->e_lfanew);
    ASSERT_TRUE(nt && nt->Signature == IMAGE_NT_SIGNATURE);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);

    const std::set<std::string> system = { "kernel32.dll", "user32.dll", "gdi32.dll",
        "advapi32.dll", "shell32.dll", "ole32.dll", "comctl32.dll", "comdlg32.dll",
        "msvcrt.dll" };
    const IMAGE_DATA_DIRECTORY &imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t offset = FileOffset(bytes, nt, imports.VirtualAddress);
    ASSERT_NE((size_t)-1, offset);
    std::set<std::string> imported;
    for (const IMAGE_IMPORT_DESCRIPTOR *d; (d = At<IMAGE_IMPORT_DESCRIPTOR>(bytes, offset))
         && d->Name; offset += sizeof *d) {
        size_t nameOffset = FileOffset(bytes, nt, d->Name);
        ASSERT_LT(nameOffset, bytes.size());
        std::string name((const char *)bytes.data() + nameOffset);
        for (char &c : name)
            c = (char)tolower((unsigned char)c);
        imported.insert(name);
    }
    EXPECT_TRUE(imported.count("kernel32.dll"));
    for (const std::string &name : imported)
        EXPECT_TRUE(system.count(name)) << "imports " << name;
}

// Ids of resources/payload.list, in order, with their file names.
static std::vector<std::pair<int, std::string>> PayloadList()
{
    std::vector<std::pair<int, std::string>> list;
    FILE *file = fopen(DosPath(TestSetting("LUNKO_SOURCE_DIR") + "/resources/payload.list").c_str(), "r");
    if (!file)
        return list;
    char line[512];
    while (fgets(line, sizeof line, file)) {
        int id;
        char kind[32], name[256];
        if (line[0] != '#' && sscanf(line, "%d %31s %255[^\r\n]", &id, kind, name) == 3)
            list.push_back({ id, name });
    }
    fclose(file);
    return list;
}

static BOOL CALLBACK CollectId(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids)
{
    if (IS_INTRESOURCE(name))
        ((std::set<int> *)ids)->insert((int)(UINT_PTR)name);
    return TRUE;
}

TEST(InstallerFile, CarriesEveryPayloadFileAsOneZlibStreamOfTypeText)
{
    std::vector<std::pair<int, std::string>> list = PayloadList();
    ASSERT_EQ(118u, list.size());
    HMODULE module = LoadLibraryExA(InstallerPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);

    std::set<int> ids;
    EnumResourceNamesA(module, "TEXT", CollectId, (LONG_PTR)&ids);
    EXPECT_EQ(118u, ids.size());

    std::vector<unsigned char> inflated(16777216);
    for (const auto &entry : list) {
        EXPECT_TRUE(ids.count(entry.first)) << entry.first;
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(entry.first), "TEXT");
        ASSERT_TRUE(found != NULL) << entry.second;
        const Bytef *data = (const Bytef *)LockResource(LoadResource(module, found));
        uLongf length = (uLongf)inflated.size();
        ASSERT_EQ(Z_OK, uncompress(inflated.data(), &length, data, SizeofResource(module, found)))
            << entry.second;
        std::vector<unsigned char> original = ReadWholeFile(PayloadFilePath(entry.second.c_str()));
        ASSERT_EQ(original.size(), (size_t)length) << entry.second;
        EXPECT_EQ(0, memcmp(original.data(), inflated.data(), length)) << entry.second;
    }

    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDD_WIZARD), (LPCSTR)RT_DIALOG));
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDD_MESSAGE_BOX), (LPCSTR)RT_DIALOG));
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDD_FOLDER_CHOOSER), (LPCSTR)RT_DIALOG));
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(IDI_WIZARD), (LPCSTR)RT_GROUP_ICON));
    FreeLibrary(module);
}

// Payload resources of this test program turned into files: 900 is a
// 100-byte text, 901 an empty file, 902 to 904 broken streams.

#include <io.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "payload/payload.h"
#include "tests/driver/driver.h"
#include "wizard/wizard.h"

static const DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

class Extraction : public testing::Test {
protected:
    unsigned char buffer[4096];
    std::string folder;

    void SetUp() override
    {
        ModuleInstance = GetModuleHandleA(NULL);
        const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
        folder = std::string("C:\\extract-") + info->name();
        CreateDirectoryA(folder.c_str(), NULL);
        lstrcpynA(InstallFolderPath, folder.c_str(), MAX_PATH);
    }

    std::string Target(const char *name) const { return folder + "\\" + name; }

    PayloadEntry Entry(int id, const char *name, int capacity = 4096, int readOnly = 0,
                       int hidden = 0, const char *explicitPath = nullptr)
    {
        PayloadEntry entry = { id, name, buffer, capacity, readOnly, hidden, explicitPath };
        return entry;
    }

    static void Plant(const std::string &path, const char *content, DWORD attributes)
    {
        ASSERT_TRUE(PlantFile(path, content, attributes)) << path;
    }

    static std::string Content(const std::string &path)
    {
        return ReadFileText(path);
    }

    static DWORD Attributes(const std::string &path)
    {
        return GetFileAttributesA(path.c_str()) & (kReadOnlyHidden | FILE_ATTRIBUTE_ARCHIVE);
    }
};

static std::string HundredBytes()
{
    std::string source = TestSetting("LUNKO_SOURCE_DIR");
    return ReadFileText(DosPath(source + "/tests/data/extract/hundred.txt"));
}

TEST_F(Extraction, WritesTheInflatedFileWithTheRequestedAttributes)
{
    ASSERT_EQ(100u, HundredBytes().size());
    EXPECT_EQ(1, ExtractPayload(Entry(900, "a.txt", 4096, 1, 1)));
    EXPECT_EQ(HundredBytes(), Content(Target("a.txt")));
    EXPECT_EQ(kReadOnlyHidden, Attributes(Target("a.txt")) & kReadOnlyHidden);

    EXPECT_EQ(1, ExtractPayload(Entry(900, "b.txt", 4096, 0, 1)));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_HIDDEN, Attributes(Target("b.txt")) & kReadOnlyHidden);
    EXPECT_EQ(1, ExtractPayload(Entry(900, "c.txt", 4096, 0, 0)));
    EXPECT_EQ(0u, Attributes(Target("c.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, ReplacesAReadOnlyHiddenFileOfAnEarlierInstallation)
{
    Plant(Target("old.txt"), "an earlier, longer version of the file that must go away entirely",
          kReadOnlyHidden);
    EXPECT_EQ(1, ExtractPayload(Entry(900, "old.txt")));
    EXPECT_EQ(HundredBytes(), Content(Target("old.txt")));
    EXPECT_EQ(0u, Attributes(Target("old.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, RewritesTheSameFileTwiceWithTheReadOnlyFlag)
{
    EXPECT_EQ(1, ExtractPayload(Entry(900, "twice.txt", 4096, 1, 0)));
    EXPECT_EQ(1, ExtractPayload(Entry(900, "twice.txt", 4096, 1, 0)));
    EXPECT_EQ(HundredBytes(), Content(Target("twice.txt")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, Attributes(Target("twice.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, RefusesContentOneByteLargerThanTheBufferAndLeavesTheTargetAlone)
{
    Plant(Target("keep.txt"), "old content", kReadOnlyHidden);
    EXPECT_EQ(0, ExtractPayload(Entry(900, "keep.txt", 99)));
    EXPECT_EQ("old content", Content(Target("keep.txt")));
    EXPECT_EQ(kReadOnlyHidden, Attributes(Target("keep.txt")) & kReadOnlyHidden);

    EXPECT_EQ(1, ExtractPayload(Entry(900, "exact.txt", 100)));
    EXPECT_EQ(HundredBytes(), Content(Target("exact.txt")));
}

TEST_F(Extraction, RefusesBrokenStreamsAndMissingResourcesWithoutTouchingTheTarget)
{
    Plant(Target("keep.txt"), "old content", FILE_ATTRIBUTE_READONLY);
    for (int id : { 902, 903, 904, 905 }) {
        EXPECT_EQ(0, ExtractPayload(Entry(id, "keep.txt"))) << "resource " << id;
        EXPECT_EQ(0, ExtractPayload(Entry(id, "new.txt"))) << "resource " << id;
    }
    EXPECT_EQ("old content", Content(Target("keep.txt")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, Attributes(Target("keep.txt")) & kReadOnlyHidden);
    EXPECT_NE(0, _access(Target("new.txt").c_str(), 0)) << "no file is created";
}

TEST_F(Extraction, WritesAnEmptyFileForAnEmptyPayload)
{
    Plant(Target("empty.bin"), "something", 0);
    EXPECT_EQ(1, ExtractPayload(Entry(901, "empty.bin", 4096, 1, 0)));
    EXPECT_EQ(0, _access(Target("empty.bin").c_str(), 0));
    EXPECT_EQ("", Content(Target("empty.bin")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, Attributes(Target("empty.bin")) & kReadOnlyHidden);
}

TEST_F(Extraction, UsesAnExplicitPathInsteadOfTheFolderAndName)
{
    std::string elsewhere = folder + "-elsewhere";
    CreateDirectoryA(elsewhere.c_str(), NULL);
    std::string path = elsewhere + "\\speech.msi";
    EXPECT_EQ(1, ExtractPayload(Entry(900, "ignored.txt", 4096, 0, 0, path.c_str())));
    EXPECT_EQ(HundredBytes(), Content(path));
    EXPECT_NE(0, _access(Target("ignored.txt").c_str(), 0));
}

TEST_F(Extraction, FailsOnAFileHeldOpenWithoutSharingAfterClearingItsAttributes)
{
    Plant(Target("busy.txt"), "in use", kReadOnlyHidden);
    HANDLE held = CreateFileA(Target("busy.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, ExtractPayload(Entry(900, "busy.txt", 4096, 1, 1)));
    CloseHandle(held);
    EXPECT_EQ("in use", Content(Target("busy.txt")));
    EXPECT_EQ(0u, Attributes(Target("busy.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, FailsWhenTheFolderDoesNotExist)
{
    lstrcpyA(InstallFolderPath, "C:\\no-such-folder\\below");
    EXPECT_EQ(0, ExtractPayload(Entry(900, "a.txt")));
}

// Makes nested folders below `base` until the path is `length` characters
// long (components of at most 51 characters, Linux's limit being far away).
static std::string DeepFolder(const std::string &base, size_t length)
{
    std::string path = base;
    size_t rest = length - base.size();
    size_t parts = (rest + 51) / 52;
    for (size_t i = 0; i < parts; i++) {
        size_t size = (rest - parts) / parts + (i < (rest - parts) % parts ? 1 : 0);
        path += "\\" + std::string(size, 'd');
        CreateDirectoryA(path.c_str(), NULL);
    }
    return path;
}

TEST_F(Extraction, RefusesPathsLongerThan259CharactersInsteadOfOverrunning)
{
    std::string deep = DeepFolder(folder, 250);
    ASSERT_EQ(250u, deep.size());
    lstrcpyA(InstallFolderPath, deep.c_str());
    EXPECT_EQ(1, ExtractPayload(Entry(900, "12345678")));          // 259 characters
    EXPECT_EQ(HundredBytes(), Content(deep + "\\12345678"));
    EXPECT_EQ(0, ExtractPayload(Entry(900, "123456789")));         // 260
    EXPECT_NE(0, _access((deep + "\\123456789").c_str(), 0)) << "nothing written for 260";

    std::string explicit259 = deep + "\\abcdefgh";
    std::string explicit260 = deep + "\\abcdefghi";
    EXPECT_EQ(1, ExtractPayload(Entry(900, "x", 4096, 0, 0, explicit259.c_str())));
    EXPECT_EQ(0, ExtractPayload(Entry(900, "x", 4096, 0, 0, explicit260.c_str())));
    std::string huge(5000, 'x');
    EXPECT_EQ(0, ExtractPayload(Entry(900, huge.c_str())));
    EXPECT_EQ(0, ExtractPayload(Entry(900, "x", 4096, 0, 0, huge.c_str())));
}

TEST_F(Extraction, InflatesIntoMemoryWithTheInflatedLength)
{
    unsigned long length = 0;
    EXPECT_EQ(1, InflatePayloadResource(900, buffer, sizeof buffer, &length));
    EXPECT_EQ(100u, length);
    EXPECT_EQ(HundredBytes(), std::string((char *)buffer, length));
    EXPECT_EQ(1, InflatePayloadResource(901, buffer, sizeof buffer, &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(0, InflatePayloadResource(905, buffer, sizeof buffer, &length));
    // Only the low 16 bits name the resource.
    EXPECT_EQ(1, InflatePayloadResource(0x10000 + 900, buffer, sizeof buffer, &length));
}

// Payload resources of this test program turned into files: 900 is a
// 100-byte text, 901 an empty file, 902 to 904 broken streams.

#include <io.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

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
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "a.txt", 4096, 1, 1)));
    EXPECT_EQ(HundredBytes(), Content(Target("a.txt")));
    EXPECT_EQ(kReadOnlyHidden, Attributes(Target("a.txt")) & kReadOnlyHidden);

    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "b.txt", 4096, 0, 1)));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_HIDDEN, Attributes(Target("b.txt")) & kReadOnlyHidden);
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "c.txt", 4096, 0, 0)));
    EXPECT_EQ(0u, Attributes(Target("c.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, ReplacesAReadOnlyHiddenFileOfAnEarlierInstallation)
{
    Plant(Target("old.txt"), "an earlier, longer version of the file that must go away entirely",
          kReadOnlyHidden);
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "old.txt")));
    EXPECT_EQ(HundredBytes(), Content(Target("old.txt")));
    EXPECT_EQ(0u, Attributes(Target("old.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, RewritesTheSameFileTwiceWithTheReadOnlyFlag)
{
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "twice.txt", 4096, 1, 0)));
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "twice.txt", 4096, 1, 0)));
    EXPECT_EQ(HundredBytes(), Content(Target("twice.txt")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, Attributes(Target("twice.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, RefusesContentOneByteLargerThanTheBufferAndLeavesTheTargetAlone)
{
    Plant(Target("keep.txt"), "old content", kReadOnlyHidden);
    EXPECT_EQ(kPayloadDamaged, ExtractPayload(Entry(900, "keep.txt", 99)));
    EXPECT_EQ("old content", Content(Target("keep.txt")));
    EXPECT_EQ(kReadOnlyHidden, Attributes(Target("keep.txt")) & kReadOnlyHidden);

    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "exact.txt", 100)));
    EXPECT_EQ(HundredBytes(), Content(Target("exact.txt")));
}

TEST_F(Extraction, RefusesBrokenStreamsAndMissingResourcesWithoutTouchingTheTarget)
{
    Plant(Target("keep.txt"), "old content", FILE_ATTRIBUTE_READONLY);
    for (int id : { 902, 903, 904, 905 }) {
        EXPECT_EQ(kPayloadDamaged, ExtractPayload(Entry(id, "keep.txt"))) << "resource " << id;
        EXPECT_EQ(kPayloadDamaged, ExtractPayload(Entry(id, "new.txt"))) << "resource " << id;
    }
    EXPECT_EQ("old content", Content(Target("keep.txt")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, Attributes(Target("keep.txt")) & kReadOnlyHidden);
    EXPECT_NE(0, _access(Target("new.txt").c_str(), 0)) << "no file is created";
}

TEST_F(Extraction, WritesAnEmptyFileForAnEmptyPayload)
{
    Plant(Target("empty.bin"), "something", 0);
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(901, "empty.bin", 4096, 1, 0)));
    EXPECT_EQ(0, _access(Target("empty.bin").c_str(), 0));
    EXPECT_EQ("", Content(Target("empty.bin")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_READONLY, Attributes(Target("empty.bin")) & kReadOnlyHidden);
}

TEST_F(Extraction, UsesAnExplicitPathInsteadOfTheFolderAndName)
{
    std::string elsewhere = folder + "-elsewhere";
    CreateDirectoryA(elsewhere.c_str(), NULL);
    std::string path = elsewhere + "\\speech.msi";
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "ignored.txt", 4096, 0, 0, path.c_str())));
    EXPECT_EQ(HundredBytes(), Content(path));
    EXPECT_NE(0, _access(Target("ignored.txt").c_str(), 0));
}

TEST_F(Extraction, FailsOnAFileHeldOpenWithoutSharingAfterClearingItsAttributes)
{
    Plant(Target("busy.txt"), "in use", kReadOnlyHidden);
    HANDLE held = CreateFileA(Target("busy.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(kPayloadInUse, ExtractPayload(Entry(900, "busy.txt", 4096, 1, 1)));
    CloseHandle(held);
    EXPECT_EQ("in use", Content(Target("busy.txt")));
    EXPECT_EQ(0u, Attributes(Target("busy.txt")) & kReadOnlyHidden);
}

TEST_F(Extraction, FailsWhenTheFolderDoesNotExist)
{
    lstrcpyA(InstallFolderPath, "C:\\no-such-folder\\below");
    EXPECT_EQ(kPayloadFolderGone, ExtractPayload(Entry(900, "a.txt")));
}

TEST_F(Extraction, FailsWithAccessDeniedWhereAFolderHasTheFilesName)
{
    CreateDirectoryA(Target("taken.txt").c_str(), NULL);
    EXPECT_EQ(kPayloadAccessDenied, ExtractPayload(Entry(900, "taken.txt")));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(Target("taken.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

// Only the reparse points that send a write elsewhere are refused; Wine
// cannot make any, so the decision is tried with the tags themselves.
TEST(ReparsePoints, RefuseOnlySymbolicLinksAndMountPoints)
{
    static const struct {
        DWORD attributes;
        DWORD tag;
        int redirects;
    } kCases[] = {
        { FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, 1 },
        { FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT, 1 },     // a junction
        { FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY, IO_REPARSE_TAG_SYMLINK, 1 },
        { FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, 0 },                      // a cloud placeholder
        { FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_OFFLINE, 0x9000701A, 0 },
        { FILE_ATTRIBUTE_REPARSE_POINT, 0x80000013, 0 },                      // deduplicated
        { FILE_ATTRIBUTE_REPARSE_POINT, 0x80000017, 0 },                      // WOF-compressed
        { FILE_ATTRIBUTE_NORMAL, IO_REPARSE_TAG_SYMLINK, 0 },                 // a stale tag, no reparse point
        { FILE_ATTRIBUTE_ARCHIVE, 0, 0 },
    };
    for (const auto &c : kCases)
        EXPECT_EQ(c.redirects, RedirectsWrites(c.attributes, c.tag)) << std::hex << c.attributes << " " << c.tag;
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
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "12345678")));          // 259 characters
    EXPECT_EQ(HundredBytes(), Content(deep + "\\12345678"));
    EXPECT_EQ(kPayloadFailed, ExtractPayload(Entry(900, "123456789")));    // 260
    EXPECT_NE(0, _access((deep + "\\123456789").c_str(), 0)) << "nothing written for 260";

    std::string explicit259 = deep + "\\abcdefgh";
    std::string explicit260 = deep + "\\abcdefghi";
    EXPECT_EQ(kPayloadWritten, ExtractPayload(Entry(900, "x", 4096, 0, 0, explicit259.c_str())));
    EXPECT_EQ(kPayloadFailed, ExtractPayload(Entry(900, "x", 4096, 0, 0, explicit260.c_str())));
    std::string huge(5000, 'x');
    EXPECT_EQ(kPayloadFailed, ExtractPayload(Entry(900, huge.c_str())));
    EXPECT_EQ(kPayloadFailed, ExtractPayload(Entry(900, "x", 4096, 0, 0, huge.c_str())));
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

// The inflater against zlib's own one-call inflation: streams zlib writes
// with every block kind (stored, fixed, dynamic; matches near and far, runs,
// literals only), each also cut at every length and changed at random
// bytes. Both must agree on success and, on success, on the bytes. Ours
// reads its input and writes its output flush against no-access pages
// (the output once at each end), so that a read or write outside them
// faults instead of going unseen behind a failed check sum.
static unsigned char *FencedBlock(size_t size, bool flushAtEnd, void **region)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_t page = system.dwPageSize, inner = (size + page - 1) / page * page;
    unsigned char *base = (unsigned char *)VirtualAlloc(NULL, inner + 2 * page, MEM_RESERVE | MEM_COMMIT,
                                                        PAGE_READWRITE);
    DWORD old;
    VirtualProtect(base, page, PAGE_NOACCESS, &old);
    VirtualProtect(base + page + inner, page, PAGE_NOACCESS, &old);
    *region = base;
    return flushAtEnd ? base + page + inner - size : base + page;
}

static void ExpectInflatesAsZlib(const std::vector<unsigned char> &stream, unsigned long capacity,
                                 const std::string &what)
{
    std::vector<unsigned char> theirs(capacity + 1);
    uLongf theirLength = capacity;
    int zlibOk = uncompress(theirs.data(), &theirLength, stream.data(), stream.size()) == Z_OK;
    for (bool flushAtEnd : { false, true }) {
        void *inRegion, *outRegion;
        unsigned char *in = FencedBlock(stream.size(), true, &inRegion);
        unsigned char *out = FencedBlock(capacity, flushAtEnd, &outRegion);
        memcpy(in, stream.data(), stream.size());
        unsigned long ourLength = 0;
        int ok = InflateZlibStream(out, capacity, &ourLength, in, stream.size());
        bool same = ok == zlibOk && (!ok || (ourLength == theirLength && !memcmp(out, theirs.data(), ourLength)));
        VirtualFree(inRegion, 0, MEM_RELEASE);
        VirtualFree(outRegion, 0, MEM_RELEASE);
        ASSERT_TRUE(same) << what << ": ours " << ok << ", zlib " << zlibOk;
    }
}

TEST(Inflater, AcceptsAndRefusesExactlyWhatZlibsUncompressDoes)
{
    std::mt19937 random(20261209);
    std::vector<std::vector<unsigned char>> contents(5);
    for (int i = 0; i < 70000; i++)
        contents[0].push_back((unsigned char)("the word base and the glyph sheets "[i % 35] ^ (i % 997 == 0)));
    for (int i = 0; i < 40000; i++)
        contents[1].push_back((unsigned char)random());
    contents[2].assign(100000, 'z');
    for (int i = 0; i < 50000; i++)     // repeats from up to 32 KiB back
        contents[3].push_back(i < 300 || random() % 50 == 0 ? (unsigned char)random()
                                                             : contents[3][i - 1 - random() % (i < 32768 ? i : 32768)]);
    static const struct { int level, strategy; } kKinds[] = {
        { 0, Z_DEFAULT_STRATEGY }, { 1, Z_DEFAULT_STRATEGY }, { 9, Z_DEFAULT_STRATEGY },
        { 9, Z_FIXED }, { 9, Z_HUFFMAN_ONLY }, { 9, Z_RLE }, { 6, Z_FILTERED } };
    for (size_t c = 0; c < contents.size(); c++) {
        for (const auto &kind : kKinds) {
            const std::vector<unsigned char> &content = contents[c];
            z_stream z = {};
            ASSERT_EQ(Z_OK, deflateInit2(&z, kind.level, Z_DEFLATED, 15, 9, kind.strategy));
            std::vector<unsigned char> stream(content.size() * 2 + 1024);
            z.next_in = (Bytef *)content.data();
            z.avail_in = (uInt)content.size();
            z.next_out = stream.data();
            z.avail_out = (uInt)stream.size();
            ASSERT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
            stream.resize(z.total_out);
            deflateEnd(&z);
            std::string what = "content " + std::to_string(c) + ", level " + std::to_string(kind.level)
                             + ", strategy " + std::to_string(kind.strategy);

            std::vector<unsigned char> out(content.size() + 1);
            unsigned long length = 0;
            ASSERT_EQ(1, InflateZlibStream(out.data(), content.size(), &length, stream.data(), stream.size()))
                << what;
            ASSERT_EQ(content.size(), length) << what;
            ASSERT_EQ(0, memcmp(out.data(), content.data(), length)) << what;
            if (!content.empty())
                ExpectInflatesAsZlib(stream, content.size() - 1, what + ", one byte short of room");
            std::vector<unsigned char> trailing = stream;
            trailing.push_back(0x55);
            ExpectInflatesAsZlib(trailing, content.size(), what + ", a byte after the stream");
            for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 16)
                ExpectInflatesAsZlib(std::vector<unsigned char>(stream.begin(), stream.begin() + cut),
                                     content.size(), what + ", cut to " + std::to_string(cut));
            for (int round = 0; round < 150; round++) {
                std::vector<unsigned char> changed = stream;
                size_t at = random() % (round < 50 ? std::min<size_t>(changed.size(), 64) : changed.size());
                changed[at] ^= (unsigned char)(1 + random() % 255);
                ExpectInflatesAsZlib(changed, content.size() + 64, what + ", byte " + std::to_string(at) + " changed");
            }
        }
    }
    // A stream cut inside its Adler-32 whose missing bytes are zeros: the
    // zeros an inflater reads past the end would make the check pass.
    std::string zeros(273, '\xF0');     // 1 + 273 x 240 = 65521: the low half is 0
    ASSERT_EQ(0u, adler32(1, (const Bytef *)zeros.data(), (uInt)zeros.size()) & 0xFFFF);
    std::vector<unsigned char> packed(compressBound((uLong)zeros.size()));
    uLongf packedLength = (uLongf)packed.size();
    ASSERT_EQ(Z_OK, compress(packed.data(), &packedLength, (const Bytef *)zeros.data(), (uLong)zeros.size()));
    for (int missing = 0; missing <= 2; missing++)
        ExpectInflatesAsZlib(std::vector<unsigned char>(packed.begin(), packed.begin() + packedLength - missing),
                             (unsigned long)zeros.size(), "check bytes missing: " + std::to_string(missing));

    // A preset dictionary is refused, and so is nothing at all.
    static const unsigned char kDictionary[] = { 0x78, 0xBB, 0, 0, 0, 1, 3, 0, 0, 0, 0, 1 };
    unsigned char out[16];
    unsigned long length = 0;
    ExpectInflatesAsZlib(std::vector<unsigned char>(kDictionary, kDictionary + sizeof kDictionary), 16,
                         "a preset dictionary");
    EXPECT_EQ(0, InflateZlibStream(out, sizeof out, &length, kDictionary, sizeof kDictionary));
    EXPECT_EQ(0, InflateZlibStream(out, sizeof out, &length, NULL, 0));
}

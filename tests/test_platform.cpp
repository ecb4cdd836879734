// The version flags and the system language, read from the real platform
// calls under the Windows version and locale this run pretends.

#include <stdlib.h>

#include <gtest/gtest.h>

#include "tests/driver/driver.h"
#include "render/render.h"
#include "wizard/wizard.h"

TEST(PlatformFlags, FollowThePlatformIdAndMajorVersion)
{
    std::string expected = TestSetting("LUNKO_EXPECT_FLAGS");
    if (expected.empty())
        GTEST_SKIP() << "this run names no expected flags";
    ReadPlatformFlags();
    char actual[16];
    snprintf(actual, sizeof actual, "%d %d %d %d", NtPlatform, VersionThree, DocumentRegistration, NtFiveOrLater);
    EXPECT_EQ(expected, actual) << "NT platform, version 3, document registration, NT 5 or later";
}

// Each reading sets all four anew: values that no reading gives do not
// survive a second one.
TEST(PlatformFlags, StayClearWhenReadTwiceOnTheSameSystem)
{
    ReadPlatformFlags();
    int first[4] = { NtPlatform, VersionThree, DocumentRegistration, NtFiveOrLater };
    NtPlatform = VersionThree = DocumentRegistration = NtFiveOrLater = 7;
    ReadPlatformFlags();
    EXPECT_EQ(first[0], NtPlatform);
    EXPECT_EQ(first[1], VersionThree);
    EXPECT_EQ(first[2], DocumentRegistration);
    EXPECT_EQ(first[3], NtFiveOrLater);
}

TEST(SystemLanguage, FollowsTheLanguageIdAndAnsiCodePage)
{
    std::string expected = TestSetting("LUNKO_EXPECT_LANGUAGE");
    if (expected.empty())
        GTEST_SKIP() << "this run names no expected language";
    EXPECT_EQ(atoi(expected.c_str()), DetectSystemLanguage())
        << "LANGID " << std::hex << GetSystemDefaultLangID() << " ACP " << std::dec << GetACP();
}

// Both halves of the rule, on their own inputs: a Chinese language id counts
// only with a multi-byte ANSI code page.
TEST(SystemLanguage, IsChineseOnlyForAChineseLanguageIdWithAMultiByteCodePage)
{
    struct Case {
        LANGID language;
        int multiByte;
        UiLanguage expected;
    };
    static const Case kCases[] = {
        { 0x0804, 1, 1 }, { 0x1004, 1, 1 },                     // PRC, Singapore
        { 0x0404, 1, 2 }, { 0x0C04, 1, 2 }, { 0x1404, 1, 2 },   // Taiwan, Hong Kong, Macau
        { 0x0804, 0, 0 }, { 0x0404, 0, 0 }, { 0x0C04, 0, 0 },   // Chinese on code page 1252
        { 0x0409, 1, 0 }, { 0x0411, 1, 0 }, { 0x0409, 0, 0 },   // English, Japanese
        { 0x0004, 1, 1 }, { 0x7C04, 1, 2 },                     // neutral Chinese ids
    };
    for (const Case &c : kCases)
        EXPECT_EQ(c.expected, SystemLanguageFor(c.language, c.multiByte))
            << "LANGID " << std::hex << c.language << " multi-byte " << c.multiByte;
}

TEST(SystemLanguage, IsEnglishWheneverTheAnsiCodePageIsSingleByte)
{
    if (AnsiCodePageIsMultiByte())
        GTEST_SKIP() << "this run has a multibyte code page";
    EXPECT_EQ(0, DetectSystemLanguage());
}

TEST(AnsiCodePage, IsMultiByteExactlyForDoubleByteCodePages)
{
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    UINT acp = GetACP();
    bool doubleByte = acp == 932 || acp == 936 || acp == 949 || acp == 950;
    EXPECT_EQ(doubleByte ? 1 : 0, AnsiCodePageIsMultiByte()) << "ACP " << acp;
}

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
    snprintf(actual, sizeof actual, "%d %d %d", NtPlatform, VersionThree, DocumentRegistration);
    EXPECT_EQ(expected, actual) << "NT platform, version 3, document registration";
}

TEST(PlatformFlags, StayClearWhenReadTwiceOnTheSameSystem)
{
    ReadPlatformFlags();
    int first[3] = { NtPlatform, VersionThree, DocumentRegistration };
    ReadPlatformFlags();
    EXPECT_EQ(first[0], NtPlatform);
    EXPECT_EQ(first[1], VersionThree);
    EXPECT_EQ(first[2], DocumentRegistration);
}

TEST(SystemLanguage, FollowsTheLanguageIdAndAnsiCodePage)
{
    std::string expected = TestSetting("LUNKO_EXPECT_LANGUAGE");
    if (expected.empty())
        GTEST_SKIP() << "this run names no expected language";
    EXPECT_EQ(atoi(expected.c_str()), DetectSystemLanguage())
        << "LANGID " << std::hex << GetSystemDefaultLangID() << " ACP " << std::dec << GetACP();
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

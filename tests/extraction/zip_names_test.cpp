// Entry name checks: which names are UTF-8 and which may be written beneath the destination.
#include "extraction/zip_names.h"

#include <gtest/gtest.h>

namespace {

using extraction::IsValidUtf8;
using extraction::NameSeparators;
using extraction::PrintableName;
using extraction::UnsafeNameReason;
using extraction::ZipNameCharset;
using extraction::ZipNameCharsetVote;

TEST(ZipNamesTest, RecognisesWellFormedUtf8Only)
{
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("kelvoClient/readme.txt"));
    EXPECT_TRUE(IsValidUtf8("课件/第一课.txt"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x93\x9A.pdf")); // U+1F4DA
    EXPECT_FALSE(IsValidUtf8("\xBF\xCE\xBC\xFE")); // 课件 in CP936
    EXPECT_FALSE(IsValidUtf8("\xD6\xD0")); // 中 in CP936
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF")); // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF")); // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE8\xAF")); // cut short
}

TEST(ZipNamesTest, OneNameOutsideUtf8MakesTheArchiveCp936)
{
    ZipNameCharsetVote vote;
    vote.Add("kelvoClient/");
    vote.Add("课件/说明.txt");
    EXPECT_EQ(vote.Result(), ZipNameCharset::Utf8);
    vote.Add("\xCB\xB5\xC3\xF7.txt");
    vote.Add("plain.txt");
    EXPECT_EQ(vote.Result(), ZipNameCharset::Cp936);
}

TEST(ZipNamesTest, RefusesNamesLeavingTheDestination)
{
    const char* const refused[] = {
        "",
        "/etc/passwd",
        "\\windows\\evil.dll",
        "C:/evil.txt",
        "c:evil.txt",
        "..",
        "../evil",
        "a/../../evil",
        "a/..",
        "a\\..\\..\\evil",
        "a/..\\evil",
    };
    for (const char* name : refused)
        EXPECT_TRUE(UnsafeNameReason(name).has_value()) << name;

    const char* const accepted[] = {
        "kelvoClient/",
        "kelvoClient/bin/app.exe",
        "./a.txt",
        "a/./b",
        "..a",
        "a..",
        "a/..b/c",
        "...",
        "课件/第一课.txt",
        "1:2.txt",
    };
    for (const char* name : accepted)
        EXPECT_FALSE(UnsafeNameReason(name).has_value()) << name;
}

TEST(ZipNamesTest, BackslashSeparatesOnlyWhenAsked)
{
    // 奬 in CP936 is 8A 5C: its trail byte is a backslash.
    const char* cp936 = "\x8A\x5C..";
    EXPECT_FALSE(UnsafeNameReason(cp936, NameSeparators::SlashOnly).has_value());
    EXPECT_TRUE(UnsafeNameReason(cp936, NameSeparators::SlashAndBackslash).has_value());
    EXPECT_TRUE(UnsafeNameReason("../x", NameSeparators::SlashOnly).has_value());
}

TEST(ZipNamesTest, PrintableNameIsOneSafeLine)
{
    EXPECT_EQ(PrintableName("课件/a.txt"), "课件/a.txt");
    EXPECT_EQ(PrintableName("a\nb\"c\\d"), "a\\x0Ab\\\"c\\\\d");
    EXPECT_EQ(PrintableName("\xBF\xCE"), "\\xBF\\xCE");
}

} // namespace

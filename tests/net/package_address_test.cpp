#include "net/package_address.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <ostream>
#include <string>

namespace {

struct KeyCase {
    std::string key;
    std::string fileName;
    bool safe;
};

// Test names show the key with its unprintable and non-ASCII bytes escaped.
void PrintTo(const KeyCase& c, std::ostream* out)
{
    if (c.key.size() > 24) {
        *out << c.key.size() << " bytes of '" << c.key.front() << "'";
        return;
    }
    for (const char byte : c.key) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x20 || code >= 0x7F || byte == '\\') {
            *out << "\\x" << std::hex << std::setw(2) << std::setfill('0') << int(code) << std::dec;
        } else {
            *out << byte;
        }
    }
}

std::string Repeat(const std::string& text, int times)
{
    std::string repeated;
    for (int i = 0; i < times; ++i)
        repeated += text;
    return repeated;
}

class PackageKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(PackageKeyTest, MakesFileNameAndJudgesIt)
{
    const KeyCase& c = GetParam();
    EXPECT_EQ(MakePackageFileName(c.key), c.fileName);
    EXPECT_EQ(IsSafePackageKey(c.key), c.safe);
}

// Rows: the file-name rule and the key check together.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Keys, PackageKeyTest, testing::Values(
    // Letters lowered, the dash and everything after it dropped.
    KeyCase{"GradeFive-Term2", "gradefive.zip", true},
    KeyCase{"MATH3A", "math3a.zip", true},
    KeyCase{"A-B-C", "a.zip", true},
    KeyCase{"2024v1", "2024v1.zip", true},
    KeyCase{"ab_c.D~e", "ab_c.d~e.zip", true},
    // Chinese and other non-ASCII letters pass through unchanged and are welcome; capitals
    // beyond ASCII are not lowered.
    KeyCase{"语文三年级上-2026", "语文三年级上.zip", true},
    KeyCase{"ÉCOLE", "École.zip", true},
    // Only the capitals 'A'..'Z' change: their neighbours '@' and '[' stay.
    KeyCase{"AZ@[", "az@[.zip", true},
    // Blanks, '%', '#' and double dots make a plain file name; the URL encodes them.
    KeyCase{"a b", "a b.zip", true},
    KeyCase{"a%2Fb#c", "a%2fb#c.zip", true},
    KeyCase{"a..b", "a..b.zip", true},
    // Nothing before ".zip", or a name that begins with a dot.
    KeyCase{"-Rest", ".zip", false},
    KeyCase{"", ".zip", false},
    KeyCase{".", "..zip", false},
    KeyCase{".hidden", ".hidden.zip", false},
    // What follows the dash never reaches the name.
    KeyCase{"Book7-../../etc/passwd", "book7.zip", true},
    // Separators (every reserved character: below).
    KeyCase{"../x", "../x.zip", false},
    KeyCase{"a\\b", "a\\b.zip", false},
    // Control characters: C0, DEL and C1.
    KeyCase{"a\tb", "a\tb.zip", false},
    KeyCase{std::string("a\x01" "b"), std::string("a\x01" "b.zip"), false},
    KeyCase{"a\x7F", "a\x7F.zip", false},
    KeyCase{"a\xC2\x85", "a\xC2\x85.zip", false},
    // Bytes that are not UTF-8: a lone continuation byte, a cut sequence, an overlong '/',
    // a surrogate, GBK bytes.
    KeyCase{"a\x80", "a\x80.zip", false},
    KeyCase{"\xE8\xAF", "\xE8\xAF.zip", false},
    KeyCase{"\xC0\xAF", "\xC0\xAF.zip", false},
    KeyCase{"\xED\xA0\x80", "\xED\xA0\x80.zip", false},
    KeyCase{"\xD3\xEF\xCE\xC4", "\xD3\xEF\xCE\xC4.zip", false},
    // The name must fit a file system's 255 bytes (a Chinese letter is three).
    KeyCase{std::string(251, 'K'), std::string(251, 'k') + ".zip", true},
    KeyCase{std::string(252, 'K'), std::string(252, 'k') + ".zip", false},
    KeyCase{Repeat("课", 83), Repeat("课", 83) + ".zip", true},
    KeyCase{Repeat("课", 84), Repeat("课", 84) + ".zip", false}));
// clang-format on

TEST(PackageKeyCheck, RefusesSeparatorsAndWhatWindowsReserves)
{
    for (const char reserved : std::string_view("/\\:*?\"<>|"))
        EXPECT_FALSE(IsSafePackageKey(std::string("a") + reserved + "b")) << reserved;
}

TEST(PackageAddressTest, TheUrlCarriesTheNamePercentEncoded)
{
    EXPECT_EQ(PackageUrl("http://h/setup/", "语文三年级上.zip"),
        "http://h/setup/%E8%AF%AD%E6%96%87%E4%B8%89%E5%B9%B4%E7%BA%A7%E4%B8%8A.zip");
    EXPECT_EQ(EncodeUrlFileName("aZ09-._~ %#?+&/"), "aZ09-._~%20%25%23%3F%2B%26%2F");
}

TEST(PackageAddressTest, BaseUrlsEndWithSlash)
{
    ASSERT_FALSE(cloudBaseUrl.empty());
    ASSERT_FALSE(cloudBaseUrlAlt.empty());
    EXPECT_EQ(cloudBaseUrl.back(), '/');
    EXPECT_EQ(cloudBaseUrlAlt.back(), '/');
    EXPECT_TRUE(activeCloudBaseUrl.empty());
    EXPECT_TRUE(packageFileName.empty());
}

} // namespace

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

class PackageKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(PackageKeyTest, MakesFileNameAndJudgesIt)
{
    const KeyCase& c = GetParam();
    EXPECT_EQ(MakePackageFileName(c.key), c.fileName);
    EXPECT_EQ(IsSafePackageKey(c.key), c.safe);
}

INSTANTIATE_TEST_SUITE_P(Keys, PackageKeyTest, testing::Values(
    // Letters lowered, the dash and everything after it dropped.
    KeyCase{"GradeFive-Term2", "gradefive.zip", true},
    KeyCase{"MATH3A", "math3a.zip", true},
    KeyCase{"A-B-C", "a.zip", true},
    KeyCase{"2024v1", "2024v1.zip", true},
    KeyCase{"ab_c.D~e", "ab_c.d~e.zip", true},
    // Only the capitals 'A'..'Z' change: their neighbours '@' and '[' stay.
    KeyCase{"AZ@[", "az@[.zip", false},
    // A key that begins with a dash, or none at all, names ".zip".
    KeyCase{"-Rest", ".zip", true},
    KeyCase{"", ".zip", true},
    // What follows the dash never reaches the name.
    KeyCase{"Book7-../../etc/passwd", "book7.zip", true},
    // Paths and parent references.
    KeyCase{"../x", "../x.zip", false},
    KeyCase{"a/b", "a/b.zip", false},
    KeyCase{"a\\b", "a\\b.zip", false},
    KeyCase{"a..b", "a..b.zip", false},
    KeyCase{"book.", "book..zip", false},
    // Bytes that change a URL's meaning or would need encoding.
    KeyCase{"a?b", "a?b.zip", false},
    KeyCase{"a#b", "a#b.zip", false},
    KeyCase{"a%2Fb", "a%2fb.zip", false},
    KeyCase{"a b", "a b.zip", false},
    KeyCase{"a\tb", "a\tb.zip", false},
    KeyCase{std::string("a\x01" "b"), std::string("a\x01" "b.zip"), false},
    // Non-ASCII bytes pass through unchanged, and are refused.
    KeyCase{"\xE8\xAF\xBE" "A", "\xE8\xAF\xBE" "a.zip", false},
    // The name must fit a file system's 255 bytes.
    KeyCase{std::string(251, 'K'), std::string(251, 'k') + ".zip", true},
    KeyCase{std::string(252, 'K'), std::string(252, 'k') + ".zip", false}));

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

#include "platform/win32.h"
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class LetterPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_disk = m_fixture.Folder("disk");
        m_stick = m_fixture.Folder("stick with space");
        m_fixture.Write("C fixed " + m_disk.string() + "\nE removable " + m_stick.string() + "\n");
    }

    VolumeMapFixture m_fixture;
    std::filesystem::path m_disk;
    std::filesystem::path m_stick;
};

TEST_F(LetterPathTest, LetterPathsBecomePathsUnderTheVolume)
{
    const struct {
        const char* path;
        std::optional<std::string> native;
    } rows[] = {
        {"C:\\kelvo\\abc.zip", m_disk.string() + "/kelvo/abc.zip"},
        {"c:\\kelvo\\", m_disk.string() + "/kelvo/"},
        {"C:kelvo\\abc.zip", m_disk.string() + "/kelvo/abc.zip"},
        {"C:\\\\kelvo//abc.zip", m_disk.string() + "/kelvo/abc.zip"},
        {"E:", m_stick.string()},
        {"E:\\kelvoClient\\课件.txt", m_stick.string() + "/kelvoClient/课件.txt"},
        {"F:\\x", std::nullopt}, // no volume behind F
        {"\\opt\\installer\\installer", "/opt/installer/installer"},
        {"/opt/installer", "/opt/installer"},
        {"kelvo\\abc.zip", std::nullopt}, // relative
        {"", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::NativePath(std::string_view(row.path)), row.native) << row.path;
    EXPECT_EQ(platform::RootedPath("/opt/installer/installer"), L"\\opt\\installer\\installer");
}

TEST_F(LetterPathTest, FileCallsWorkThroughLetters)
{
    EXPECT_EQ(GetFileAttributesW(L"C:\\"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(L"C:\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(L"Q:\\"), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(SHCreateDirectoryExW(nullptr, L"C:\\kelvo\\a\\b\\", nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory(m_disk / "kelvo/a/b"));
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, L"C:\\kelvo\\a\\b\\", nullptr), ERROR_ALREADY_EXISTS);
    EXPECT_NE(SHCreateDirectoryExW(nullptr, L"Q:\\kelvo\\", nullptr), ERROR_SUCCESS);

    std::FILE* file = platform::OpenFile("C:\\kelvo\\abc.zip", "ab+");
    ASSERT_NE(file, nullptr);
    std::fputs("zip", file);
    std::fclose(file);
    EXPECT_EQ(GetFileAttributesW(L"C:\\kelvo\\abc.zip"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(platform::OpenFile("Q:\\abc.zip", "rb"), nullptr);

    EXPECT_FALSE(DeleteFileA("C:\\kelvo\\a")); // folders are never deleted
    EXPECT_TRUE(std::filesystem::is_directory(m_disk / "kelvo/a"));
    EXPECT_TRUE(DeleteFileA("C:\\kelvo\\abc.zip"));
    EXPECT_FALSE(std::filesystem::exists(m_disk / "kelvo/abc.zip"));
    EXPECT_FALSE(DeleteFileA("C:\\kelvo\\abc.zip"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(WideNarrow, RoundTripsAndCountsUtf16Units)
{
    const std::string text = "课件U盘 😀";
    EXPECT_EQ(platform::Narrow(platform::Widen(text)), text);
    EXPECT_EQ(platform::Utf16Length(platform::Widen(text)), 7u); // the emoji takes two units
    EXPECT_EQ(platform::Widen("\xff\xfe"
                              "a"),
        L"\xFFFD\xFFFD"
        L"a");
    wchar_t buffer[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "盘", -1, buffer, 8), 2);
    EXPECT_EQ(std::wstring(buffer), L"盘");
    EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, L"盘", -1, nullptr, 0, nullptr, nullptr), 4);
}

} // namespace

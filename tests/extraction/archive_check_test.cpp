// FindArchiveDamage over archives Info-ZIP built, whole and damaged as a kept download can be.
#include "extraction/archive_check.h"

#include "temp_folder.h"
#include "zip_tools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

namespace {

const std::string kText = "双击 kelvoClient 文件夹中的程序即可开始上课。\n";

void Flip(std::string& bytes, std::size_t at) { bytes[at] = static_cast<char>(bytes[at] ^ 0x55); }

class ArchiveCheckTest : public ::testing::Test {
protected:
    ArchiveCheckTest()
    {
        WriteFileBytes(m_temp / "files/kelvoClient/启动课件.txt", kText);
        WriteFileBytes(m_temp / "files/kelvoClient/media/noise.bin", NoiseBytes(300000));
        ZipFolderWithInfoZip(m_temp / "files", m_temp / "deflated.zip");
        ZipFolderWithInfoZip(m_temp / "files", m_temp / "stored.zip", "-0");
    }

    std::string Built(const char* name) const { return ReadFileBytes(m_temp / name); }

    std::optional<std::string> Check(const std::string& bytes, const std::atomic<bool>* cancel = nullptr)
    {
        WriteFileBytes(m_temp / "disk/a.zip", bytes);
        const auto disk = platform::FolderHandle::OpenExisting((m_temp / "disk").string());
        EXPECT_TRUE(disk) << disk.Failure().Text();
        return FindArchiveDamage({&*disk, "a.zip", "D:\\kelvo\\a.zip"}, cancel);
    }

    TempFolder m_temp{"archive-check"};
};

TEST_F(ArchiveCheckTest, OnlyAnArchiveWhoseEveryEntryReadsWholeHasNoDamage)
{
    const struct {
        const char* what;
        const char* built;
        std::function<void(std::string&)> change;
        bool damaged;
    } cases[] = {
        {"whole, deflated", "deflated.zip", [](std::string&) {}, false},
        {"whole, stored", "stored.zip", [](std::string&) {}, false},
        {"a stored text's byte changed", "stored.zip", [](std::string& b) { Flip(b, b.find(kText) + 3); }, true},
        {"a byte in the middle changed", "deflated.zip", [](std::string& b) { Flip(b, b.size() / 2); }, true},
        {"cut short by one byte", "deflated.zip", [](std::string& b) { b.pop_back(); }, true},
        {"no ZIP at all", "deflated.zip", [](std::string& b) { b.assign(b.size(), 'x'); }, true},
        {"empty", "deflated.zip", [](std::string& b) { b.clear(); }, true},
    };
    for (const auto& c : cases) {
        std::string bytes = Built(c.built);
        c.change(bytes);
        const std::optional<std::string> damage = Check(bytes);
        EXPECT_EQ(damage.has_value(), c.damaged) << c.what << ": " << damage.value_or("");
        if (damage) {
            EXPECT_EQ(damage->rfind("D:\\kelvo\\a.zip: ", 0), 0u) << c.what << ": " << *damage;
        }
    }
}

TEST_F(ArchiveCheckTest, AMissingArchiveAndAStoppedCheckSaySo)
{
    const auto disk = platform::FolderHandle::OpenExisting(m_temp.Path().string());
    ASSERT_TRUE(disk) << disk.Failure().Text();
    const std::optional<std::string> missing = FindArchiveDamage({&*disk, "gone.zip", "D:\\kelvo\\gone.zip"});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->rfind("cannot open D:\\kelvo\\gone.zip: ", 0), 0u) << *missing;

    const std::atomic<bool> cancel{true};
    EXPECT_EQ(Check(Built("deflated.zip"), &cancel), std::optional<std::string>("stopped"));
}

} // namespace

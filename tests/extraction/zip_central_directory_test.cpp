// The central-directory reader and the plan on archives whose directory is damaged or longer
// than the tail read first: never a crash, never an entry read from outside the directory.
#include "extraction/zip_central_directory.h"
#include "extraction/zip_plan.h"

#include "hand_made_zip.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace {

// Offsets inside the end-of-central-directory record, from its start.
constexpr std::size_t kEntriesOnDisk = 8, kEntries = 10, kDirectorySize = 12, kDirectoryOffset = 16;
constexpr std::size_t kEndRecordSize = 22;

void Put32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Put16(std::string& bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

TEST(ZipCentralDirectoryTest, DamagedDirectoriesAreRefusedWhole)
{
    const std::string good = HandMadeZipBytes({{"a.txt", "alpha"}, {"b/c.txt", "gamma"}, {"d.txt", "delta"}});
    const std::size_t end = good.size() - kEndRecordSize;
    const TempFolder temp("central-directory");
    const auto read = [&temp](const std::string& bytes) {
        std::ofstream(temp / "a.zip", std::ios::binary) << bytes;
        const auto folder = platform::FolderHandle::OpenExisting(temp.Path().string());
        return extraction::ReadCentralDirectory(folder->OpenFile("a.zip").Value());
    };
    const auto entries = read(good);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[1].rawName, "b/c.txt");

    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"no end record", [&](std::string& b) { b.resize(end); }},
        {"end record cut short", [&](std::string& b) { b.resize(end + 10); }},
        {"directory larger than the file", [&](std::string& b) { Put32(b, end + kDirectorySize, 0x7FFFFFF0u); }},
        {"more entries than the directory holds",
            [&](std::string& b) {
                Put16(b, end + kEntriesOnDisk, 200);
                Put16(b, end + kEntries, 200);
            }},
        {"a name running past the directory",
            [&](std::string& b) {
                const std::size_t first = b.find("PK\x01\x02");
                Put16(b, first + 28, 0xFFFF);
            }},
        {"a header signature overwritten", [&](std::string& b) { b[b.find("PK\x01\x02") + 2] = 'X'; }},
    };
    // The offset is taken from the end record's position and the directory's size, as readers
    // do for an archive with data before it: every local header moves with it.
    const auto moved = read(std::string(100, 'x') + good);
    ASSERT_TRUE(moved);
    EXPECT_EQ((*moved)[1].localHeaderAt, (*entries)[1].localHeaderAt + 100);
    // A stored offset beyond the directory's place puts the local headers nowhere.
    std::string beyond = good;
    Put32(beyond, end + kDirectoryOffset, 0x7FFFFFF0u);
    EXPECT_FALSE(read(beyond));

    for (const auto& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        EXPECT_FALSE(read(bytes)) << c.what;
    }
}

} // namespace

namespace {

std::span<const unsigned char> Bytes(const std::string& text, std::size_t from = 0)
{
    return {reinterpret_cast<const unsigned char*>(text.data()) + from, text.size() - from};
}

// The plan from the archive's tail, as a download that fetched the tail first makes it: a
// directory longer than the tail asks for the bytes from its start; each local header is then
// checked from the bytes at its offset alone.
TEST(ZipPlanTest, IsBuiltFromTheTailThenChecksEachLocalHeaderAlone)
{
    std::vector<HandMadeZipEntry> entries;
    for (int i = 0; i < 1000; ++i)
        entries.push_back({"kelvoClient/pages/page" + std::to_string(1000 + i) + ".txt", "p" + std::to_string(i)});
    const std::string zip = HandMadeZipBytes(entries);
    const std::size_t tailAt = zip.size() - extraction::kPlanTailSize;

    const extraction::PlanOutcome first = extraction::BuildArchivePlan(Bytes(zip, tailAt), zip.size());
    ASSERT_FALSE(first.plan || first.error);
    ASSERT_TRUE(first.needFrom);
    ASSERT_LT(*first.needFrom, tailAt);
    const extraction::PlanOutcome second = extraction::BuildArchivePlan(Bytes(zip, *first.needFrom), zip.size());
    ASSERT_TRUE(second.plan) << (second.error ? second.error->text : "");
    const extraction::ArchivePlan& plan = *second.plan;
    ASSERT_EQ(plan.entries.size(), 1000u);
    EXPECT_EQ(plan.directoryAt, *first.needFrom);

    const extraction::PlanEntry& last = plan.entries.back();
    EXPECT_EQ(last.path, "kelvoClient/pages/page1999.txt");
    const auto header = extraction::CheckLocalHeader(last, Bytes(zip, last.localHeaderAt));
    ASSERT_TRUE(header) << header.Failure();
    EXPECT_EQ(zip.substr(*header, 4), "p999");
    std::string encrypted = zip;
    encrypted[last.localHeaderAt + 6] |= 1;
    const auto refused = extraction::CheckLocalHeader(last, Bytes(encrypted, last.localHeaderAt));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.Failure().find("other flags"), std::string::npos) << refused.Failure();
}

} // namespace

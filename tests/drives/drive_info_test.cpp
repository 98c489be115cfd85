#include "drives/drive_info.h"
#include "platform/win32.h"
#include "volume_map_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

class DriveInfoTest : public ::testing::Test {
protected:
    // Lines "LETTER TYPE NAME [free=N]" with NAME a folder created under the fixture.
    void Volumes(std::initializer_list<std::string> lines)
    {
        std::string map;
        for (const std::string& line : lines) {
            std::istringstream words(line);
            std::string letter, type, name, rest;
            words >> letter >> type >> name;
            std::getline(words, rest);
            map += letter + " " + type + " " + m_fixture.Folder(name).string() + rest + "\n";
        }
        m_fixture.Write(map);
    }

    VolumeMapFixture m_fixture;
};

TEST_F(DriveInfoTest, TypeTextsFollowTheDriveType)
{
    Volumes({"C fixed c", "E removable e", "F remote f", "G cdrom g", "H ramdisk h", "I unknown i", "J removable j"});
    std::filesystem::remove(m_fixture.Dir() / "j");
    const struct {
        const wchar_t* letter;
        const wchar_t* driveName;
        const wchar_t* typeText;
    } rows[] = {
        {L"C", L"C:", L"Driver c Of Type:Hard Disk."},
        {L"E", L"E:", L"Driver e Of Type:Removable Disk."},
        {L"F", L"F:", L"Driver f Of Type:Remote Device."},
        {L"G", L"G:", L"Driver g Of Type:CD."},
        {L"H", L"H:", L"Driver h Of Type:RAM."},
        {L"I", L"I:", L"Driver i Of Type:Unknown Type!."},
        {L"J", L"J:", L"获取驱动器类型时参数设置错误!"}, // its folder is missing
        {L"K", L"K:", L"获取驱动器类型时参数设置错误!"}, // not in the map
        {L"e", L"e:", L"Driver e Of Type:Removable Disk."},
        {L"1", L"1:", L"驱动器参数无效!"},
        {L"", L":", L"驱动器参数无效!"},
    };
    for (const auto& row : rows) {
        const DriveInfo drive(row.letter);
        EXPECT_EQ(drive.driveName, row.driveName);
        EXPECT_EQ(drive.typeText, row.typeText) << platform::Narrow(row.letter);
    }
}

TEST_F(DriveInfoTest, ScanListsRemovableDrivesInLetterOrderAndEmptiesTheListFirst)
{
    Volumes({"C fixed c", "F removable f", "D removable d", "E cdrom e"});
    std::vector<DriveInfo> found{DriveInfo(L"C")};
    ScanRemovableDrives(g_driveLetters, found);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].driveName, L"D:");
    EXPECT_EQ(found[1].driveName, L"F:");

    Volumes({"C fixed c"});
    ScanRemovableDrives(g_driveLetters, found);
    EXPECT_TRUE(found.empty());
}

TEST_F(DriveInfoTest, FreeSpaceGBTruncatesToHundredthsAroundTheInstallLimit)
{
    const struct {
        const char* free;
        double gb;
        const wchar_t* text;
    } rows[] = {
        {"4831838208", 4.5, L"4.50 G"}, // exactly 4.5 GiB passes the limit
        {"4831838207", 4.49, L"4.49 G"},
        {"4830789632", 4.49, L"4.49 G"}, // one mebibyte less
        {"1048575", 0.0, L"0.0 G"},
        {"0", 0.0, L"0.0 G"},
        {"8T", 8192.0, L"8192.00 G"}, // several terabytes: no overflow in the cluster arithmetic
        {"4294967297", 4.0, L"4.00 G"}, // just above 32 bits of bytes
        {"3.99999T", 4095.98, L"4095.98 G"},
    };
    for (const auto& row : rows) {
        Volumes({std::string("E removable e free=") + row.free});
        const DriveInfo stick(L"E");
        EXPECT_EQ(stick.FreeSpaceText(Giga), row.text) << row.free;
        EXPECT_DOUBLE_EQ(FreeSpaceGB(stick), row.gb) << row.free;
    }
}

TEST_F(DriveInfoTest, FreeSpaceIsEmptyWithoutAVolumeOrAName)
{
    Volumes({"C fixed c free=10G"});
    EXPECT_EQ(DriveInfo().FreeSpaceText(Giga), L"");
    EXPECT_EQ(FreeSpaceGB(DriveInfo()), 0.0);
    EXPECT_EQ(DriveInfo(L"Q").FreeSpaceText(Giga), L"");
    EXPECT_EQ(FreeSpaceGB(DriveInfo(L"Q")), 0.0);
    EXPECT_EQ(DriveInfo(L"C").FreeSpaceText(Byte), L"10,737,418,240 B");
}

TEST_F(DriveInfoTest, ClusterCountsKeepFreeBytesExact)
{
    // Below 4 GiB the product is exact; above, the cluster grows and drops less than a cluster.
    for (const char* free : {"4294967295", "4294967296", "4831838207", "1099511627777"}) {
        Volumes({std::string("E removable e free=") + free});
        DWORD sectors = 0, bytes = 0, freeClusters = 0, total = 0;
        ASSERT_TRUE(GetDiskFreeSpaceW(L"E:", &sectors, &bytes, &freeClusters, &total));
        const std::uint64_t expected = std::stoull(free);
        const std::uint64_t cluster = std::uint64_t{sectors} * bytes;
        const std::uint64_t product = std::uint64_t{freeClusters} * cluster;
        EXPECT_LE(product, expected) << free;
        EXPECT_LT(expected - product, cluster) << free;
        EXPECT_GE(total, freeClusters);
    }
}

TEST_F(DriveInfoTest, PickDownloadDiskTakesTheFixedDriveWithTheMostSpace)
{
    const struct {
        std::initializer_list<std::string> volumes;
        const wchar_t* chosen;
    } rows[] = {
        {{"C fixed c free=10G", "D fixed d free=50G"}, L"D:"},
        {{"C fixed c free=20G", "D fixed d free=20G"}, L"C:"}, // C wins a tie
        {{"C fixed c free=10G", "D fixed d free=20G", "E fixed e free=20G"}, L"D:"}, // earlier letter wins
        {{"C fixed c free=20.001G", "D fixed d free=20.009G"}, L"C:"}, // equal after truncation
        {{"D fixed d free=20M", "E fixed e free=40M"}, L"E:"}, // no C at all
        {{"D fixed d free=1K"}, L"C:"}, // 0.0 is not above 0.0
        {{"C fixed c free=10G", "D removable d free=90G", "E remote e free=90G"}, L"C:"},
        {{"C removable c free=100G", "D fixed d free=50G"}, L"C:"}, // C starts whatever its type
    };
    for (const auto& row : rows) {
        Volumes(row.volumes);
        EXPECT_EQ(PickDownloadDisk().driveName, row.chosen) << *row.volumes.begin();
    }
}

TEST(DriveLetters, AreTheAlphabetInOrder)
{
    ASSERT_EQ(g_driveLetters.size(), 26u);
    EXPECT_EQ(g_driveLetters.front(), L"A");
    EXPECT_EQ(g_driveLetters[4], L"E");
    EXPECT_EQ(g_driveLetters.back(), L"Z");
}

} // namespace

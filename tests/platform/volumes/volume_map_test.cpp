#include "platform/volumes/volume_map.h"

#include <gtest/gtest.h>

namespace {

using platform::ParseByteCount;
using platform::ParseVolumeMap;
using platform::VolumeType;

TEST(ParseByteCount, AcceptsBytesAndBinarySuffixesWithFractions)
{
    const struct {
        const char* text;
        std::optional<std::uint64_t> bytes;
    } rows[] = {
        {"0", 0},
        {"1048576", 1048576},
        {"1K", 1024},
        {"1k", 1024},
        {"1.5M", 1572864},
        {"4.5G", 4831838208},
        {"20G", 21474836480},
        {"2T", 2199023255552},
        {"1.3K", 1331}, // 1331.2 rounds down
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", std::nullopt},
        {"16777216T", std::nullopt},
        {"309485010.000000000000000000T", std::nullopt}, // (whole . fraction) << 40 passes 2^128
        {"16777215.999999999999999999T", UINT64_MAX}, // 2^64 - 1.1e-6, rounded down
        {"0.000000000000000001T", 0},
        {"", std::nullopt},
        {"G", std::nullopt},
        {"1.", std::nullopt},
        {".5G", std::nullopt},
        {"-1", std::nullopt},
        {"4,5G", std::nullopt},
        {"1GB", std::nullopt},
        {"1 G", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ParseByteCount(row.text), row.bytes) << '"' << row.text << '"';
}

TEST(ParseVolumeMap, ReadsLettersTypesFoldersAndFreeSpace)
{
    const auto result = ParseVolumeMap("# the demo's drives\n"
                                       "\n"
                                       "C fixed /srv/disk free=20G   # the hard disk\n"
                                       "e: removable /srv/my stick\n"
                                       "  F   cdrom   relative/cd  \n",
        "/etc/installer/volumes.map");
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.volumes.size(), 3u);
    EXPECT_EQ(result.volumes[0].letter, L'C');
    EXPECT_EQ(result.volumes[0].type, VolumeType::Fixed);
    EXPECT_EQ(result.volumes[0].root, "/srv/disk");
    EXPECT_EQ(result.volumes[0].freeBytes, 21474836480u);
    EXPECT_EQ(result.volumes[1].letter, L'E');
    EXPECT_EQ(result.volumes[1].root, "/srv/my stick");
    EXPECT_FALSE(result.volumes[1].freeBytes.has_value());
    EXPECT_EQ(result.volumes[2].type, VolumeType::CdRom);
    EXPECT_EQ(result.volumes[2].root, "/etc/installer/relative/cd");
}

TEST(ParseVolumeMap, ReadsTheFieldsAfterTheFolderInAnyOrder)
{
    const auto result = ParseVolumeMap("E removable /srv/my stick fs=vfat mounted free=1G\n"
                                       "F removable /srv/f mounted\n"
                                       "G fixed /srv/mounted fs=exfat\n",
        "m.map");
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.volumes.size(), 3u);
    EXPECT_EQ(result.volumes[0].root, "/srv/my stick");
    EXPECT_EQ(result.volumes[0].fileSystem, "vfat");
    EXPECT_TRUE(result.volumes[0].onlyWhileMounted);
    EXPECT_EQ(result.volumes[0].freeBytes, 1073741824u);
    EXPECT_TRUE(result.volumes[1].onlyWhileMounted);
    EXPECT_EQ(result.volumes[1].fileSystem, "");
    EXPECT_EQ(result.volumes[2].root, "/srv/mounted");
    EXPECT_FALSE(result.volumes[2].onlyWhileMounted);
}

TEST(ParseVolumeMap, NamesTheFileAndLineOfTheFirstBadLine)
{
    const struct {
        const char* line;
        const char* error;
    } rows[] = {
        {"E removable", "m.map:2: expected \"LETTER TYPE FOLDER [free=N] [fs=NAME] [mounted]\", got \"E removable\""},
        {"EE removable /x", "m.map:2: \"EE\" is not a drive letter (A to Z)"},
        {"3 removable /x", "m.map:2: \"3\" is not a drive letter (A to Z)"},
        {"E usb /x", "m.map:2: unknown drive type \"usb\" (removable, fixed, remote, cdrom, ramdisk or unknown)"},
        {"E removable /x free=lots", "m.map:2: \"free=lots\" is not a byte count (like free=4.5G or free=1048576)"},
        {"E removable free=1G", "m.map:2: the folder is missing"},
        {"C removable /y", "m.map:2: drive letter C appears twice"},
        {"E removable /x free=20G free=3G", "m.map:2: \"free=\" is given twice in \"E removable /x free=20G free=3G\""},
        {"E removable /x fs=vfat mounted fs=exfat",
            "m.map:2: \"fs=\" is given twice in \"E removable /x fs=vfat mounted fs=exfat\""},
        {"E removable /x mounted mounted", "m.map:2: \"mounted\" is given twice in \"E removable /x mounted mounted\""},
        {"E removable /x fs=", "m.map:2: \"fs=\" names no file system (like fs=vfat or fs=exfat)"},
        {"E removable /\xFF\xFEx\x01\x1B[2J",
            "m.map:2: the line is not printable UTF-8 text: \"E removable /\\xFF\\xFEx\\x01\\x1B[2J\""},
        {"E removable /\xC0\xAF\xED\xA0\x80",
            "m.map:2: the line is not printable UTF-8 text: \"E removable /\\xC0\\xAF\\xED\\xA0\\x80\""},
        {"\xEF\xBB\xBF"
         "E removable /gpj\xE2\x80\xAE.exe",
            "m.map:2: the line is not printable UTF-8 text: \"\\xEF\\xBB\\xBF"
            "E removable /gpj\\xE2\\x80\\xAE.exe\""},
    };
    for (const auto& row : rows) {
        const auto result = ParseVolumeMap(std::string("C fixed /x\n") + row.line + "\nD fixed /z\n", "m.map");
        EXPECT_EQ(result.error, row.error);
        EXPECT_TRUE(result.volumes.empty());
    }
}

TEST(ParseVolumeMap, SkipsALeadingByteOrderMarkAndAcceptsWindowsLineEnds)
{
    const auto result = ParseVolumeMap("\xEF\xBB\xBF"
                                       "C fixed /srv/课件\r\nE removable /srv/e\tfs=vfat\r\n",
        "m.map");
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.volumes.size(), 2u);
    EXPECT_EQ(result.volumes[0].root, "/srv/课件");
    EXPECT_EQ(result.volumes[1].fileSystem, "vfat");
}

TEST(ReadVolumeMap, AMapThatIsNoRegularFileIsAnError)
{
    EXPECT_EQ(platform::ReadVolumeMap("/nonexistent/volumes.map").error, "/nonexistent/volumes.map: cannot be read");
    EXPECT_EQ(platform::ReadVolumeMap("/tmp").error, "/tmp: is not a regular file");
    EXPECT_EQ(platform::ReadVolumeMap("/dev/null").error, "/dev/null: is not a regular file");
}

} // namespace

// The mount table parser over a recorded desktop: mountinfo text plus a small sysfs tree.
#include "platform/volumes/mount_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;
using platform::VolumeType;

// A laptop with an NVMe disk, a USB stick, a stick whose label has a space, one with a Chinese
// label, a CD, an NFS share, snaps, tmpfs mounts, a bind mount and the EFI partition.
const char* const kDesktopMountInfo =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "23 22 0:5 / /dev rw,nosuid shared:2 - devtmpfs udev rw,size=8000000k\n"
    "24 22 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "25 22 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:13 - proc proc rw\n"
    "26 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=1600000k\n"
    "30 22 259:1 / /boot/efi rw,relatime shared:30 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "31 22 259:3 / /home rw,relatime shared:31 - ext4 /dev/nvme0n1p3 rw\n"
    "40 22 7:0 / /snap/core22/1122 ro,nodev,relatime shared:40 - squashfs /dev/loop0 ro\n"
    "41 22 7:1 / /snap/firefox/3836 ro,nodev,relatime shared:41 - squashfs /dev/loop1 ro\n"
    "50 26 0:50 / /run/user/1000 rw,nosuid,nodev,relatime shared:50 - tmpfs tmpfs rw,size=800000k,mode=700\n"
    "60 22 8:17 / /media/teacher/STICK rw,nosuid,nodev,relatime shared:60 - vfat /dev/sdb1 rw,uid=1000\n"
    "61 22 0:60 / /mnt/share rw,relatime shared:61 - nfs4 fileserver:/export/courseware rw,vers=4.2\n"
    "62 22 11:0 / /media/teacher/CDROM ro,nosuid,nodev,relatime shared:62 - iso9660 /dev/sr0 ro\n"
    "63 22 8:33 / /media/teacher/My\\040Stick rw,nosuid,nodev,relatime shared:63 - exfat /dev/sdc1 rw\n"
    "64 22 8:49 / /media/teacher/课件U盘 rw,nosuid,nodev,relatime shared:64 - vfat /dev/sdd1 rw\n"
    "65 22 259:3 /teacher/shared /srv/shared rw,relatime shared:31 - ext4 /dev/nvme0n1p3 rw\n"
    "66 22 0:66 / /tmp rw,nosuid,nodev shared:66 - tmpfs tmpfs rw\n"
    "not a mount line\n";

class MountTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "sysfs-XXXXXX").string();
        sys_ = ::mkdtemp(pattern.data());
        // Disks with their partitions, as sysfs lays them out, and the dev/block links.
        Disk("devices/pci0000:00/nvme/nvme0/nvme0n1", "nvme0n1", false,
            {{"nvme0n1p1", "259:1"}, {"nvme0n1p2", "259:2"}, {"nvme0n1p3", "259:3"}});
        Disk("devices/pci0000:00/usb1/1-1/host6/target6:0:0/6:0:0:0/block/sdb", "sdb", true, {{"sdb1", "8:17"}});
        Disk("devices/pci0000:00/usb1/1-2/host7/target7:0:0/7:0:0:0/block/sdc", "sdc", true, {{"sdc1", "8:33"}});
        Disk("devices/pci0000:00/usb1/1-3/host8/target8:0:0/8:0:0:0/block/sdd", "sdd", true, {{"sdd1", "8:49"}});
        Disk("devices/pci0000:00/ata2/host1/target1:0:0/1:0:0:0/block/sr0", "sr0", true, {});
        Link("dev/block/11:0", "devices/pci0000:00/ata2/host1/target1:0:0/1:0:0:0/block/sr0");
    }
    void TearDown() override { fs::remove_all(sys_); }

    void Disk(const std::string& path, const std::string& name, bool removable,
        std::initializer_list<std::pair<std::string, std::string>> partitions)
    {
        fs::create_directories(sys_ / path);
        std::ofstream(sys_ / path / "removable") << (removable ? "1\n" : "0\n");
        for (const auto& [partition, devno] : partitions) {
            fs::create_directories(sys_ / path / partition);
            std::ofstream(sys_ / path / partition / "partition") << "1\n";
            Link("dev/block/" + devno, path + "/" + partition);
            Link("class/block/" + partition, path + "/" + partition);
        }
        fs::create_directories(sys_ / "class/block");
        fs::create_symlink(fs::relative(sys_ / path, sys_ / "class/block"), sys_ / "class/block" / name);
    }
    void Link(const std::string& link, const std::string& target)
    {
        fs::create_directories((sys_ / link).parent_path());
        fs::create_symlink(fs::relative(sys_ / target, (sys_ / link).parent_path()), sys_ / link);
    }

    fs::path sys_;
};

TEST_F(MountTableTest, ParsesFieldsAndUnescapesMountPoints)
{
    const auto mounts = platform::ParseMountInfo(kDesktopMountInfo);
    ASSERT_EQ(mounts.size(), 17u); // the line that is not a mount is skipped
    EXPECT_EQ(mounts[0].major, 259u);
    EXPECT_EQ(mounts[0].minor, 2u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fsType, "ext4");
    EXPECT_EQ(mounts[0].source, "/dev/nvme0n1p2");
    EXPECT_EQ(mounts[13].mountPoint, "/media/teacher/My Stick");
    EXPECT_EQ(mounts[14].mountPoint, "/media/teacher/课件U盘");
    EXPECT_EQ(mounts[15].root, "/teacher/shared");
}

TEST_F(MountTableTest, FindsTheDrivesAUserSeesWithTheirTypes)
{
    const auto volumes = platform::DetectVolumes(platform::ParseMountInfo(kDesktopMountInfo), sys_.string());
    const struct {
        const char* mountPoint;
        VolumeType type;
    } expected[] = {
        {"/", VolumeType::Fixed},
        {"/home", VolumeType::Fixed},
        {"/media/teacher/STICK", VolumeType::Removable},
        {"/mnt/share", VolumeType::Remote},
        {"/media/teacher/CDROM", VolumeType::CdRom},
        {"/media/teacher/My Stick", VolumeType::Removable},
        {"/media/teacher/课件U盘", VolumeType::Removable},
    };
    ASSERT_EQ(volumes.size(), std::size(expected));
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        EXPECT_EQ(volumes[i].mountPoint, expected[i].mountPoint);
        EXPECT_EQ(volumes[i].type, expected[i].type) << expected[i].mountPoint;
    }
}

TEST_F(MountTableTest, VolumesNameTheirFileSystemsTheWindowsWay)
{
    platform::LetterAssigner assigner;
    const auto volumes =
        assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(kDesktopMountInfo), sys_.string()));
    const std::map<std::string, std::string> expected = {
        {"/", "EXT4"},
        {"/home", "EXT4"},
        {"/media/teacher/STICK", "FAT32"},
        {"/mnt/share", "NFS4"},
        {"/media/teacher/CDROM", "ISO9660"},
        {"/media/teacher/My Stick", "exFAT"},
        {"/media/teacher/课件U盘", "FAT32"},
    };
    ASSERT_EQ(volumes.size(), expected.size());
    for (const auto& volume : volumes)
        EXPECT_EQ(platform::WindowsFileSystemName(volume), expected.at(volume.root)) << volume.root;
    EXPECT_EQ(volumes[2].source, "/dev/sdb1");

    const struct {
        const char* type;
        const char* windows;
    } rows[] = {{"msdos", "FAT32"}, {"fat", "FAT32"}, {"EXFAT", "exFAT"}, {"ntfs", "NTFS"}, {"ntfs3", "NTFS"},
        {"fuseblk.exfat", "exFAT"}, {"fuseblk", "FUSEBLK"}, {"btrfs", "BTRFS"}, {"", ""}};
    for (const auto& row : rows) {
        platform::Volume volume;
        volume.fileSystem = row.type;
        volume.source = "/dev/no-such-device";
        EXPECT_EQ(platform::WindowsFileSystemName(volume), row.windows) << row.type;
    }
}

TEST_F(MountTableTest, AFileSystemWithoutADeviceNumberIsFoundByItsSourceName)
{
    // btrfs reports an anonymous device number; the source names the partition.
    const auto volumes =
        platform::DetectVolumes(platform::ParseMountInfo("1 0 0:31 / / rw - btrfs /dev/nvme0n1p2 rw\n"
                                                         "2 1 0:45 / /media/stick rw - btrfs /dev/sdb1 rw\n"
                                                         "3 1 0:45 /@home /home rw - btrfs /dev/sdb1 rw\n"),
            sys_.string());
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[1].mountPoint, "/media/stick");
    EXPECT_EQ(volumes[1].type, VolumeType::Removable);
}

TEST_F(MountTableTest, LettersStayWithTheirVolumesAndFreedLettersAreReused)
{
    const std::string withStick = kDesktopMountInfo;
    std::string withoutStick = withStick;
    const std::string stickLine =
        "60 22 8:17 / /media/teacher/STICK rw,nosuid,nodev,relatime shared:60 - vfat /dev/sdb1 rw,uid=1000\n";
    withoutStick.erase(withoutStick.find(stickLine), stickLine.size());

    platform::LetterAssigner assigner;
    const auto letterOf = [](const std::vector<platform::Volume>& volumes, const std::string& mountPoint) {
        for (const auto& v : volumes)
            if (v.root == mountPoint)
                return v.letter;
        return L'?';
    };
    const auto first = assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(withStick), sys_.string()));
    EXPECT_EQ(letterOf(first, "/"), L'C');
    EXPECT_EQ(letterOf(first, "/home"), L'D');
    EXPECT_EQ(letterOf(first, "/media/teacher/STICK"), L'E');
    EXPECT_EQ(letterOf(first, "/mnt/share"), L'F');
    EXPECT_EQ(letterOf(first, "/media/teacher/课件U盘"), L'I');

    const auto pulled = assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(withoutStick), sys_.string()));
    EXPECT_EQ(letterOf(pulled, "/media/teacher/STICK"), L'?');
    EXPECT_EQ(letterOf(pulled, "/media/teacher/课件U盘"), L'I'); // others keep their letters

    std::string otherStick = withoutStick + "70 22 8:65 / /media/teacher/NEW rw - vfat /dev/sde1 rw\n";
    const auto replugged =
        assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(otherStick), sys_.string()));
    EXPECT_EQ(letterOf(replugged, "/media/teacher/NEW"), L'E'); // the lowest free letter
    EXPECT_EQ(letterOf(replugged, "/media/teacher/CDROM"), L'G');
}

} // namespace

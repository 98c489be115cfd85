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
        m_sys = ::mkdtemp(pattern.data());
        // Disks with their partitions, as sysfs lays them out, and the dev/block links.
        Disk("devices/pci0000:00/nvme/nvme0/nvme0n1", "nvme0n1", false,
            {{"nvme0n1p1", "259:1"}, {"nvme0n1p2", "259:2"}, {"nvme0n1p3", "259:3"}});
        Disk("devices/pci0000:00/usb1/1-1/host6/target6:0:0/6:0:0:0/block/sdb", "sdb", true, {{"sdb1", "8:17"}});
        Disk("devices/pci0000:00/usb1/1-2/host7/target7:0:0/7:0:0:0/block/sdc", "sdc", true, {{"sdc1", "8:33"}});
        Disk("devices/pci0000:00/usb1/1-3/host8/target8:0:0/8:0:0:0/block/sdd", "sdd", true, {{"sdd1", "8:49"}});
        Disk("devices/pci0000:00/ata2/host1/target1:0:0/1:0:0:0/block/sr0", "sr0", true, {});
        Link("dev/block/11:0", "devices/pci0000:00/ata2/host1/target1:0:0/1:0:0:0/block/sr0");
    }
    void TearDown() override { fs::remove_all(m_sys); }

    void Disk(const std::string& path, const std::string& name, bool removable,
        std::initializer_list<std::pair<std::string, std::string>> partitions)
    {
        fs::create_directories(m_sys / path);
        std::ofstream(m_sys / path / "removable") << (removable ? "1\n" : "0\n");
        for (const auto& [partition, devno] : partitions) {
            fs::create_directories(m_sys / path / partition);
            std::ofstream(m_sys / path / partition / "partition") << "1\n";
            Link("dev/block/" + devno, path + "/" + partition);
            Link("class/block/" + partition, path + "/" + partition);
        }
        fs::create_directories(m_sys / "class/block");
        fs::create_symlink(fs::relative(m_sys / path, m_sys / "class/block"), m_sys / "class/block" / name);
    }
    void Link(const std::string& link, const std::string& target)
    {
        fs::create_directories((m_sys / link).parent_path());
        fs::create_symlink(fs::relative(m_sys / target, (m_sys / link).parent_path()), m_sys / link);
    }

    fs::path m_sys;
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
    const auto volumes = platform::DetectVolumes(platform::ParseMountInfo(kDesktopMountInfo), m_sys.string());
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
        assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(kDesktopMountInfo), m_sys.string()));
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
}

TEST_F(MountTableTest, AFileSystemWithoutADeviceNumberIsFoundByItsSourceName)
{
    // btrfs reports an anonymous device number; the source names the partition.
    const auto volumes =
        platform::DetectVolumes(platform::ParseMountInfo("1 0 0:31 / / rw - btrfs /dev/nvme0n1p2 rw\n"
                                                         "2 1 0:45 / /media/stick rw - btrfs /dev/sdb1 rw\n"
                                                         "3 1 0:45 /@home /home rw - btrfs /dev/sdb1 rw\n"),
            m_sys.string());
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
    const auto first = assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(withStick), m_sys.string()));
    EXPECT_EQ(letterOf(first, "/"), L'C');
    EXPECT_EQ(letterOf(first, "/home"), L'D');
    EXPECT_EQ(letterOf(first, "/media/teacher/STICK"), L'E');
    EXPECT_EQ(letterOf(first, "/mnt/share"), L'F');
    EXPECT_EQ(letterOf(first, "/media/teacher/课件U盘"), L'I');

    const auto pulled =
        assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(withoutStick), m_sys.string()));
    EXPECT_EQ(letterOf(pulled, "/media/teacher/STICK"), L'?');
    EXPECT_EQ(letterOf(pulled, "/media/teacher/课件U盘"), L'I'); // others keep their letters

    std::string otherStick = withoutStick + "70 22 8:65 / /media/teacher/NEW rw - vfat /dev/sde1 rw\n";
    const auto replugged =
        assigner.Assign(platform::DetectVolumes(platform::ParseMountInfo(otherStick), m_sys.string()));
    EXPECT_EQ(letterOf(replugged, "/media/teacher/NEW"), L'E'); // the lowest free letter
    EXPECT_EQ(letterOf(replugged, "/media/teacher/CDROM"), L'G');
}

// What a user can attach, bring or mount never counts as the system's own disk: the device
// classes as sysfs shows them, beside disks that do count.
TEST_F(MountTableTest, OnlyDisksTheSystemOwnsMayReceiveTheDownload)
{
    Disk("devices/virtual/block/loop0", "loop0", false, {{"loop0p1", "259:8"}});
    Disk("devices/virtual/block/loop1", "loop1", false, {});
    Disk("devices/virtual/block/dm-0", "dm-0", false, {});
    Link("dev/block/253:0", "devices/virtual/block/dm-0");
    Link("devices/virtual/block/dm-0/slaves/loop1", "devices/virtual/block/loop1");
    Disk("devices/virtual/block/zram0", "zram0", false, {});
    Link("dev/block/252:0", "devices/virtual/block/zram0");
    Disk("devices/pci0000:00/ata1/host0/target0:0:0/0:0:0:0/block/sda", "sda", false,
        {{"sda1", "8:1"}, {"sda2", "8:2"}, {"sda3", "8:3"}, {"sda4", "8:4"}});
    Disk("devices/virtual/block/dm-1", "dm-1", false, {});
    Link("dev/block/253:1", "devices/virtual/block/dm-1");
    Link("devices/virtual/block/dm-1/slaves/sda2", "devices/pci0000:00/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda2");
    // A USB hard disk says it is not removable.
    Disk("devices/pci0000:00/usb2/2-1/2-1:1.0/host9/target9:0:0/9:0:0:0/block/sde", "sde", false, {{"sde1", "8:65"}});
    const std::string mountInfo = std::string(kDesktopMountInfo) +
        "70 22 259:8 / /mnt/image rw - ext4 /dev/loop0p1 rw\n"
        "71 22 253:0 / /mnt/crypt rw - ext4 /dev/mapper/crypt rw\n"
        "72 22 252:0 / /mnt/zram rw - ext4 /dev/zram0 rw\n"
        "73 22 8:1 / /srv/data rw - ext4 /dev/sda1 rw\n"
        "74 22 8:65 / /mnt/usbdisk rw - ext4 /dev/sde1 rw\n"
        "75 22 253:1 / /srv/lvm rw - xfs /dev/mapper/vg-lv rw\n"
        "76 22 8:3 / /mnt/by-udisks rw - ext4 /dev/sda3 rw\n"
        "77 22 8:4 / /mnt/ntfs rw - fuseblk /dev/sda4 rw\n";
    // udisks2's record of a mount it made: the device number as the C library encodes 8:3.
    const std::string udisks = "[{'block-device': <uint64 2051>, 'mount-point': <b'/mnt/by-udisks'>}]";
    const auto volumes = platform::DetectVolumes(platform::ParseMountInfo(mountInfo), m_sys.string(), udisks);
    std::map<std::string, std::string> why;
    for (const auto& volume : volumes)
        why[volume.mountPoint] = volume.notSystemDisk;
    const std::map<std::string, std::string> expected = {
        {"/", ""},
        {"/home", ""}, // NVMe
        {"/srv/data", ""}, // SATA
        {"/srv/lvm", ""}, // device-mapper on a SATA disk
        {"/mnt/image", "a loop device"}, // a loop partition, major 259
        {"/mnt/crypt", "stacked on a loop device"},
        {"/mnt/zram", "a compressed RAM disk (zram)"},
        {"/mnt/usbdisk", "a disk on USB"},
        {"/mnt/by-udisks", "mounted by udisks2 for a user"},
        {"/mnt/ntfs", "a FUSE file system"},
        {"/media/teacher/STICK", "mounted for a user"},
        {"/mnt/share", "a network file system"},
    };
    for (const auto& [mountPoint, reason] : expected)
        EXPECT_EQ(why.at(mountPoint), reason) << mountPoint;
}

} // namespace

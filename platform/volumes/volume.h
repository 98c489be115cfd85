// A volume behind a drive letter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

enum class VolumeType { Unknown, Removable, Fixed, Remote, CdRom, RamDisk };

struct Volume {
    wchar_t letter = L'\0'; // 'C', 'D', ...
    VolumeType type = VolumeType::Unknown;
    std::string root; // native folder the letter's root stands for
    std::optional<std::uint64_t> freeBytes; // reported as is instead of measuring `root`
    std::string fileSystem; // the mount table's type ("vfat", "exfat", "fuseblk" ...); empty when unknown
    std::string source; // the mounted device or share, when known
    bool onlyWhileMounted = false; // the letter has a volume only while `root` is a mount point
    // Why the volume is not on a disk the system owns (platform/system_disk.h); empty when it is.
    std::string notSystemDisk;
};

// The Win32 drive type (DRIVE_REMOVABLE, ...) of a volume type.
unsigned DriveTypeOf(VolumeType type);

// The file system name Windows would report for a volume: "FAT32" for vfat, msdos and fat,
// "exFAT" for exfat, "NTFS" for ntfs and ntfs3, otherwise the type upper-cased. A FUSE block
// mount ("fuseblk") is named by the boot sector of its source device when that can be read.
std::string WindowsFileSystemName(const Volume& volume);

} // namespace platform

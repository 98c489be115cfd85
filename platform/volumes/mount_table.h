// Volumes from the kernel's mount table and sysfs.
#pragma once

#include "platform/volumes/volume.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root; // the part of the file system mounted here ("/" for a whole one)
    std::string mountPoint; // unescaped
    std::string fsType;
    std::string source;
};

// Parses /proc/self/mountinfo text; lines that do not parse are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// A mounted volume worth a drive letter, before letters are given.
struct DetectedVolume {
    std::string key; // stays the same while the volume stays mounted
    VolumeType type = VolumeType::Unknown;
    std::string mountPoint;
    std::string fsType;
    std::string source;
    std::string notSystemDisk; // why it is not on a disk the system owns; empty when it is
};

// Picks the volumes a user thinks of as drives: "/" first, then block-device file systems
// (one entry per device, bind mounts and sub-mounts of the same device left out) and network
// file systems, in mount order. Pseudo file systems, squashfs images (snaps) and loop devices
// are left out. Removable, optical and fixed come from sysfs below `sysRoot` ("/sys"); whether
// a volume lies on a disk the system owns from there too and from udisks2's record of the
// mounts it made (`udisksMounts`, platform/volumes/system_disk.h). "/" always does.
std::vector<DetectedVolume> DetectVolumes(
    const std::vector<MountEntry>& mounts, const std::string& sysRoot, const std::string& udisksMounts = {});

// Gives drive letters: "/" is C:, every other volume keeps the letter it had while it stays
// mounted, new ones take the lowest free letter from D. Letters run out at Z.
// The mount whose file system holds `path` (an absolute path, links resolved): the last mounted
// of the longest mount points above it; nullptr when none is.
const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, const std::string& path);

// True when `path` (links resolved) is itself a mount point.
bool IsMountPoint(const std::vector<MountEntry>& mounts, const std::string& path);

class LetterAssigner {
public:
    std::vector<Volume> Assign(const std::vector<DetectedVolume>& volumes);

private:
    struct Given {
        std::string key;
        wchar_t letter;
    };
    std::vector<Given> m_given;
};

} // namespace platform

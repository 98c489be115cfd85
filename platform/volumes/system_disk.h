// Which file systems lie on disks the system itself owns: what a user can attach or write
// elsewhere (an image through a loop device, zram, nbd, a RAM disk, a disk on USB or another
// hot-pluggable bus, FUSE, whatever udisks2 mounted for a user) never counts, since its owner
// could have put anything into it, root-owned folders included.
#pragma once

#include "platform/volumes/mount_table.h"

#include <string>

namespace platform {

// Why the block device whose sysfs folder is `deviceFolder` (links resolved: a disk or one of
// its partitions) is not a disk the system owns; empty when it is. Device-mapper and md devices
// are followed through `slaves/` down to the disks beneath them.
std::string WhyDeviceIsNotTheSystems(const std::string& deviceFolder);

// The same for a mounted file system: its type (FUSE), where it is mounted (under /media/ or
// /run/media/), udisks2's record of the mounts it made (the text of /run/udisks2/mounted-fs;
// empty when there is none), then its block device found beneath `sysRoot` ("/sys"). A file
// system with no block device to look at is not the system's.
std::string WhyMountIsNotTheSystems(
    const MountEntry& mount, const std::string& sysRoot, const std::string& udisksMounts);

// The text of udisks2's record of the mounts it made, empty when there is none.
std::string ReadUdisksMounts();

} // namespace platform

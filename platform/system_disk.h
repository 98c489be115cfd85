// Disks the system owns. Root downloads only onto them, and trusts what it finds in its work
// folder only there: a file system on a loop device (or a partition of one, or anything
// stacked on one), zram, nbd, a RAM disk, a disk on USB or another hot-pluggable bus, FUSE, or
// one that udisks2 mounted for a user is someone else's, whatever its ownership bits say.
// "/" always counts as the system's.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Why the volume behind the drive letter may not receive the download; empty when it may (a
// letter without a volume, "C:", a volume map's lines and every volume on a disk the system
// owns).
std::string WhyNotDownloadDisk(wchar_t letter);

// Why the file system with the device number `device` (st_dev of something on it) is not on a
// disk the system owns; empty when it is. The file system of "/" always is.
std::string WhyFileSystemIsNotTheSystems(std::uint64_t device);

} // namespace platform

// The volume map: a file that stands in for the mount table, one drive letter per line:
//
//     # letter  type       folder                 [free=N] [fs=NAME] [mounted]
//     C         fixed      /srv/installer/disk    free=20G
//     E         removable  /srv/installer/stick   fs=vfat mounted
//
// TYPE is removable, fixed, remote, cdrom, ramdisk or unknown. N is a byte count, optionally
// with a binary suffix K, M, G or T and a decimal fraction (free=4.5G is 4 831 838 208 bytes).
// NAME is the file system the drive reports, as the mount table spells it (vfat, exfat, ntfs
// ...); without it, the mount table's type of the file system holding the folder. With
// `mounted` the letter has a volume only while the folder is a mount point. The fields after
// the folder come in any order, each at most once; the folder is everything between the type
// and them, spaces included. A relative folder is taken from the map file's folder. A folder
// that does not exist means the letter has no volume at the moment.
#pragma once

#include "platform/volumes/volume.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct VolumeMapResult {
    std::vector<Volume> volumes;
    std::string error; // "FILE:LINE: what is wrong", empty when the whole map parsed
};

VolumeMapResult ParseVolumeMap(std::string_view text, const std::string& fileName);
VolumeMapResult ReadVolumeMap(const std::string& fileName);

// "20G", "4.5G", "512" ... to bytes; nullopt when malformed or above 2^64 - 1.
std::optional<std::uint64_t> ParseByteCount(std::string_view text);

} // namespace platform

// A volume behind a drive letter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

enum class VolumeType { Unknown, Removable, Fixed, Remote, CdRom, RamDisk };

struct Volume {
    wchar_t letter = L'\0';          // 'C', 'D', ...
    VolumeType type = VolumeType::Unknown;
    std::string root;                // native folder the letter's root stands for
    std::optional<std::uint64_t> freeBytes;  // reported as is instead of measuring `root`
};

// The Win32 drive type (DRIVE_REMOVABLE, ...) of a volume type.
unsigned DriveTypeOf(VolumeType type);

} // namespace platform

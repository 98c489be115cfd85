// GetDriveTypeW, GetDiskFreeSpaceW and IsCharAlphaW over the volume table.
#include "platform/win32_drives.h"
#include "platform/volume_table.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cwctype>

namespace platform {

unsigned DriveTypeOf(VolumeType type)
{
    switch (type) {
    case VolumeType::Removable: return DRIVE_REMOVABLE;
    case VolumeType::Fixed: return DRIVE_FIXED;
    case VolumeType::Remote: return DRIVE_REMOTE;
    case VolumeType::CdRom: return DRIVE_CDROM;
    case VolumeType::RamDisk: return DRIVE_RAMDISK;
    case VolumeType::Unknown: break;
    }
    return DRIVE_UNKNOWN;
}

} // namespace platform

namespace {

std::optional<platform::Volume> VolumeOfRoot(LPCWSTR rootPath)
{
    if (rootPath == nullptr || rootPath[0] == L'\0' || rootPath[1] != L':')
        return std::nullopt;
    const wchar_t letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(rootPath[0])));
    if (letter < L'A' || letter > L'Z')
        return std::nullopt;
    return platform::VolumeTable::Instance().Find(letter);
}

struct FreeSpace {
    std::uint64_t freeBytes = 0;
    std::uint64_t totalBytes = 0;
};

std::optional<FreeSpace> MeasureFreeSpace(const platform::Volume& volume)
{
    struct statvfs info {};
    const bool measured = ::statvfs(volume.root.c_str(), &info) == 0;
    if (!measured && !volume.freeBytes)
        return std::nullopt;
    FreeSpace space;
    if (measured) {
        space.freeBytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
        space.totalBytes = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
    }
    if (volume.freeBytes) {
        space.freeBytes = *volume.freeBytes;
        space.totalBytes = std::max(space.totalBytes, space.freeBytes);
    }
    return space;
}

} // namespace

UINT GetDriveTypeW(LPCWSTR rootPath)
{
    const auto volume = VolumeOfRoot(rootPath);
    return volume ? platform::DriveTypeOf(volume->type) : DRIVE_NO_ROOT_DIR;
}

BOOL GetDiskFreeSpaceW(LPCWSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters)
{
    const auto volume = VolumeOfRoot(rootPath);
    if (!volume)
        return FALSE;
    const auto space = MeasureFreeSpace(*volume);
    if (!space)
        return FALSE;

    // The smallest power-of-two cluster that lets the free count fit 32 bits: exact below 4 GiB,
    // and what is dropped stays below one cluster (under 1 MiB for volumes below 4 PiB).
    unsigned shift = 0;
    while (shift < 62 && (space->freeBytes >> shift) > 0xFFFFFFFFull)
        ++shift;
    const unsigned clusterShift = std::min(shift, 31u);
    if (sectorsPerCluster != nullptr)
        *sectorsPerCluster = DWORD{1} << clusterShift;
    if (bytesPerSector != nullptr)
        *bytesPerSector = DWORD{1} << (shift - clusterShift);
    if (freeClusters != nullptr)
        *freeClusters = static_cast<DWORD>(space->freeBytes >> shift);
    if (totalClusters != nullptr)
        *totalClusters = static_cast<DWORD>(std::min<std::uint64_t>(space->totalBytes >> shift, 0xFFFFFFFFull));
    return TRUE;
}

BOOL IsCharAlphaW(WCHAR ch)
{
    if ((ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z'))
        return TRUE;
    return ch > 0x7F && std::iswalpha(static_cast<wint_t>(ch)) ? TRUE : FALSE;
}

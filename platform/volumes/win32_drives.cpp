// GetDriveTypeW, GetDiskFreeSpaceW, GetVolumeInformationW and IsCharAlphaW over the volume table.
#include "platform/win32_drives.h"
#include "platform/system/file_descriptor.h"
#include "platform/volume_table.h"
#include "platform/win32_files.h"
#include "platform/win32_strings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <cwctype>
#include <filesystem>

namespace platform {

unsigned DriveTypeOf(VolumeType type)
{
    switch (type) {
    case VolumeType::Removable:
        return DRIVE_REMOVABLE;
    case VolumeType::Fixed:
        return DRIVE_FIXED;
    case VolumeType::Remote:
        return DRIVE_REMOTE;
    case VolumeType::CdRom:
        return DRIVE_CDROM;
    case VolumeType::RamDisk:
        return DRIVE_RAMDISK;
    case VolumeType::Unknown:
        break;
    }
    return DRIVE_UNKNOWN;
}

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The OEM name a boot sector carries at offset 3 ("EXFAT   ", "NTFS    "), read from the device
// the volume is mounted from; empty when the device cannot be read.
std::string BootSectorName(const std::string& device)
{
    if (device.substr(0, 5) != "/dev/")
        return {};
    const FileDescriptor fd(::open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    std::array<char, 8> name{};
    if (fd.get() < 0 || ::pread(fd.get(), name.data(), name.size(), 3) != static_cast<ssize_t>(name.size()))
        return {};
    std::string text(name.data(), name.size());
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return Lower(text);
}

} // namespace

std::string WindowsFileSystemName(const Volume& volume)
{
    std::string type = Lower(volume.fileSystem);
    // exfat-fuse and ntfs-3g mount as "fuseblk" (or "fuseblk.SUBTYPE"): the device tells which.
    if (type.starts_with("fuseblk.") || type.starts_with("fuse."))
        type = type.substr(type.find('.') + 1);
    if (type == "fuseblk") {
        if (const std::string onDisk = BootSectorName(volume.source); onDisk == "exfat" || onDisk == "ntfs")
            type = onDisk;
    }
    if (type == "vfat" || type == "msdos" || type == "fat" || type == "fat32")
        return "FAT32";
    if (type == "exfat")
        return "exFAT";
    if (type == "ntfs" || type == "ntfs3" || type == "ntfs-3g")
        return "NTFS";
    std::string upper = type;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

} // namespace platform

namespace {

namespace fs = std::filesystem;

// udev's name for a label: "\x20" for a space, and so on.
std::string UnescapeUdev(const std::string& name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            out += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

// The label of the device a volume is mounted from, as udev lists it; empty when unknown.
std::string LabelOf(const platform::Volume& volume)
{
    if (volume.source.substr(0, 5) != "/dev/")
        return {};
    std::error_code ec;
    const fs::path device = fs::canonical(volume.source, ec);
    if (ec)
        return {};
    for (fs::directory_iterator it("/dev/disk/by-label", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        if (fs::canonical(it->path(), linkError) == device && !linkError)
            return UnescapeUdev(it->path().filename().string());
    }
    return {};
}

// Copies text with its terminator into a buffer of `size` characters; false when it does not fit.
bool CopyOut(const std::wstring& text, LPWSTR buffer, DWORD size)
{
    if (buffer == nullptr)
        return true;
    if (text.size() + 1 > size)
        return false;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    return true;
}

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

BOOL GetDiskFreeSpaceW(
    LPCWSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters, LPDWORD totalClusters)
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

BOOL GetVolumeInformationW(LPCWSTR rootPath, LPWSTR volumeNameBuffer, DWORD volumeNameSize, LPDWORD serialNumber,
    LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemNameBuffer, DWORD fileSystemNameSize)
{
    const auto volume = VolumeOfRoot(rootPath);
    if (!volume) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct statvfs info {};
    const bool measured = ::statvfs(volume->root.c_str(), &info) == 0;
    const std::wstring label = volumeNameBuffer != nullptr ? platform::Widen(LabelOf(*volume)) : std::wstring();
    const std::wstring fileSystem =
        fileSystemNameBuffer != nullptr ? platform::Widen(platform::WindowsFileSystemName(*volume)) : std::wstring();
    if (!CopyOut(label, volumeNameBuffer, volumeNameSize) ||
        !CopyOut(fileSystem, fileSystemNameBuffer, fileSystemNameSize)) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    if (serialNumber != nullptr)
        *serialNumber = measured ? static_cast<DWORD>(info.f_fsid) : 0;
    if (maxComponentLength != nullptr)
        *maxComponentLength = measured && info.f_namemax != 0 ? static_cast<DWORD>(info.f_namemax) : 255;
    if (fileSystemFlags != nullptr)
        *fileSystemFlags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK |
            (measured && (info.f_flag & ST_RDONLY) != 0 ? FILE_READ_ONLY_VOLUME : 0);
    return TRUE;
}

BOOL IsCharAlphaW(WCHAR ch)
{
    if ((ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z'))
        return TRUE;
    return ch > 0x7F && std::iswalpha(static_cast<wint_t>(ch)) ? TRUE : FALSE;
}

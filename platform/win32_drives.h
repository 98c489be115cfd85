// Drive letters over mounted volumes (see volume_table.h for how letters are assigned).
#pragma once

#include "platform/win32_types.h"

inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

// rootPath: "E:\", "e:\" or "E:".
UINT GetDriveTypeW(LPCWSTR rootPath);
// Free space of the volume as the caller may use it. The cluster size is chosen so that the
// free cluster count fits 32 bits; the product is exact to the mebibyte below 4 PiB.
BOOL GetDiskFreeSpaceW(
    LPCWSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters, LPDWORD totalClusters);
BOOL IsCharAlphaW(WCHAR ch);

inline constexpr DWORD FILE_CASE_PRESERVED_NAMES = 0x00000002;
inline constexpr DWORD FILE_UNICODE_ON_DISK = 0x00000004;
inline constexpr DWORD FILE_READ_ONLY_VOLUME = 0x00080000;

// The volume's label (empty when it has none or it is unknown) and the name of its file system
// as Windows gives it: "FAT32" for vfat, msdos and fat; "exFAT" for exfat, and for a FUSE
// mount ("fuseblk") of a device whose boot sector says exFAT; "NTFS" for ntfs and ntfs3;
// otherwise the mount table's type upper-cased ("EXT4", "TMPFS"). A volume map line's fs=NAME
// stands for the mount table's type. Buffer sizes count characters with the terminator; any
// pointer may be null. FALSE with ERROR_PATH_NOT_FOUND when the letter has no volume,
// ERROR_MORE_DATA when a name does not fit.
BOOL GetVolumeInformationW(LPCWSTR rootPath, LPWSTR volumeNameBuffer, DWORD volumeNameSize, LPDWORD serialNumber,
    LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemNameBuffer, DWORD fileSystemNameSize);

// WM_DEVICECHANGE
inline constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
inline constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr DWORD DBT_DEVTYP_VOLUME = 0x00000002;

struct DEV_BROADCAST_HDR {
    DWORD dbch_size = 0;
    DWORD dbch_devicetype = 0;
    DWORD dbch_reserved = 0;
};
struct DEV_BROADCAST_VOLUME {
    DWORD dbcv_size = sizeof(DEV_BROADCAST_VOLUME);
    DWORD dbcv_devicetype = DBT_DEVTYP_VOLUME;
    DWORD dbcv_reserved = 0;
    DWORD dbcv_unitmask = 0; // bit 0 is A:, bit 1 is B:, ...
    WORD dbcv_flags = 0;
};

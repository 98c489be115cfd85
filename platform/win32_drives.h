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
BOOL GetDiskFreeSpaceW(LPCWSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters);
BOOL IsCharAlphaW(WCHAR ch);

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
    DWORD dbcv_unitmask = 0;   // bit 0 is A:, bit 1 is B:, ...
    WORD dbcv_flags = 0;
};

// What the program knows about drives: one record per letter, the removable drives, and the
// hard disk that receives the download.
#pragma once

#include "drives/byte_size.h"

#include <string>
#include <vector>

// One drive letter: its name ("E:", no backslash) and its type text
// ("Driver e Of Type:Removable Disk." or an error text). Cheap to copy.
struct DriveInfo {
    DriveInfo() = default;
    // `letter` is a one-letter text ("E"); its type is asked once, here.
    explicit DriveInfo(const std::wstring& letter);

    // Free bytes of the volume in `unit`; empty when the drive has no name or cannot be asked.
    std::wstring FreeSpaceText(int unit) const;

    std::wstring driveName;
    std::wstring typeText;
};

// The type text of one character: "Driver %c Of Type:%s." or a whole error text.
std::wstring QueryDriveTypeText(wchar_t letter);

// Free space in GiB truncated to hundredths (read back from the Giga text); 0.0 when unknown.
double FreeSpaceGB(DriveInfo drive);

// What a stick and the download disk each need free: 4.5 GiB, compared with FreeSpaceGB.
inline constexpr double kRequiredFreeGB = 4.5;
inline bool HasRequiredFreeSpace(const DriveInfo& drive) { return FreeSpaceGB(drive) >= kRequiredFreeGB; }

// Empties `out`, then appends every letter of `letters` whose type is "Removable Disk", in order.
void ScanRemovableDrives(const std::vector<std::wstring>& letters, std::vector<DriveInfo>& out);

// Why the drive may never receive the download, though it may be a hard disk: its file system
// is not on a disk the system owns (a loop device or anything stacked on one, zram, nbd, a RAM
// disk, a disk on USB or another hot-pluggable bus, FUSE, mounted by udisks2 for a user).
// Empty when it may: C: always may, and so may every line of a volume map.
std::string WhyNotDownloadDisk(const DriveInfo& drive);
bool IsSystemDisk(const DriveInfo& drive);

// The fixed drive on a disk the system owns with the most free space, starting from C; on a tie
// the earlier letter stays.
DriveInfo PickDownloadDisk();

// "A" to "Z".
extern const std::vector<std::wstring> g_driveLetters;
// The removable drives of the last scan, in letter order.
extern std::vector<DriveInfo> g_removableDrives;
// The hard disk chosen when the main window was built.
extern DriveInfo g_downloadDisk;

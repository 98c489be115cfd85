#include "app/drive_check.h"

#include "drives/drive_info.h"
#include "ui/user_texts.h"

DriveState g_driveState = DriveState::Unchecked;

DriveState CheckDriveState()
{
    g_removableDrives.clear();
    ScanRemovableDrives(g_driveLetters, g_removableDrives);
    const std::size_t count = g_removableDrives.size();
    if (count > 1)
        return DriveState::TooManyDrives;
    if (count < 1)
        return DriveState::NoDrive;
    // Both are measured before either is compared.
    const double driveFree = FreeSpaceGB(g_removableDrives.front());
    const double diskFree = FreeSpaceGB(g_downloadDisk);
    if (driveFree < kRequiredFreeGB)
        return DriveState::DriveSpaceLow;
    if (diskFree < kRequiredFreeGB)
        return DriveState::DiskSpaceLow;
    return DriveState::Ready;
}

const wchar_t* DriveRefusalText(DriveState state)
{
    switch (state) {
    case DriveState::TooManyDrives:
        return text::kTooManySticks;
    case DriveState::NoDrive:
        return text::kNoStick;
    case DriveState::DriveSpaceLow:
        return text::kStickTooSmall;
    case DriveState::DiskSpaceLow:
        return text::kDiskTooSmall;
    case DriveState::Unchecked:
    case DriveState::Ready:
        break;
    }
    return nullptr;
}

bool DriveRefusalHasOwner(DriveState state)
{
    return state == DriveState::DriveSpaceLow || state == DriveState::DiskSpaceLow;
}

#include "app/drive_check.h"

#include "drives/drive_info.h"

DriveState g_driveState = DriveState::Unchecked;

namespace {

// 4.5 GiB, compared with free space in GiB truncated to hundredths.
constexpr double kRequiredFreeGB = 4.5;

} // namespace

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
        return L"请仅保留需要安装课件的U盘，多余的盘移除后，再继续操作！";
    case DriveState::NoDrive:
        return L"请插入需要安装课件的U盘后，再继续操作！";
    case DriveState::DriveSpaceLow:
        return L"U盘空间不足4.5G，无法安装课件！";
    case DriveState::DiskSpaceLow:
        return L"硬盘空间不足4.5G，无法下载！";
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

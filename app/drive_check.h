// The drive check: exactly one removable drive, and both it and the download disk with at
// least 4.5 GiB free.
#pragma once

enum class DriveState { Unchecked, Ready, TooManyDrives, NoDrive, DriveSpaceLow, DiskSpaceLow };

// The result of the last check; Unchecked until the main window's first check. UI thread only.
extern DriveState g_driveState;

// Rescans g_removableDrives and measures the stick and g_downloadDisk. UI thread only.
DriveState CheckDriveState();

// The refusal a click on the start button gives in this state; null for Ready and Unchecked.
const wchar_t* DriveRefusalText(DriveState state);
// Whether that refusal is owned by the main window (the space refusals) or by no window.
bool DriveRefusalHasOwner(DriveState state);

// The page cache of a stick's block device. A file system whose program reads its device from
// user space (FUSE on a block device: exfat-fuse, ntfs-3g) reads through that device's page
// cache, which still holds what was written; dropping a file's pages is not enough there for a
// read to reach the device itself.
#pragma once

#include "platform/folder_handle.h"
#include "platform/result.h"

namespace platform {

enum class DeviceCacheDrop {
    Dropped, // the block device's cached pages were dropped
    NotNeeded, // the folder's file system reads its device in the kernel (or has none)
};

// For a folder opened by FolderHandle::OpenExisting: drops the cached pages of the block device
// under its file system when that file system is FUSE on a block device (needs root). An error
// says why it could not be done.
Result<DeviceCacheDrop> DropBlockDeviceCache(const FolderHandle& folder);

} // namespace platform

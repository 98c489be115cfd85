#include "platform/device_cache.h"

#include "platform/system/file_descriptor.h"
#include "platform/volumes/mount_table.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

bool ReadsItsDeviceFromUserSpace(const MountEntry& mount)
{
    if (mount.fsType == "fuseblk")
        return true;
    return mount.fsType.starts_with("fuse") && mount.source.starts_with("/dev/");
}

} // namespace

Result<DeviceCacheDrop> DropBlockDeviceCache(const FolderHandle& folder)
{
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    const auto device = static_cast<dev_t>(folder.Device());
    const MountEntry* mount = nullptr;
    const std::vector<MountEntry> mounts = ParseMountInfo(text.str());
    for (const MountEntry& entry : mounts) {
        if (entry.major == major(device) && entry.minor == minor(device))
            mount = &entry;
    }
    if (!mount || !ReadsItsDeviceFromUserSpace(*mount))
        return DeviceCacheDrop::NotNeeded;

    struct stat info {};
    if (::stat(mount->source.c_str(), &info) != 0)
        return SystemError(errno, "examine " + mount->source);
    if (!S_ISBLK(info.st_mode))
        return DeviceCacheDrop::NotNeeded; // a FUSE program whose source is no block device
    const FileDescriptor node(RetryOnInterrupt([&] { return ::open(mount->source.c_str(), O_RDONLY | O_CLOEXEC); }));
    if (!node.IsOpen())
        return SystemError(errno, "open " + mount->source);
    // Written-back pages are clean, so both ways leave nothing of the stick's data cached.
    if (::ioctl(node.get(), BLKFLSBUF, 0) == 0)
        return DeviceCacheDrop::Dropped;
    const int refused = errno;
    if (::posix_fadvise(node.get(), 0, 0, POSIX_FADV_DONTNEED) == 0)
        return DeviceCacheDrop::Dropped;
    return SystemError(refused, "drop the cached pages of " + mount->source);
}

} // namespace platform

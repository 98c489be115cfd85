// Pushing written data to the device while a file is written.
#include "platform/folder_handle.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace platform {
namespace {

// statfs's f_type of every FUSE file system (fuse and fuseblk alike).
constexpr long kFuseMagic = 0x65735546;

Result<void> SyncRange(int fd, std::uint64_t offset, std::uint64_t length, unsigned flags)
{
    const auto call = [&] {
        return ::sync_file_range(fd, static_cast<off64_t>(offset), static_cast<off64_t>(length), flags);
    };
    if (RetryOnInterrupt(call) != 0)
        return SystemError(errno, "push the written bytes to the device");
    return {};
}

} // namespace

Result<void> WritableFile::StartPush(std::uint64_t offset, std::uint64_t length)
{
    return SyncRange(m_fd.get(), offset, length, SYNC_FILE_RANGE_WRITE);
}

Result<void> WritableFile::WaitPushed(std::uint64_t offset, std::uint64_t length)
{
    return SyncRange(
        m_fd.get(), offset, length, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
}

Result<void> WritableFile::FlushData()
{
    if (RetryOnInterrupt([&] { return ::fdatasync(m_fd.get()); }) != 0)
        return SystemError(errno, "flush the file");
    return {};
}

WritePush FolderHandle::HowToPush() const
{
    struct statfs info {};
    if (RetryOnInterrupt([&] { return ::fstatfs(m_fd.get(), &info); }) != 0 ||
        static_cast<long>(info.f_type) != kFuseMagic)
        return WritePush::ByRange; // the first push says whether it can
    // A FUSE file system over a block device has that device's number; others an anonymous one.
    return ::major(static_cast<dev_t>(m_device)) == 0 ? WritePush::Nothing : WritePush::ByFlush;
}

} // namespace platform

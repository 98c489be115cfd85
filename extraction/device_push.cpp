#include "extraction/device_push.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

namespace extraction {
namespace {

std::atomic<bool> g_pushDisabled{false};

// What sync_file_range says where a file system cannot push a range.
bool RangeUnsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

} // namespace

void DisableDevicePushForBenchmarks() { g_pushDisabled.store(true); }

DevicePush::DevicePush(const platform::FolderHandle& root, std::function<void(std::uint64_t)> onFlushed)
    : m_root(root), m_onFlushed(std::move(onFlushed)),
      m_push(g_pushDisabled.load() ? platform::WritePush::Nothing : root.HowToPush())
{
}

void DevicePush::BeginFile()
{
    m_started = 0;
    m_counted = 0;
}

void DevicePush::Count(std::uint64_t bytes)
{
    if (bytes == 0)
        return;
    m_flushed += bytes;
    if (m_onFlushed)
        m_onFlushed(m_flushed);
}

platform::Result<void> DevicePush::Written(platform::WritableFile& file, std::uint64_t size)
{
    if (m_push == platform::WritePush::Nothing) {
        Count(size - m_counted);
        m_counted = size;
        return {};
    }
    if (m_push == platform::WritePush::ByFlush)
        return size - m_counted < kFlushStep ? platform::Result<void>() : FlushFile(file, size);
    while (size - m_started >= kPushStep) {
        if (platform::Result<void> started = file.StartPush(m_started, kPushStep); !started) {
            if (!RangeUnsupported(started.Failure().code))
                return started;
            m_push = platform::WritePush::ByFlush;
            return FlushFile(file, size);
        }
        m_started += kPushStep;
        // The step before the one just started: the device has the new one queued meanwhile.
        INSTALLER_TRY(WaitUpTo(file, m_started - kPushStep));
    }
    return {};
}

platform::Result<void> DevicePush::FileComplete(platform::WritableFile& file, std::uint64_t size)
{
    if (m_push == platform::WritePush::Nothing)
        return {};
    // Small files are left to the kernel until their batch is flushed: started one by one,
    // each would go out as small writes of its own instead of a few large ones.
    const bool large = m_counted > 0 || m_started > 0;
    if (large && m_push == platform::WritePush::ByRange && size > m_started) {
        if (platform::Result<void> started = file.StartPush(m_started, size - m_started); started)
            m_started = size;
        else if (RangeUnsupported(started.Failure().code))
            m_push = platform::WritePush::ByFlush;
        else
            return started;
    }
    if (large)
        return m_push == platform::WritePush::ByRange ? WaitUpTo(file, size) : FlushFile(file, size);
    m_unflushedSmall += size;
    if (m_unflushedSmall < kPushBatch)
        return {};
    // On FUSE the flush of one file is the device's flush (fuseblk daemons flush their device);
    // a kernel file system flushes everything started so far.
    INSTALLER_TRY(m_push == platform::WritePush::ByRange ? m_root.FlushFileSystem() : file.FlushData());
    Count(std::exchange(m_unflushedSmall, 0));
    return {};
}

void DevicePush::AllFlushed() { Count(std::exchange(m_unflushedSmall, 0)); }

platform::Result<void> DevicePush::WaitUpTo(platform::WritableFile& file, std::uint64_t end)
{
    while (m_counted < end) {
        const std::uint64_t piece = std::min(kPushWaitPiece, end - m_counted);
        INSTALLER_TRY(file.WaitPushed(m_counted, piece));
        m_counted += piece;
        Count(piece);
    }
    return {};
}

platform::Result<void> DevicePush::FlushFile(platform::WritableFile& file, std::uint64_t size)
{
    INSTALLER_TRY(file.FlushData());
    Count(size - m_counted);
    m_counted = size;
    return {};
}

} // namespace extraction

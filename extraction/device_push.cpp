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

bool DevicePush::Written(platform::WritableFile& file, std::uint64_t size, int& error)
{
    if (m_push == platform::WritePush::Nothing) {
        Count(size - m_counted);
        m_counted = size;
        return true;
    }
    if (m_push == platform::WritePush::ByFlush)
        return size - m_counted < kFlushStep || FlushFile(file, size, error);
    while (size - m_started >= kPushStep) {
        if (!file.StartPush(m_started, kPushStep, error)) {
            if (!RangeUnsupported(error))
                return false;
            m_push = platform::WritePush::ByFlush;
            return FlushFile(file, size, error);
        }
        m_started += kPushStep;
        // The step before the one just started: the device has the new one queued meanwhile.
        if (!WaitUpTo(file, m_started - kPushStep, error))
            return false;
    }
    return true;
}

bool DevicePush::FileComplete(platform::WritableFile& file, std::uint64_t size, int& error)
{
    if (m_push == platform::WritePush::Nothing)
        return true;
    // Small files are left to the kernel until their batch is flushed: started one by one,
    // each would go out as small writes of its own instead of a few large ones.
    const bool large = m_counted > 0 || m_started > 0;
    if (large && m_push == platform::WritePush::ByRange && size > m_started) {
        if (file.StartPush(m_started, size - m_started, error))
            m_started = size;
        else if (RangeUnsupported(error))
            m_push = platform::WritePush::ByFlush;
        else
            return false;
    }
    if (large)
        return m_push == platform::WritePush::ByRange ? WaitUpTo(file, size, error) : FlushFile(file, size, error);
    m_unflushedSmall += size;
    if (m_unflushedSmall < kPushBatch)
        return true;
    // On FUSE the flush of one file is the device's flush (fuseblk daemons flush their device);
    // a kernel file system flushes everything started so far.
    if (m_push == platform::WritePush::ByRange ? !m_root.FlushFileSystem(error) : !file.FlushData(error))
        return false;
    Count(std::exchange(m_unflushedSmall, 0));
    return true;
}

void DevicePush::AllFlushed() { Count(std::exchange(m_unflushedSmall, 0)); }

bool DevicePush::WaitUpTo(platform::WritableFile& file, std::uint64_t end, int& error)
{
    while (m_counted < end) {
        const std::uint64_t piece = std::min(kPushWaitPiece, end - m_counted);
        if (!file.WaitPushed(m_counted, piece, error))
            return false;
        m_counted += piece;
        Count(piece);
    }
    return true;
}

bool DevicePush::FlushFile(platform::WritableFile& file, std::uint64_t size, int& error)
{
    if (!file.FlushData(error))
        return false;
    Count(size - m_counted);
    m_counted = size;
    return true;
}

} // namespace extraction

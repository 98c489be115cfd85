// Pushes what the stick writer writes out to the stick's device as the writing goes, and counts
// the bytes the device holds, so that the writing's progress is the device's and not the page
// cache's, and the flush at the end has little left to do.
//
// On a kernel file system a file's bytes are started out in steps of kPushStep as they are
// written, and the step before the one just started is waited for (in pieces, each counted as it
// lands), so the device always has the next step queued while the writer waits. Small files are
// counted in batches, once a flush of the file system has returned (the kernel writes them out
// together, in large writes). On FUSE over a block device, where the daemon writes into the device's cache and
// only a flush of a whole file reaches the device, a file is flushed every kFlushStep bytes and
// small files in batches. On FUSE without a block device each write waits for the daemon, which
// then holds the bytes: they count as written.
#pragma once

#include "platform/folder_handle.h"

#include <cstdint>
#include <functional>

namespace extraction {

// How far the writing may run ahead of the device, per file.
inline constexpr std::uint64_t kPushStep = 32u << 20;
// How far a FUSE daemon's device may lag behind the writing, per file.
inline constexpr std::uint64_t kFlushStep = 32u << 20;
// How much a wait counts at a time, so that the progress moves while the device catches up.
inline constexpr std::uint64_t kPushWaitPiece = 4u << 20;
// How many bytes of small files are counted together by one flush.
inline constexpr std::uint64_t kPushBatch = 16u << 20;

// For benchmarks only: writers made afterwards push nothing and count everything as on the device
// once written, leaving it all to the final flush as a plain extractor does.
void DisableDevicePushForBenchmarks();

class DevicePush {
public:
    // `onFlushed` is called with the bytes counted as on the device, each time they grow.
    DevicePush(const platform::FolderHandle& root, std::function<void(std::uint64_t)> onFlushed);

    // A file begins (the one before was finished or abandoned).
    void BeginFile();
    // The file being written now holds `size` bytes.
    platform::Result<void> Written(platform::WritableFile& file, std::uint64_t size);
    // The file is complete at `size` bytes; called before it is closed.
    platform::Result<void> FileComplete(platform::WritableFile& file, std::uint64_t size);
    // The file system was flushed: everything finished is on the device.
    void AllFlushed();

    std::uint64_t Flushed() const { return m_flushed; }

private:
    // Kernel file systems: waits for the file's bytes up to `end`, counting each piece.
    platform::Result<void> WaitUpTo(platform::WritableFile& file, std::uint64_t end);
    // FUSE: flushes the file and counts its bytes up to `size`.
    platform::Result<void> FlushFile(platform::WritableFile& file, std::uint64_t size);
    void Count(std::uint64_t bytes);

    const platform::FolderHandle& m_root;
    const std::function<void(std::uint64_t)> m_onFlushed;
    platform::WritePush m_push;
    std::uint64_t m_flushed = 0;
    std::uint64_t m_unflushedSmall = 0; // bytes of finished small files not yet counted
    // The file being written.
    std::uint64_t m_started = 0; // bytes started out (kernel file systems)
    std::uint64_t m_counted = 0; // bytes counted as on the device
};

} // namespace extraction

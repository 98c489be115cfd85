// Reading a file back from the device that holds it, past the kernel's page cache: what was
// written to a stick is read from the stick itself, not from the copy the kernel still keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

class FolderHandle;

struct UncachedReadResult {
    enum class Status { Done, Stopped, Failed };
    Status status = Status::Done;
    int error = 0; // the system's error number of a failure
    std::uint64_t fileSize = 0; // the file's size as its file system reports it when opened
    std::uint64_t bytesRead = 0; // handed to the sink before the read ended
    // For a failure, one line naming the file, the system's reason and, for a read, the offset
    // of the block that could not be read.
    std::string text;

    // The failure says the device is no longer there (it was pulled, or its file system is
    // gone): IsDeviceGoneError (platform/folder_handle.h).
    bool DeviceGone() const;
};

// Receives the file's bytes in order. Every block but the last holds exactly the reader's
// block size, so block n starts at n × block size. Returning false stops the read.
using UncachedBlockSink = std::function<bool(std::span<const std::byte> block)>;

class UncachedFileReader {
public:
    // One buffer of `blockSize` bytes is made here and used for every read: memory stays flat
    // whatever the size of the files.
    explicit UncachedFileReader(std::size_t blockSize);
    ~UncachedFileReader();
    UncachedFileReader(const UncachedFileReader&) = delete;
    UncachedFileReader& operator=(const UncachedFileReader&) = delete;

    std::size_t BlockSize() const { return m_blockSize; }

    // Reads the regular file at `relativePath` (UTF-8, '/'-separated, no "." or ".." names)
    // beneath the folder `directory` holds, without following a symbolic link at any step.
    // The file's cached pages are dropped before the first read, so the bytes come from the
    // device. The file system must have been flushed: pages not yet written out stay cached.
    UncachedReadResult Read(
        const FolderHandle& directory, std::string_view relativePath, const UncachedBlockSink& sink);

private:
    const std::size_t m_blockSize;
    std::unique_ptr<std::byte[]> m_buffer;
};

} // namespace platform

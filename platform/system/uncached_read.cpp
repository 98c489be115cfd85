#include "platform/uncached_read.h"
#include "platform/folder_handle.h"
#include "platform/system/file_descriptor.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

UncachedReadResult Failure(int error, std::string_view path, std::string_view doing)
{
    UncachedReadResult result;
    result.status = UncachedReadResult::Status::Failed;
    result.error = error;
    result.text = "cannot " + std::string(doing) + " \"" + std::string(path) + "\": " + std::strerror(error);
    return result;
}

// Reads until `size` bytes are in or the file ends; -1 with errno set on failure.
ssize_t ReadFull(int fd, std::byte* buffer, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = RetryOnInterrupt([&] { return ::read(fd, buffer + filled, size - filled); });
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(filled);
}

} // namespace

bool UncachedReadResult::DeviceGone() const { return status == Status::Failed && IsDeviceGoneError(error); }

UncachedFileReader::UncachedFileReader(std::size_t blockSize)
    : m_blockSize(blockSize == 0 ? 1 : blockSize), m_buffer(std::make_unique_for_overwrite<std::byte[]>(m_blockSize))
{
}

UncachedFileReader::~UncachedFileReader() = default;

UncachedReadResult UncachedFileReader::Read(
    const FolderHandle& directory, std::string_view relativePath, const UncachedBlockSink& sink)
{
    const Result<ReadableFile> opened = directory.OpenFileBeneath(relativePath);
    if (!opened) {
        const int error = opened.Failure().code;
        return Failure(error, relativePath, error == EISDIR || error == EINVAL ? "read a regular file at" : "open");
    }
    const FileDescriptor& file = opened->m_fd;
    struct stat status {};
    if (fstat(file.get(), &status) != 0)
        return Failure(errno, relativePath, "examine");
    const int flags = fcntl(file.get(), F_GETFL);
    if (flags >= 0)
        fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);

    // The pages of a flushed file are clean, so dropping them leaves nothing cached; the
    // sequential hint doubles the read-ahead.
    posix_fadvise(file.get(), 0, 0, POSIX_FADV_DONTNEED);
    posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    UncachedReadResult result;
    result.fileSize = static_cast<std::uint64_t>(status.st_size);
    for (;;) {
        const ssize_t got = ReadFull(file.get(), m_buffer.get(), m_blockSize);
        if (got < 0) {
            UncachedReadResult failure = Failure(errno, relativePath, "read");
            failure.text += " at offset " + std::to_string(result.bytesRead);
            failure.fileSize = result.fileSize;
            failure.bytesRead = result.bytesRead;
            return failure;
        }
        if (got == 0)
            return result;
        const auto size = static_cast<std::size_t>(got);
        // What was read is not kept in the cache either: a large package would push out
        // everything else the machine holds there.
        posix_fadvise(file.get(), static_cast<off_t>(result.bytesRead), static_cast<off_t>(size), POSIX_FADV_DONTNEED);
        result.bytesRead += size;
        if (!sink(std::span<const std::byte>(m_buffer.get(), size))) {
            result.status = UncachedReadResult::Status::Stopped;
            return result;
        }
        if (size < m_blockSize)
            return result;
    }
}

} // namespace platform

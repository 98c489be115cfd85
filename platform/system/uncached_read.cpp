#include "platform/uncached_read.h"
#include "platform/folder_handle.h"
#include "platform/system/file_descriptor.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

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

std::vector<std::string_view> Components(std::string_view path)
{
    std::vector<std::string_view> names;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        names.push_back(path.substr(0, slash));
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return names;
}

// Opens the file one name at a time, each step refusing a symbolic link (ENOTDIR or ELOOP), so
// nothing outside `directory` can be reached. -1 with errno set on failure.
int OpenBeneath(int directory, std::string_view relativePath)
{
    const std::vector<std::string_view> names = Components(relativePath);
    if (names.empty()) {
        errno = EINVAL;
        return -1;
    }
    for (const std::string_view name : names) {
        if (name.empty() || name == "." || name == "..") {
            errno = EINVAL;
            return -1;
        }
    }
    std::optional<FileDescriptor> folder;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        const int at = folder ? folder->get() : directory;
        const int next = openat(at, std::string(names[i]).c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            return -1;
        folder.emplace(next);
    }
    // O_NONBLOCK: a FIFO put where the file was must not hang the open.
    const int file = openat(folder ? folder->get() : directory, std::string(names.back()).c_str(),
        O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return file;
}

// Reads until `size` bytes are in or the file ends; -1 with errno set on failure.
ssize_t ReadFull(int fd, std::byte* buffer, std::size_t size)
{
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(fd, buffer + filled, size - filled);
        if (got < 0 && errno == EINTR)
            continue;
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
    if (!directory.IsOpen())
        return Failure(EBADF, relativePath, "open");
    const FileDescriptor file(OpenBeneath(directory.m_fd, relativePath));
    if (file.get() < 0)
        return Failure(errno, relativePath, "open");
    struct stat status {};
    if (fstat(file.get(), &status) != 0)
        return Failure(errno, relativePath, "examine");
    if (!S_ISREG(status.st_mode))
        return Failure(EINVAL, relativePath, "read a regular file at");
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

#include "platform/folder_handle.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {
namespace {

// One path component as a C string; a name with a separator or a NUL is no component.
bool AsComponent(std::string_view name, std::string& component, int& error)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos) {
        error = EINVAL;
        return false;
    }
    component.assign(name);
    return true;
}

// Whether the kernel has openat2 (5.6 and later), which can refuse to step onto another mount.
std::atomic<bool> g_openat2Missing{false};

// Opens the one name inside `parent`, never through a link and, where the kernel can tell
// (openat2), never onto another file system mounted there (EXDEV). -1 with errno set.
int OpenOneName(int parent, const char* name, int flags, mode_t mode = 0)
{
    if (!g_openat2Missing.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags);
        how.mode = (flags & O_CREAT) != 0 ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const long fd = RetryOnInterrupt([&] { return ::syscall(SYS_openat2, parent, name, &how, sizeof how); });
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
            return static_cast<int>(fd);
        if (errno == ENOSYS)
            g_openat2Missing.store(true, std::memory_order_relaxed);
    }
    return RetryOnInterrupt([&] { return ::openat(parent, name, flags, mode); });
}

int OpenFolderAt(int parent, const char* name)
{
    return OpenOneName(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int CreateFileAt(int parent, const char* name, unsigned mode)
{
    return OpenOneName(parent, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
}

// The size of the open file, from fstat.
std::optional<std::uint64_t> SizeOf(int fd, int& error)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = errno;
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

struct timespec TimesOf(const FileTime& time)
{
    struct timespec spec {};
    spec.tv_sec = static_cast<time_t>(time.seconds);
    spec.tv_nsec = time.nanoseconds;
    return spec;
}

bool SetTimes(int fd, const FileTime& time, int& error)
{
    const struct timespec times[2] = {TimesOf(time), TimesOf(time)};
    if (::futimens(fd, times) == 0)
        return true;
    error = errno;
    return false;
}

} // namespace

std::string FileErrorText(int error) { return std::strerror(error); }

bool IsDeviceGoneError(int error)
{
    switch (error) {
    case ENODEV:
    case ENXIO:
    case ENOTCONN:
    case ESTALE:
    case ESHUTDOWN:
    case ENOMEDIUM:
        return true;
    default:
        return false;
    }
}

bool IsInputOutputError(int error) { return error == EIO || error == EREMOTEIO; }

unsigned CreationMask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

unsigned ProcessUserId() { return static_cast<unsigned>(::geteuid()); }

// ---- WritableFile ------------------------------------------------------------------------------

bool WritableFile::Write(const void* data, std::size_t size, int& error)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = RetryOnInterrupt([&] { return ::write(m_fd.get(), bytes, size); });
        if (written < 0) {
            error = errno;
            return false;
        }
        if (written == 0) {
            error = ENOSPC;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool WritableFile::SetModificationTime(const FileTime& time, int& error) { return SetTimes(m_fd.get(), time, error); }

bool WritableFile::TruncateToEmpty(int& error)
{
    // Written on from the start again (a file opened for appending goes there anyway).
    if (::ftruncate(m_fd.get(), 0) == 0 && ::lseek(m_fd.get(), 0, SEEK_SET) == 0)
        return true;
    error = errno;
    return false;
}

std::optional<std::uint64_t> WritableFile::Size(int& error) const { return SizeOf(m_fd.get(), error); }

bool WritableFile::Close(int& error)
{
    const int fd = m_fd.Release();
    if (fd < 0 || ::close(fd) == 0 || errno == EINTR)
        return true;
    error = errno;
    return false;
}

ReadableFile WritableFile::ReopenForReading(int& error) const
{
    // The descriptor's own entry leads to the file it holds, whatever is at its name now.
    const std::string own = "/proc/self/fd/" + std::to_string(m_fd.get());
    const int fd = RetryOnInterrupt([&] { return ::open(own.c_str(), O_RDONLY | O_CLOEXEC); });
    if (fd < 0)
        error = errno;
    return ReadableFile(fd);
}

// ---- ReadableFile ------------------------------------------------------------------------------

std::optional<std::size_t> ReadableFile::Read(void* buffer, std::size_t size, int& error)
{
    const ssize_t got = RetryOnInterrupt([&] { return ::read(m_fd.get(), buffer, size); });
    if (got >= 0)
        return static_cast<std::size_t>(got);
    error = errno;
    return std::nullopt;
}

std::optional<std::size_t> ReadableFile::ReadAt(void* buffer, std::size_t size, std::uint64_t offset, int& error) const
{
    const ssize_t got = RetryOnInterrupt([&] { return ::pread(m_fd.get(), buffer, size, static_cast<off_t>(offset)); });
    if (got >= 0)
        return static_cast<std::size_t>(got);
    error = errno;
    return std::nullopt;
}

bool ReadableFile::Rewind(int& error)
{
    if (::lseek(m_fd.get(), 0, SEEK_SET) == 0)
        return true;
    error = errno;
    return false;
}

std::optional<std::uint64_t> ReadableFile::Size(int& error) const { return SizeOf(m_fd.get(), error); }

// ---- FolderHandle ------------------------------------------------------------------------------

FolderHandle FolderHandle::OpenExisting(const std::string& nativePath, int& error)
{
    FolderHandle folder(
        RetryOnInterrupt([&] { return ::open(nativePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    struct stat info {};
    if (!folder.IsOpen() || ::fstat(folder.m_fd.get(), &info) != 0) {
        error = errno;
        return FolderHandle();
    }
    folder.m_path = nativePath;
    folder.m_device = info.st_dev;
    folder.m_inode = info.st_ino;
    return folder;
}

bool FolderHandle::StillInPlace() const
{
    struct stat info {};
    return IsOpen() && !m_path.empty() && ::stat(m_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_dev == m_device && info.st_ino == m_inode;
}

bool FolderHandle::DevicePresent() const
{
    const auto device = static_cast<dev_t>(m_device);
    if (major(device) == 0)
        return true;
    const std::string node = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    struct stat info {};
    return ::stat(node.c_str(), &info) == 0;
}

bool FolderHandle::DeviceLeftWithin(std::chrono::milliseconds grace) const
{
    if (major(static_cast<dev_t>(m_device)) == 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    for (;;) {
        if (!DevicePresent())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FolderHandle FolderHandle::OpenChildFolder(const std::string& component, int& error) const
{
    FolderHandle folder(OpenFolderAt(m_fd.get(), component.c_str()));
    struct stat info {};
    if (!folder.IsOpen() || ::fstat(folder.m_fd.get(), &info) != 0) {
        error = errno;
        return FolderHandle();
    }
    // A folder with another file system mounted on it leads off this one: never entered.
    // openat2 refuses it already; without it the device number tells (which also refuses a
    // btrfs subvolume, the price of a kernel older than 5.6).
    if (g_openat2Missing.load(std::memory_order_relaxed) && info.st_dev != m_device) {
        error = EXDEV;
        return FolderHandle();
    }
    folder.m_device = info.st_dev;
    folder.m_inode = info.st_ino;
    return folder;
}

FolderHandle FolderHandle::OpenOrMakeFolder(std::string_view name, unsigned mode, bool& made, int& error) const
{
    made = false;
    std::string component;
    if (!AsComponent(name, component, error))
        return FolderHandle();
    int openError = 0;
    FolderHandle folder = OpenChildFolder(component, openError);
    if (folder.IsOpen() || openError != ENOENT) {
        error = openError;
        return folder;
    }
    if (::mkdirat(m_fd.get(), component.c_str(), static_cast<mode_t>(mode)) == 0)
        made = true;
    else if (errno != EEXIST) {
        error = errno;
        return FolderHandle();
    }
    return OpenChildFolder(component, error);
}

FolderHandle FolderHandle::OpenFolder(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return FolderHandle();
    return OpenChildFolder(component, error);
}

WritableFile FolderHandle::CreateFile(std::string_view name, unsigned mode, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return WritableFile();
    WritableFile file(CreateFileAt(m_fd.get(), component.c_str(), mode));
    if (file.IsOpen())
        return file;
    if (errno != EEXIST) {
        error = errno;
        return WritableFile();
    }
    // Something has the name: an earlier version of the file is replaced as a whole, a link
    // or a special file goes without being opened, a folder stays.
    struct stat info {};
    if (::fstatat(m_fd.get(), component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        return WritableFile();
    }
    if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
        return WritableFile();
    }
    if (::unlinkat(m_fd.get(), component.c_str(), 0) != 0 && errno != ENOENT) {
        error = errno;
        return WritableFile();
    }
    file = WritableFile(CreateFileAt(m_fd.get(), component.c_str(), mode));
    if (!file.IsOpen())
        error = errno;
    return file;
}

WritableFile FolderHandle::CreateNewFile(std::string_view name, unsigned mode, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return WritableFile();
    WritableFile file(CreateFileAt(m_fd.get(), component.c_str(), mode));
    if (!file.IsOpen())
        error = errno;
    return file;
}

ReadableFile FolderHandle::OpenFile(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return ReadableFile();
    // O_NONBLOCK: a FIFO put where the file was must not hang the open.
    const int fd = OpenOneName(m_fd.get(), component.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ReadableFile file(fd);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        error = errno;
        return ReadableFile();
    }
    if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return ReadableFile();
    }
    return file;
}

ReadableFile FolderHandle::OpenFileBeneath(std::string_view relativePath, int& error) const
{
    const std::size_t slash = relativePath.find('/');
    if (slash == std::string_view::npos)
        return OpenFile(relativePath, error);
    const FolderHandle folder = OpenFolder(relativePath.substr(0, slash), error);
    if (!folder.IsOpen())
        return ReadableFile();
    return folder.OpenFileBeneath(relativePath.substr(slash + 1), error);
}

std::optional<FileSystemSpace> FolderHandle::Space(int& error) const
{
    struct statvfs info {};
    if (::fstatvfs(m_fd.get(), &info) != 0) {
        error = errno;
        return std::nullopt;
    }
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return FileSystemSpace{static_cast<std::uint64_t>(info.f_bavail) * unit, unit};
}

std::optional<ExistingEntry> FolderHandle::EntryBeneath(std::string_view relativePath) const
{
    int error = 0;
    const std::size_t slash = relativePath.find('/');
    if (slash != std::string_view::npos) {
        const FolderHandle folder = OpenFolder(relativePath.substr(0, slash), error);
        if (!folder.IsOpen())
            return std::nullopt;
        return folder.EntryBeneath(relativePath.substr(slash + 1));
    }
    std::string component;
    struct stat info {};
    if (!AsComponent(relativePath, component, error) ||
        ::fstatat(m_fd.get(), component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return ExistingEntry{S_ISDIR(info.st_mode), static_cast<std::uint64_t>(info.st_blocks) * 512};
}

WritableFile FolderHandle::OpenFileForAppend(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return WritableFile();
    const int fd =
        OpenOneName(m_fd.get(), component.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    WritableFile file(fd);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        error = errno;
        return WritableFile();
    }
    if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return WritableFile();
    }
    return file;
}

bool FolderHandle::RenameFile(std::string_view from, std::string_view to, int& error) const
{
    std::string source;
    std::string target;
    if (!AsComponent(from, source, error) || !AsComponent(to, target, error))
        return false;
    if (::renameat(m_fd.get(), source.c_str(), m_fd.get(), target.c_str()) == 0)
        return true;
    error = errno;
    return false;
}

bool FolderHandle::RemoveFile(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return false;
    if (::unlinkat(m_fd.get(), component.c_str(), 0) == 0)
        return true;
    error = errno;
    return false;
}

std::optional<EntryKind> FolderHandle::KindOf(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return std::nullopt;
    struct stat info {};
    if (::fstatat(m_fd.get(), component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return EntryKind::Missing;
        error = errno;
        return std::nullopt;
    }
    if (S_ISLNK(info.st_mode))
        return EntryKind::Link;
    if (S_ISDIR(info.st_mode))
        return EntryKind::Folder;
    return S_ISREG(info.st_mode) ? EntryKind::File : EntryKind::Other;
}

bool FolderHandle::Status(FolderStatus& status, int& error) const
{
    struct stat info {};
    if (::fstat(m_fd.get(), &info) != 0) {
        error = errno;
        return false;
    }
    status.owner = static_cast<unsigned>(info.st_uid);
    status.permissions = static_cast<unsigned>(info.st_mode & 07777);
    status.device = static_cast<std::uint64_t>(info.st_dev);
    return true;
}

bool FolderHandle::SetModificationTime(const FileTime& time, int& error) const
{
    return SetTimes(m_fd.get(), time, error);
}

bool FolderHandle::SetPermissions(unsigned mode, int& error) const
{
    if (::fchmod(m_fd.get(), static_cast<mode_t>(mode)) == 0)
        return true;
    error = errno;
    return false;
}

bool FolderHandle::FlushFileSystem(int& error) const
{
    if (::syncfs(m_fd.get()) == 0)
        return true;
    error = errno;
    return false;
}

} // namespace platform

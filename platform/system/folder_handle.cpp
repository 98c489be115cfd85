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

// The failure of the call that just set errno.
Error Failed(std::string_view doing, std::string_view name = {})
{
    const int code = errno;
    return SystemError(code, name.empty() ? std::string(doing) : std::string(doing) + " " + std::string(name));
}

Error FailedWith(int code, std::string_view doing, std::string_view name)
{
    return SystemError(code, std::string(doing) + " " + std::string(name));
}

// One path component as a C string; a name with a separator or a NUL is no component.
Result<std::string> AsComponent(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return FailedWith(EINVAL, "use the name", name);
    return std::string(name);
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
Result<std::uint64_t> SizeOf(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return Failed("size the file");
    return static_cast<std::uint64_t>(info.st_size);
}

struct timespec TimesOf(const FileTime& time)
{
    struct timespec spec {};
    spec.tv_sec = static_cast<time_t>(time.seconds);
    spec.tv_nsec = time.nanoseconds;
    return spec;
}

Result<void> SetTimes(int fd, const FileTime& time)
{
    const struct timespec times[2] = {TimesOf(time), TimesOf(time)};
    if (::futimens(fd, times) != 0)
        return Failed("set the modification time");
    return {};
}

// What an opened regular file's open gave, checked to be a regular file (fstat); -1 with
// errno set when it is not.
int RegularFileOrFail(int fd)
{
    if (fd < 0)
        return -1;
    struct stat info {};
    int code = 0;
    if (::fstat(fd, &info) != 0)
        code = errno;
    else if (S_ISREG(info.st_mode))
        return fd;
    else
        code = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = code;
    return -1;
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

Result<void> WritableFile::Write(const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = RetryOnInterrupt([&] { return ::write(m_fd.get(), bytes, size); });
        if (written < 0)
            return Failed("write");
        if (written == 0)
            return SystemError(ENOSPC, "write");
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

Result<void> WritableFile::SetModificationTime(const FileTime& time) { return SetTimes(m_fd.get(), time); }

Result<void> WritableFile::TruncateToEmpty()
{
    // Written on from the start again (a file opened for appending goes there anyway).
    if (::ftruncate(m_fd.get(), 0) != 0 || ::lseek(m_fd.get(), 0, SEEK_SET) != 0)
        return Failed("cut the file");
    return {};
}

Result<std::uint64_t> WritableFile::Size() const { return SizeOf(m_fd.get()); }

Result<void> WritableFile::Close()
{
    const int fd = m_fd.Release();
    if (fd < 0 || ::close(fd) == 0 || errno == EINTR)
        return {};
    return Failed("close");
}

Result<ReadableFile> WritableFile::ReopenForReading() const
{
    // The descriptor's own entry leads to the file it holds, whatever is at its name now.
    const std::string own = "/proc/self/fd/" + std::to_string(m_fd.get());
    const int fd = RetryOnInterrupt([&] { return ::open(own.c_str(), O_RDONLY | O_CLOEXEC); });
    if (fd < 0)
        return Failed("open the file once more");
    return ReadableFile(fd);
}

// ---- ReadableFile ------------------------------------------------------------------------------

Result<std::size_t> ReadableFile::Read(void* buffer, std::size_t size)
{
    const ssize_t got = RetryOnInterrupt([&] { return ::read(m_fd.get(), buffer, size); });
    if (got < 0)
        return Failed("read");
    return static_cast<std::size_t>(got);
}

Result<std::size_t> ReadableFile::ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const
{
    const ssize_t got = RetryOnInterrupt([&] { return ::pread(m_fd.get(), buffer, size, static_cast<off_t>(offset)); });
    if (got < 0)
        return Failed("read");
    return static_cast<std::size_t>(got);
}

Result<void> ReadableFile::Rewind()
{
    if (::lseek(m_fd.get(), 0, SEEK_SET) != 0)
        return Failed("go back to the start");
    return {};
}

Result<std::uint64_t> ReadableFile::Size() const { return SizeOf(m_fd.get()); }

// ---- FolderHandle ------------------------------------------------------------------------------

Result<FolderHandle> FolderHandle::OpenExisting(const std::string& nativePath)
{
    FolderHandle folder(
        RetryOnInterrupt([&] { return ::open(nativePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    struct stat info {};
    if (!folder.m_fd.IsOpen() || ::fstat(folder.m_fd.get(), &info) != 0)
        return Failed("open the folder", nativePath);
    folder.m_path = nativePath;
    folder.m_device = info.st_dev;
    folder.m_inode = info.st_ino;
    return folder;
}

bool FolderHandle::StillInPlace() const
{
    struct stat info {};
    return m_fd.IsOpen() && !m_path.empty() && ::stat(m_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
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

Result<FolderHandle> FolderHandle::OpenChildFolder(const std::string& component) const
{
    FolderHandle folder(OpenFolderAt(m_fd.get(), component.c_str()));
    struct stat info {};
    if (!folder.m_fd.IsOpen() || ::fstat(folder.m_fd.get(), &info) != 0)
        return Failed("open the folder", component);
    // A folder with another file system mounted on it leads off this one: never entered.
    // openat2 refuses it already; without it the device number tells (which also refuses a
    // btrfs subvolume, the price of a kernel older than 5.6).
    if (g_openat2Missing.load(std::memory_order_relaxed) && info.st_dev != m_device)
        return FailedWith(EXDEV, "open the folder", component);
    folder.m_device = info.st_dev;
    folder.m_inode = info.st_ino;
    return folder;
}

Result<FolderHandle> FolderHandle::OpenOrMakeFolder(std::string_view name, unsigned mode, bool* made) const
{
    if (made)
        *made = false;
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    Result<FolderHandle> folder = OpenChildFolder(component);
    if (folder || folder.Failure().code != ENOENT)
        return folder;
    if (::mkdirat(m_fd.get(), component.c_str(), static_cast<mode_t>(mode)) == 0) {
        if (made)
            *made = true;
    } else if (errno != EEXIST)
        return Failed("make the folder", component);
    return OpenChildFolder(component);
}

Result<FolderHandle> FolderHandle::OpenFolder(std::string_view name) const
{
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    return OpenChildFolder(component);
}

Result<WritableFile> FolderHandle::CreateFile(std::string_view name, unsigned mode) const
{
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    const int fd = CreateFileAt(m_fd.get(), component.c_str(), mode);
    if (fd >= 0)
        return WritableFile(fd);
    if (errno != EEXIST)
        return Failed("create", component);
    // Something has the name: an earlier version of the file is replaced as a whole, a link
    // or a special file goes without being opened, a folder stays.
    struct stat info {};
    if (::fstatat(m_fd.get(), component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return Failed("look at", component);
    if (S_ISDIR(info.st_mode))
        return FailedWith(EISDIR, "create", component);
    if (::unlinkat(m_fd.get(), component.c_str(), 0) != 0 && errno != ENOENT)
        return Failed("replace", component);
    return CreateNewFile(component, mode);
}

Result<WritableFile> FolderHandle::CreateNewFile(std::string_view name, unsigned mode) const
{
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    const int fd = CreateFileAt(m_fd.get(), component.c_str(), mode);
    if (fd < 0)
        return Failed("create", component);
    return WritableFile(fd);
}

Result<ReadableFile> FolderHandle::OpenFile(std::string_view name) const
{
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    // O_NONBLOCK: a FIFO put where the file was must not hang the open.
    const int fd =
        RegularFileOrFail(OpenOneName(m_fd.get(), component.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0)
        return Failed("open", component);
    return ReadableFile(fd);
}

Result<ReadableFile> FolderHandle::OpenFileBeneath(std::string_view relativePath) const
{
    const std::size_t slash = relativePath.find('/');
    if (slash == std::string_view::npos)
        return OpenFile(relativePath);
    INSTALLER_TRY_ASSIGN(folder, OpenFolder(relativePath.substr(0, slash)));
    return folder.OpenFileBeneath(relativePath.substr(slash + 1));
}

Result<FileSystemSpace> FolderHandle::Space() const
{
    struct statvfs info {};
    if (::fstatvfs(m_fd.get(), &info) != 0)
        return Failed("ask the file system for its free space");
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return FileSystemSpace{static_cast<std::uint64_t>(info.f_bavail) * unit, unit};
}

std::optional<ExistingEntry> FolderHandle::EntryBeneath(std::string_view relativePath) const
{
    const std::size_t slash = relativePath.find('/');
    if (slash != std::string_view::npos) {
        const Result<FolderHandle> folder = OpenFolder(relativePath.substr(0, slash));
        if (!folder)
            return std::nullopt;
        return folder->EntryBeneath(relativePath.substr(slash + 1));
    }
    const Result<std::string> component = AsComponent(relativePath);
    struct stat info {};
    if (!component || ::fstatat(m_fd.get(), component->c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return ExistingEntry{S_ISDIR(info.st_mode), static_cast<std::uint64_t>(info.st_blocks) * 512};
}

Result<WritableFile> FolderHandle::OpenFileForAppend(std::string_view name) const
{
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    const int fd = RegularFileOrFail(
        OpenOneName(m_fd.get(), component.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0)
        return Failed("open", component);
    return WritableFile(fd);
}

Result<void> FolderHandle::RenameFile(std::string_view from, std::string_view to) const
{
    INSTALLER_TRY_ASSIGN(source, AsComponent(from));
    INSTALLER_TRY_ASSIGN(target, AsComponent(to));
    if (::renameat(m_fd.get(), source.c_str(), m_fd.get(), target.c_str()) != 0)
        return Failed("rename", source);
    return {};
}

Result<void> FolderHandle::RemoveFile(std::string_view name) const
{
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    if (::unlinkat(m_fd.get(), component.c_str(), 0) != 0)
        return Failed("remove", component);
    return {};
}

Result<EntryKind> FolderHandle::KindOf(std::string_view name) const
{
    INSTALLER_TRY_ASSIGN(component, AsComponent(name));
    struct stat info {};
    if (::fstatat(m_fd.get(), component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return EntryKind::Missing;
        return Failed("look at", component);
    }
    if (S_ISLNK(info.st_mode))
        return EntryKind::Link;
    if (S_ISDIR(info.st_mode))
        return EntryKind::Folder;
    return S_ISREG(info.st_mode) ? EntryKind::File : EntryKind::Other;
}

Result<FolderStatus> FolderHandle::Status() const
{
    struct stat info {};
    if (::fstat(m_fd.get(), &info) != 0)
        return Failed("look at the folder");
    return FolderStatus{static_cast<unsigned>(info.st_uid), static_cast<unsigned>(info.st_mode & 07777),
        static_cast<std::uint64_t>(info.st_dev)};
}

Result<void> FolderHandle::SetModificationTime(const FileTime& time) const { return SetTimes(m_fd.get(), time); }

Result<void> FolderHandle::SetPermissions(unsigned mode) const
{
    if (::fchmod(m_fd.get(), static_cast<mode_t>(mode)) != 0)
        return Failed("set the permissions");
    return {};
}

Result<void> FolderHandle::FlushFileSystem() const
{
    if (::syncfs(m_fd.get()) != 0)
        return Failed("flush the file system");
    return {};
}

} // namespace platform

#include "platform/folder_handle.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {
namespace {

void CloseDescriptor(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

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

int OpenFolderAt(int parent, const char* name)
{
    int fd;
    do {
        fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int CreateFileAt(int parent, const char* name, unsigned mode)
{
    int fd;
    do {
        fd = ::openat(parent, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    return fd;
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

WritableFile::~WritableFile() { CloseDescriptor(m_fd); }

WritableFile::WritableFile(WritableFile&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

WritableFile& WritableFile::operator=(WritableFile&& other) noexcept
{
    if (this != &other) {
        CloseDescriptor(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

bool WritableFile::Write(const void* data, std::size_t size, int& error)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(m_fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
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

bool WritableFile::SetModificationTime(const FileTime& time, int& error) { return SetTimes(m_fd, time, error); }

bool WritableFile::TruncateToEmpty(int& error)
{
    if (::ftruncate(m_fd, 0) == 0)
        return true;
    error = errno;
    return false;
}

bool WritableFile::Close(int& error)
{
    const int fd = std::exchange(m_fd, -1);
    if (fd < 0 || ::close(fd) == 0 || errno == EINTR)
        return true;
    error = errno;
    return false;
}

// ---- ReadableFile ------------------------------------------------------------------------------

ReadableFile::~ReadableFile() { CloseDescriptor(m_fd); }

ReadableFile::ReadableFile(ReadableFile&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept
{
    if (this != &other) {
        CloseDescriptor(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

std::optional<std::size_t> ReadableFile::Read(void* buffer, std::size_t size, int& error)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, size);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR) {
            error = errno;
            return std::nullopt;
        }
    }
}

std::optional<std::size_t> ReadableFile::ReadAt(void* buffer, std::size_t size, std::uint64_t offset, int& error) const
{
    for (;;) {
        const ssize_t got = ::pread(m_fd, buffer, size, static_cast<off_t>(offset));
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR) {
            error = errno;
            return std::nullopt;
        }
    }
}

bool ReadableFile::Rewind(int& error)
{
    if (::lseek(m_fd, 0, SEEK_SET) == 0)
        return true;
    error = errno;
    return false;
}

std::optional<std::uint64_t> ReadableFile::Size(int& error) const
{
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        error = errno;
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

// ---- FolderHandle ------------------------------------------------------------------------------

FolderHandle::~FolderHandle() { CloseDescriptor(m_fd); }

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_device(other.m_device),
      m_inode(other.m_inode)
{
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept
{
    if (this != &other) {
        CloseDescriptor(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_device = other.m_device;
        m_inode = other.m_inode;
    }
    return *this;
}

FolderHandle FolderHandle::OpenExisting(const std::string& nativePath, int& error)
{
    FolderHandle folder(::open(nativePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!folder.IsOpen() || ::fstat(folder.m_fd, &info) != 0) {
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

FolderHandle FolderHandle::OpenOrMakeFolder(std::string_view name, unsigned mode, bool& made, int& error) const
{
    made = false;
    std::string component;
    if (!AsComponent(name, component, error))
        return FolderHandle();
    FolderHandle folder(OpenFolderAt(m_fd, component.c_str()));
    if (folder.IsOpen())
        return folder;
    if (errno != ENOENT) {
        error = errno;
        return FolderHandle();
    }
    if (::mkdirat(m_fd, component.c_str(), static_cast<mode_t>(mode)) == 0)
        made = true;
    else if (errno != EEXIST) {
        error = errno;
        return FolderHandle();
    }
    folder = FolderHandle(OpenFolderAt(m_fd, component.c_str()));
    if (!folder.IsOpen())
        error = errno;
    return folder;
}

FolderHandle FolderHandle::OpenFolder(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return FolderHandle();
    FolderHandle folder(OpenFolderAt(m_fd, component.c_str()));
    if (!folder.IsOpen())
        error = errno;
    return folder;
}

WritableFile FolderHandle::CreateFile(std::string_view name, unsigned mode, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return WritableFile();
    WritableFile file(CreateFileAt(m_fd, component.c_str(), mode));
    if (file.IsOpen())
        return file;
    if (errno != EEXIST) {
        error = errno;
        return WritableFile();
    }
    // Something has the name: an earlier version of the file is replaced as a whole, a link
    // or a special file goes without being opened, a folder stays.
    struct stat info {};
    if (::fstatat(m_fd, component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        return WritableFile();
    }
    if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
        return WritableFile();
    }
    if (::unlinkat(m_fd, component.c_str(), 0) != 0 && errno != ENOENT) {
        error = errno;
        return WritableFile();
    }
    file = WritableFile(CreateFileAt(m_fd, component.c_str(), mode));
    if (!file.IsOpen())
        error = errno;
    return file;
}

WritableFile FolderHandle::CreateNewFile(std::string_view name, unsigned mode, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return WritableFile();
    WritableFile file(CreateFileAt(m_fd, component.c_str(), mode));
    if (!file.IsOpen())
        error = errno;
    return file;
}

ReadableFile FolderHandle::OpenFile(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return ReadableFile();
    int fd;
    do {
        fd = ::openat(m_fd, component.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
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

bool FolderHandle::RemoveFile(std::string_view name, int& error) const
{
    std::string component;
    if (!AsComponent(name, component, error))
        return false;
    if (::unlinkat(m_fd, component.c_str(), 0) == 0)
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
    if (::fstatat(m_fd, component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
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
    if (::fstat(m_fd, &info) != 0) {
        error = errno;
        return false;
    }
    status.owner = static_cast<unsigned>(info.st_uid);
    status.permissions = static_cast<unsigned>(info.st_mode & 07777);
    return true;
}

bool FolderHandle::SetModificationTime(const FileTime& time, int& error) const { return SetTimes(m_fd, time, error); }

bool FolderHandle::SetPermissions(unsigned mode, int& error) const
{
    if (::fchmod(m_fd, static_cast<mode_t>(mode)) == 0)
        return true;
    error = errno;
    return false;
}

bool FolderHandle::FlushFileSystem(int& error) const
{
    if (::syncfs(m_fd) == 0)
        return true;
    error = errno;
    return false;
}

} // namespace platform

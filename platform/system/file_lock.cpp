#include "platform/file_lock.h"

#include "platform/system/file_descriptor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

FileLock::FileLock(std::string path, Folder folder) : m_path(std::move(path))
{
    if (folder == Folder::RootsOwn) {
        m_fd = OpenInOwnFolder();
        if (m_fd < 0)
            return;
    } else {
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (m_fd < 0) {
            m_reason = std::strerror(errno);
            return;
        }
    }
    int result = 0;
    do {
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::Held;
    } else if (errno == EWOULDBLOCK) {
        m_state = State::Busy;
    } else {
        m_reason = std::strerror(errno);
    }
}

int FileLock::OpenInOwnFolder()
{
    const std::size_t slash = m_path.rfind('/');
    const std::size_t folderStart = slash == 0 ? std::string::npos : m_path.rfind('/', slash - 1);
    if (slash == std::string::npos || folderStart == std::string::npos || slash + 1 == m_path.size()) {
        m_reason = "not a file in a folder of its own";
        return -1;
    }
    const std::string parent = folderStart == 0 ? "/" : m_path.substr(0, folderStart);
    const std::string folderName = m_path.substr(folderStart + 1, slash - folderStart - 1);
    const std::string fileName = m_path.substr(slash + 1);
    const FileDescriptor parentFd(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (parentFd.get() < 0) {
        m_reason = parent + ": " + std::strerror(errno);
        return -1;
    }
    // mkdirat never follows a link at the name; the open below refuses one.
    if (::mkdirat(parentFd.get(), folderName.c_str(), 0700) != 0 && errno != EEXIST) {
        m_reason = std::strerror(errno);
        return -1;
    }
    const FileDescriptor folderFd(
        ::openat(parentFd.get(), folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folderFd.get() < 0) {
        m_reason = errno == ELOOP || errno == ENOTDIR ? "the folder is a link or not a folder" : std::strerror(errno);
        return -1;
    }
    struct stat status {};
    if (::fstat(folderFd.get(), &status) != 0) {
        m_reason = std::strerror(errno);
        return -1;
    }
    if (status.st_uid != geteuid()) {
        m_reason = "the folder belongs to user " + std::to_string(status.st_uid);
        return -1;
    }
    if ((status.st_mode & 07777) != 0700) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        m_reason = std::string("the folder's mode is ") + mode + ", not 0700";
        return -1;
    }
    const int fd =
        ::openat(folderFd.get(), fileName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_reason = std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid()) {
        m_reason = "not a regular file of this user's";
        ::close(fd);
        return -1;
    }
    return fd;
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops the lock
}

} // namespace platform

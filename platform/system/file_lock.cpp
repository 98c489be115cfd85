#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

FileLock::FileLock(std::string path) : m_path(std::move(path))
{
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (m_fd < 0) {
        m_reason = std::strerror(errno);
        return;
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

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops the lock
}

} // namespace platform

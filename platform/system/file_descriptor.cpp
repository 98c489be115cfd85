#include "platform/system/file_descriptor.h"

#include <unistd.h>

namespace platform {

void FileDescriptor::Reset(int fd)
{
    // A close cut short by a signal has still released the descriptor on Linux: never again.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

} // namespace platform

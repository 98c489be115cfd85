#include "platform/system/file_descriptor.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

void FileDescriptor::Reset(int fd)
{
    // A close cut short by a signal has still released the descriptor on Linux: never again.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

StopWake::StopWake(const std::stop_token& stop)
    : m_event(::eventfd(0, EFD_CLOEXEC)), m_onStop(stop, Signal{m_event.get()})
{
}

void StopWake::Signal::operator()() const
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

} // namespace platform

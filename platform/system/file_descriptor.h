// An owned file descriptor, closed when it goes; and the retry of a system call that a signal
// cut short. Every descriptor the layer opens is held by one of these.
#pragma once

#include <cerrno>
#include <stop_token>
#include <utility>

namespace platform {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held, if any, and holds `fd`.
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

// An eventfd that becomes readable once `stop` is requested: a thread that polls descriptors
// polls this one too, and wakes for the stop at once.
class StopWake {
public:
    explicit StopWake(const std::stop_token& stop);

    int get() const { return m_event.get(); }

private:
    struct Signal {
        int fd;
        void operator()() const;
    };
    FileDescriptor m_event;
    std::stop_callback<Signal> m_onStop;
};

// Calls `call` again for as long as it fails with EINTR; returns its last result.
template <class Call>
auto RetryOnInterrupt(Call call)
{
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR)
            return result;
    }
}

} // namespace platform

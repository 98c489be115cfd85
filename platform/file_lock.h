// An exclusive lock on a file, taken without waiting and held while the object lives. The kernel
// drops it when the process ends, however it ends (flock), so a crashed holder never leaves it
// behind. The file is created when missing and never removed (removing it would let a second
// holder lock a new file of the same name).
#pragma once

#include <string>

namespace platform {

class FileLock {
public:
    enum class State {
        Held, // this process holds the lock
        Busy, // another process holds it
        Unavailable // the file could not be opened or locked: Reason() says why
    };

    explicit FileLock(std::string path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State GetState() const { return m_state; }
    const std::string& Path() const { return m_path; }
    // The system's reason (strerror) when Unavailable.
    const std::string& Reason() const { return m_reason; }

private:
    std::string m_path;
    int m_fd = -1;
    State m_state = State::Unavailable;
    std::string m_reason;
};

} // namespace platform

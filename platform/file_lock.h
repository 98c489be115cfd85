// An exclusive lock on a file, taken without waiting and held while the object lives. The kernel
// drops it when the process ends, however it ends (flock), so a crashed holder never leaves it
// behind. The file is created when missing and never removed (removing it would let a second
// holder lock a new file of the same name).
//
// flock works on a descriptor opened only for reading, so whoever can open the file can hold the
// lock. A lock that is root's alone lies in a folder only root can open (Folder::RootsOwn).
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

    enum class Folder {
        AsItIs, // the file is made (0644) in the folder the path names, whoever owns it
        // The path's folder is made 0700 beneath its parent when missing, without following a
        // link, and must be a real folder owned by this process's user that nobody else may
        // enter; the file in it is made 0600 and must be a regular file of this user's.
        RootsOwn,
    };

    explicit FileLock(std::string path, Folder folder = Folder::AsItIs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State GetState() const { return m_state; }
    const std::string& Path() const { return m_path; }
    // Why it is Unavailable: the system's reason (strerror), or what is wrong with the folder.
    const std::string& Reason() const { return m_reason; }

private:
    // The lock file's descriptor, opened beneath its checked folder; sets m_reason when it fails.
    int OpenInOwnFolder();

    std::string m_path;
    int m_fd = -1;
    State m_state = State::Unavailable;
    std::string m_reason;
};

} // namespace platform

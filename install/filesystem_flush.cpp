#include "install/filesystem_flush.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace extraction {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

bool FlushFileSystemOf(const std::string& nativeFolder, std::string& error)
{
    const FileDescriptor folder(open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0) {
        error = "cannot open \"" + nativeFolder + "\" to flush it: " + std::strerror(errno);
        return false;
    }
    if (syncfs(folder.Get()) != 0) {
        error = "cannot flush \"" + nativeFolder + "\" to its device: " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace extraction

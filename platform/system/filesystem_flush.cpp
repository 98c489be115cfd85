#include "platform/filesystem_flush.h"
#include "platform/system/file_descriptor.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>

namespace platform {

bool FlushFileSystemOf(const std::string& nativeFolder, std::string& error)
{
    const FileDescriptor folder(open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        error = "cannot open \"" + nativeFolder + "\" to flush it: " + std::strerror(errno);
        return false;
    }
    if (syncfs(folder.get()) != 0) {
        error = "cannot flush \"" + nativeFolder + "\" to its device: " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace platform

#include "platform/root_only_file.h"

#include "platform/system/file_descriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

// Larger configuration files are no one's settings.
constexpr std::size_t kLargestFile = 1 << 20;

std::string OwnerProblem(const struct stat& status)
{
    if (status.st_uid != 0)
        return "belongs to uid " + std::to_string(status.st_uid) + ", not to root";
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return (status.st_mode & S_IWOTH) != 0 ? "is writable by others" : "is writable by its group";
    return {};
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};

// A folder everyone may write with the sticky bit, owned by root (/tmp): nobody but root can
// remove or rename what root made in it, so the folders root made there stay root's.
bool IsRootsStickyFolder(const struct stat& status) { return status.st_uid == 0 && (status.st_mode & S_ISVTX) != 0; }

// Every folder from `folder` (its real path, links resolved) up to the root. `folder` itself must
// be root's alone; a folder above it may also be root's sticky one.
std::string FolderChainProblem(const std::string& folder)
{
    const std::unique_ptr<char, FreeDeleter> real(::realpath(folder.c_str(), nullptr));
    if (!real)
        return "folder " + folder + ": " + std::strerror(errno);
    for (std::string path = real.get();; path = ParentOf(path)) {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0)
            return "folder " + path + ": " + std::strerror(errno);
        const bool above = path != real.get();
        if (const std::string problem = OwnerProblem(status);
            !problem.empty() && !(above && IsRootsStickyFolder(status)))
            return "folder " + path + " " + problem;
        if (path == "/")
            return {};
    }
}

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

Result<RootOnlyFile, std::string> ReadRootOnlyFile(const std::string& path)
{
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0) {
        if (errno == ENOENT)
            return RootOnlyFile{};
        return std::string(std::strerror(errno));
    }
    if (S_ISLNK(link.st_mode))
        return std::string("is a link");
    if (!S_ISREG(link.st_mode))
        return std::string("is not a regular file");
    const FileDescriptor file(
        RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK); }));
    struct stat status {};
    if (!file.IsOpen() || ::fstat(file.get(), &status) != 0)
        return std::string(std::strerror(errno));
    if (status.st_dev != link.st_dev || status.st_ino != link.st_ino)
        return std::string("was replaced while it was read");
    if (std::string problem = OwnerProblem(status); !problem.empty())
        return problem;
    if (std::string problem = FolderChainProblem(ParentOf(path)); !problem.empty())
        return problem;
    if (static_cast<std::uint64_t>(status.st_size) > kLargestFile)
        return std::string("is larger than 1 MiB");
    RootOnlyFile read{true, {}};
    char buffer[8192];
    for (;;) {
        const ssize_t got = RetryOnInterrupt([&] { return ::read(file.get(), buffer, sizeof buffer); });
        if (got < 0)
            return std::string(std::strerror(errno));
        if (got == 0)
            return read;
        read.content.append(buffer, static_cast<std::size_t>(got));
        if (read.content.size() > kLargestFile)
            return std::string("is larger than 1 MiB");
    }
}

Result<std::vector<std::string>, std::string> ListRootOnlyFolder(const std::string& folder, std::string_view suffix)
{
    struct stat link {};
    if (::lstat(folder.c_str(), &link) != 0) {
        if (errno == ENOENT)
            return std::vector<std::string>{};
        return std::string(std::strerror(errno));
    }
    if (!S_ISDIR(link.st_mode))
        return std::string(S_ISLNK(link.st_mode) ? "is a link" : "is not a folder");
    if (std::string problem = FolderChainProblem(folder); !problem.empty())
        return problem;
    const std::unique_ptr<DIR, DirClose> dir(::opendir(folder.c_str()));
    if (!dir)
        return std::string(std::strerror(errno));
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() > suffix.size() && name.ends_with(suffix) && name.front() != '.')
            names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace platform

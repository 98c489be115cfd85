// A real file system mounted on a folder for the length of a test: a tmpfs of a given size, an
// exFAT image on a loop device through exfat-fuse, or an ext4 image on a loop device through the
// kernel. Unmounted (lazily) and detached in every
// path by the destructor. Mounting needs root (and /dev/fuse and loop devices for exFAT);
// where something is missing, SkipReason() says what and nothing is mounted.
#pragma once

#include <filesystem>
#include <string>

class ScratchMount {
public:
    enum class Kind { Tmpfs, ExfatImage, Ext4Image };

    // Mounts a file system of `bytes` bytes on `folder` (created if missing); an image gets the
    // label when one is given, and lies in `imageFolder` (by default beside `folder`).
    ScratchMount(Kind kind, const std::filesystem::path& folder, unsigned long long bytes,
        const std::string& label = "", const std::filesystem::path& imageFolder = {});
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    // Empty when mounted; otherwise why not (print it and skip).
    const std::string& SkipReason() const { return m_skipReason; }
    // Pulls the file system away as `umount -l` does; the folder stays, empty.
    void Pull();

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_image;
    std::string m_loopDevice;
    std::string m_skipReason;
    bool m_mounted = false;
};

// A real exFAT file system in an image file on a loop device, mounted through exfat-fuse on a
// folder: a stick with the names Windows refuses refused, case-insensitive names and a real
// size. Needs root, /dev/fuse, loop devices and the Debian packages exfatprogs and exfat-fuse;
// MissingReason says which is missing. Whatever happens, the destructor unmounts and detaches.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

class ExfatStick {
public:
    // Why sticks cannot be made here, or "" when they can.
    static std::string MissingReason();

    // Makes the image beside `mountPoint` (a folder that exists) and mounts it there; Ready()
    // says whether that worked, Error() why not.
    ExfatStick(const std::filesystem::path& mountPoint, std::uint64_t sizeBytes, bool readOnly = false);
    ~ExfatStick();
    ExfatStick(const ExfatStick&) = delete;
    ExfatStick& operator=(const ExfatStick&) = delete;

    bool Ready() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const std::filesystem::path& MountPoint() const { return m_mountPoint; }

    // Pulls the stick as a desktop does: a lazy unmount; the mount point folder stays, empty.
    bool PullLazily();

private:
    std::filesystem::path m_mountPoint;
    std::filesystem::path m_image;
    std::string m_device;
    bool m_mounted = false;
    std::string m_error;
};

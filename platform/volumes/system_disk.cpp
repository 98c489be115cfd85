#include "platform/volumes/system_disk.h"

#include "platform/system_disk.h"
#include "platform/volume_table.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUdisksMounts = "/run/udisks2/mounted-fs";
constexpr const char* kMountInfo = "/proc/self/mountinfo";
// Device-mapper or md over device-mapper or md, and so on: deeper than this is not a real set-up.
constexpr int kDeepestStack = 8;

std::string ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string FirstWord(const fs::path& file)
{
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "usb2", "fw0": a folder of a hot-pluggable bus on the way from the bus to the disk.
bool IsBusFolder(const std::string& name, std::string_view bus)
{
    return StartsWith(name, bus) && name.size() > bus.size() &&
        std::isdigit(static_cast<unsigned char>(name[bus.size()])) != 0;
}

std::string WhyDevice(const fs::path& device, int depth);

std::string WhyVirtualDevice(const fs::path& disk, int depth)
{
    const std::string name = disk.filename().string();
    if (StartsWith(name, "loop"))
        return "a loop device";
    if (StartsWith(name, "zram"))
        return "a compressed RAM disk (zram)";
    if (StartsWith(name, "nbd"))
        return "a network block device";
    if (StartsWith(name, "ram"))
        return "a RAM disk";
    if (!StartsWith(name, "dm-") && !StartsWith(name, "md"))
        return "a virtual block device";
    if (depth >= kDeepestStack)
        return "stacked too deep";
    std::error_code ec;
    bool any = false;
    for (fs::directory_iterator it(disk / "slaves", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path slave = fs::canonical(it->path(), linkError);
        if (linkError)
            return "stacked on a device that cannot be looked at";
        any = true;
        if (const std::string why = WhyDevice(slave, depth + 1); !why.empty())
            return "stacked on " + why;
    }
    return any ? std::string() : std::string("stacked on no disk");
}

std::string WhyDevice(const fs::path& device, int depth)
{
    const fs::path disk = fs::exists(device / "partition") ? device.parent_path() : device;
    if (disk.string().find("/devices/virtual/") != std::string::npos)
        return WhyVirtualDevice(disk, depth);
    for (const fs::path& part : disk) {
        const std::string name = part.string();
        if (IsBusFolder(name, "usb"))
            return "a disk on USB";
        if (IsBusFolder(name, "fw") || name == "firewire")
            return "a disk on FireWire";
    }
    if (FirstWord(disk / "removable") == "1")
        return "a removable disk";
    if (StartsWith(disk.filename().string(), "mmcblk") && FirstWord(disk / "device" / "type") == "SD")
        return "an SD card";
    return {};
}

// udisks2 keeps its mounts as GVariant text, each with "'block-device': <uint64 N>" (N the
// device number as the C library encodes it).
bool RecordedByUdisks(const std::string& udisksMounts, unsigned major, unsigned minor)
{
    constexpr std::string_view kKey = "'block-device': <uint64 ";
    const std::uint64_t wanted = makedev(major, minor);
    for (std::size_t at = udisksMounts.find(kKey); at != std::string::npos; at = udisksMounts.find(kKey, at + 1)) {
        std::uint64_t value = 0;
        std::size_t i = at + kKey.size();
        bool digits = false;
        for (; i < udisksMounts.size() && std::isdigit(static_cast<unsigned char>(udisksMounts[i])); ++i, digits = true)
            value = value * 10 + static_cast<unsigned>(udisksMounts[i] - '0');
        if (digits && value == wanted)
            return true;
    }
    return false;
}

bool UnderFolder(const std::string& path, std::string_view folder)
{
    return StartsWith(path, folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

} // namespace

std::string WhyDeviceIsNotTheSystems(const std::string& deviceFolder) { return WhyDevice(deviceFolder, 0); }

std::string WhyMountIsNotTheSystems(
    const MountEntry& mount, const std::string& sysRoot, const std::string& udisksMounts)
{
    if (StartsWith(mount.fsType, "fuse"))
        return "a FUSE file system";
    if (UnderFolder(mount.mountPoint, "/media") || UnderFolder(mount.mountPoint, "/run/media"))
        return "mounted for a user";
    if (mount.major != 0 && RecordedByUdisks(udisksMounts, mount.major, mount.minor))
        return "mounted by udisks2 for a user";
    std::error_code ec;
    fs::path device;
    if (mount.major != 0)
        device = fs::canonical(
            fs::path(sysRoot) / "dev" / "block" / (std::to_string(mount.major) + ":" + std::to_string(mount.minor)),
            ec);
    if ((mount.major == 0 || ec) && StartsWith(mount.source, "/dev/"))
        device = fs::canonical(fs::path(sysRoot) / "class" / "block" / fs::path(mount.source).filename(), ec);
    if (device.empty() || ec)
        return "no disk under it";
    return WhyDevice(device, 0);
}

std::string ReadUdisksMounts() { return ReadWholeFile(kUdisksMounts); }

std::string WhyNotDownloadDisk(wchar_t letter)
{
    const std::optional<Volume> volume = VolumeTable::Instance().Find(letter);
    return volume ? volume->notSystemDisk : std::string();
}

std::string WhyFileSystemIsNotTheSystems(std::uint64_t device)
{
    struct stat root {};
    if (::stat("/", &root) == 0 && static_cast<std::uint64_t>(root.st_dev) == device)
        return {};
    const std::vector<MountEntry> mounts = ParseMountInfo(ReadWholeFile(kMountInfo));
    const MountEntry* found = nullptr;
    for (const MountEntry& mount : mounts)
        if (makedev(mount.major, mount.minor) == device)
            found = &mount;
    if (found == nullptr)
        return "not in the mount table";
    return WhyMountIsNotTheSystems(*found, "/sys", ReadUdisksMounts());
}

} // namespace platform

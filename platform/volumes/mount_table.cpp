#include "platform/volumes/mount_table.h"

#include "platform/volumes/system_disk.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

namespace fs = std::filesystem;

// mountinfo escapes space, tab, newline and backslash as three octal digits.
std::string Unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + i + 1, field.begin() + i + 4, [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool ParseLine(const std::string& line, MountEntry& entry)
{
    std::istringstream in(line);
    std::string id, parent, devno, root, mountPoint, options;
    if (!(in >> id >> parent >> devno >> root >> mountPoint >> options))
        return false;
    std::string field;
    while (in >> field && field != "-") {}
    if (field != "-")
        return false;
    std::string fsType, source;
    if (!(in >> fsType >> source))
        return false;
    const auto colon = devno.find(':');
    if (colon == std::string::npos)
        return false;
    try {
        entry.major = static_cast<unsigned>(std::stoul(devno.substr(0, colon)));
        entry.minor = static_cast<unsigned>(std::stoul(devno.substr(colon + 1)));
    } catch (const std::exception&) {
        return false;
    }
    entry.root = Unescape(root);
    entry.mountPoint = Unescape(mountPoint);
    entry.fsType = fsType;
    entry.source = Unescape(source);
    return true;
}

constexpr std::array kNetworkFileSystems = {
    "nfs",
    "nfs4",
    "cifs",
    "smb3",
    "smbfs",
    "ncpfs",
    "afs",
    "ceph",
    "glusterfs",
    "davfs",
    "fuse.sshfs",
    "fuse.rclone",
};
constexpr std::array kOpticalFileSystems = {"iso9660", "udf"};
constexpr std::array kDiskFileSystemsWithoutDevno = {"btrfs", "zfs", "bcachefs"};
constexpr unsigned kLoopMajor = 7;
constexpr unsigned kScsiCdromMajor = 11;

template <std::size_t N>
bool OneOf(const std::string& value, const std::array<const char*, N>& names)
{
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return value == name; });
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool UnderFolder(const std::string& path, std::string_view folder)
{
    return path == folder || StartsWith(path, std::string(folder) + "/");
}

// Mount points that hold no user data a drive letter should stand for.
bool IsSystemMountPoint(const std::string& mountPoint)
{
    return UnderFolder(mountPoint, "/boot") || UnderFolder(mountPoint, "/snap") || UnderFolder(mountPoint, "/proc") ||
        UnderFolder(mountPoint, "/sys") || UnderFolder(mountPoint, "/dev") || UnderFolder(mountPoint, "/run/snapd") ||
        mountPoint == "[SWAP]";
}

bool ReadsOne(const fs::path& file)
{
    std::ifstream in(file);
    std::string value;
    return static_cast<bool>(in >> value) && value == "1";
}

// The sysfs folder of the mounted block device: by device number, else by the source's name.
std::optional<fs::path> BlockDeviceFolder(const MountEntry& mount, const std::string& sysRoot)
{
    std::error_code ec;
    if (mount.major != 0) {
        const fs::path byNumber =
            fs::path(sysRoot) / "dev" / "block" / (std::to_string(mount.major) + ":" + std::to_string(mount.minor));
        const fs::path resolved = fs::canonical(byNumber, ec);
        if (!ec)
            return resolved;
    }
    if (StartsWith(mount.source, "/dev/")) {
        const fs::path byName = fs::path(sysRoot) / "class" / "block" / fs::path(mount.source).filename();
        const fs::path resolved = fs::canonical(byName, ec);
        if (!ec)
            return resolved;
    }
    return std::nullopt;
}

// The removable flag belongs to the whole disk; a partition's folder sits inside its disk's.
bool IsRemovableDevice(const MountEntry& mount, const std::string& sysRoot)
{
    const auto device = BlockDeviceFolder(mount, sysRoot);
    if (!device)
        return false;
    const fs::path disk = fs::exists(*device / "partition") ? device->parent_path() : *device;
    return ReadsOne(disk / "removable");
}

std::optional<DetectedVolume> Classify(const MountEntry& mount, const std::string& sysRoot)
{
    if (OneOf(mount.fsType, kNetworkFileSystems))
        return DetectedVolume{"net:" + mount.source + "@" + mount.mountPoint, VolumeType::Remote, mount.mountPoint,
            mount.fsType, mount.source, "a network file system"};

    const bool hasDevno = mount.major != 0;
    const bool diskWithoutDevno =
        !hasDevno && StartsWith(mount.source, "/dev/") && OneOf(mount.fsType, kDiskFileSystemsWithoutDevno);
    if (!hasDevno && !diskWithoutDevno)
        return std::nullopt; // tmpfs, proc, overlay and the like
    if (mount.fsType == "squashfs" || mount.major == kLoopMajor || IsSystemMountPoint(mount.mountPoint))
        return std::nullopt;

    DetectedVolume volume;
    volume.key =
        hasDevno ? "dev:" + std::to_string(mount.major) + ":" + std::to_string(mount.minor) : "src:" + mount.source;
    volume.mountPoint = mount.mountPoint;
    volume.fsType = mount.fsType;
    volume.source = mount.source;
    if (mount.major == kScsiCdromMajor || OneOf(mount.fsType, kOpticalFileSystems))
        volume.type = VolumeType::CdRom;
    else if (IsRemovableDevice(mount, sysRoot))
        volume.type = VolumeType::Removable;
    else
        volume.type = VolumeType::Fixed;
    return volume;
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<MountEntry> mounts;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        MountEntry entry;
        if (ParseLine(line, entry))
            mounts.push_back(std::move(entry));
    }
    return mounts;
}

std::vector<DetectedVolume> DetectVolumes(
    const std::vector<MountEntry>& mounts, const std::string& sysRoot, const std::string& udisksMounts)
{
    std::vector<DetectedVolume> volumes;
    // The last mount on "/" is the one in view.
    const auto rootMount =
        std::find_if(mounts.rbegin(), mounts.rend(), [](const MountEntry& m) { return m.mountPoint == "/"; });
    if (rootMount != mounts.rend())
        volumes.push_back({"root", VolumeType::Fixed, "/", rootMount->fsType, rootMount->source, ""});

    for (const MountEntry& mount : mounts) {
        if (mount.mountPoint == "/")
            continue;
        auto volume = Classify(mount, sysRoot);
        if (!volume)
            continue;
        // The device of "/" already has C:; bind mounts and sub-mounts of a device already seen
        // show the same files again.
        const bool sameAsRoot = rootMount != mounts.rend() && rootMount->major != 0 &&
            rootMount->major == mount.major && rootMount->minor == mount.minor;
        const bool seen =
            std::any_of(volumes.begin(), volumes.end(), [&](const DetectedVolume& v) { return v.key == volume->key; });
        if (sameAsRoot || seen || mount.root != "/")
            continue;
        if (volume->type != VolumeType::Remote)
            volume->notSystemDisk = WhyMountIsNotTheSystems(mount, sysRoot, udisksMounts);
        volumes.push_back(std::move(*volume));
    }
    return volumes;
}

const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, const std::string& path)
{
    const MountEntry* holder = nullptr;
    for (const MountEntry& mount : mounts) {
        const bool above = mount.mountPoint == "/" || UnderFolder(path, mount.mountPoint);
        // Later mounts on the same point hide earlier ones.
        if (above && (holder == nullptr || mount.mountPoint.size() >= holder->mountPoint.size()))
            holder = &mount;
    }
    return holder;
}

bool IsMountPoint(const std::vector<MountEntry>& mounts, const std::string& path)
{
    return std::any_of(mounts.begin(), mounts.end(), [&](const MountEntry& m) { return m.mountPoint == path; });
}

std::vector<Volume> LetterAssigner::Assign(const std::vector<DetectedVolume>& volumes)
{
    // Forget volumes that are gone, so that their letters become free.
    std::erase_if(m_given, [&](const Given& g) {
        return std::none_of(volumes.begin(), volumes.end(), [&](const DetectedVolume& v) { return v.key == g.key; });
    });

    std::vector<Volume> result;
    for (const DetectedVolume& detected : volumes) {
        wchar_t letter = L'\0';
        if (detected.mountPoint == "/") {
            letter = L'C';
        } else if (const auto it = std::find_if(
                       m_given.begin(), m_given.end(), [&](const Given& g) { return g.key == detected.key; });
                   it != m_given.end()) {
            letter = it->letter;
        } else {
            for (wchar_t candidate = L'D'; candidate <= L'Z'; ++candidate) {
                const bool taken =
                    std::any_of(m_given.begin(), m_given.end(), [&](const Given& g) { return g.letter == candidate; });
                if (!taken) {
                    letter = candidate;
                    break;
                }
            }
            if (letter == L'\0')
                continue; // more volumes than letters
            m_given.push_back({detected.key, letter});
        }
        Volume volume;
        volume.letter = letter;
        volume.type = detected.type;
        volume.root = detected.mountPoint;
        volume.fileSystem = detected.fsType;
        volume.source = detected.source;
        volume.notSystemDisk = detected.notSystemDisk;
        result.push_back(std::move(volume));
    }
    std::sort(result.begin(), result.end(), [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
    return result;
}

} // namespace platform

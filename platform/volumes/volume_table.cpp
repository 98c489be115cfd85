#include "platform/volume_table.h"

#include "platform/elevation.h"
#include "platform/system/file_descriptor.h"
#include "platform/volumes/system_disk.h"
#include "platform/volumes/volume_map.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

constexpr const char* kMountInfo = "/proc/self/mountinfo";
// In a folder only root can open (FileLock::Folder::RootsOwn).
constexpr const char* kRealDrivesLock = "/run/kelvo-courseware-installer/instance.lock";

std::string VolumeMapFromEnvironment()
{
    const char* value = SettingFromEnvironment(kVolumeMapVariable);
    return value != nullptr ? value : "";
}

} // namespace

VolumeTable& VolumeTable::Instance()
{
    static VolumeTable table = [] {
        const std::string map = VolumeMapFromEnvironment();
        return map.empty() ? VolumeTable(kMountInfo, "/sys") : VolumeTable(map);
    }();
    return table;
}

VolumeTable::VolumeTable(std::string mountInfoPath, std::string sysRoot)
    : m_mountInfoPath(std::move(mountInfoPath)), m_sysRoot(std::move(sysRoot)), m_watchedFile(m_mountInfoPath)
{
}

VolumeTable::VolumeTable(std::string volumeMapPath)
    : m_volumeMapPath(std::move(volumeMapPath)), m_watchedFile(m_volumeMapPath)
{
}

VolumeTable::~VolumeTable() = default;

std::vector<Volume> VolumeTable::Volumes()
{
    std::lock_guard lock(m_mutex);
    return UsesVolumeMap() ? ReadVolumeMapFile() : ReadMountTable();
}

std::optional<Volume> VolumeTable::Find(wchar_t letter)
{
    const auto volumes = Volumes();
    const auto it = std::find_if(volumes.begin(), volumes.end(), [&](const Volume& v) { return v.letter == letter; });
    if (it == volumes.end())
        return std::nullopt;
    return *it;
}

std::string VolumeTable::InstanceLockFile() const
{
    return UsesVolumeMap() ? m_volumeMapPath + ".lock" : kRealDrivesLock;
}

std::string VolumeTable::VolumeMapError() const
{
    return UsesVolumeMap() ? ReadVolumeMap(m_volumeMapPath).error : std::string();
}

std::vector<Volume> VolumeTable::ReadMountTable()
{
    return m_assigner.Assign(
        DetectVolumes(ParseMountInfo(ReadWholeFile(m_mountInfoPath)), m_sysRoot, ReadUdisksMounts()));
}

const std::vector<MountEntry>& VolumeTable::CurrentMounts()
{
    // The kernel flags the open mount table once after each change (POLLPRI), so an unchanged
    // table costs one poll instead of a read and a parse.
    if (!m_mountTable) {
        m_mountTable = std::make_unique<FileDescriptor>(::open(kMountInfo, O_RDONLY | O_CLOEXEC));
        m_mounts = ParseMountInfo(ReadWholeFile(kMountInfo));
        return m_mounts;
    }
    pollfd changed{m_mountTable->get(), POLLPRI, 0};
    if (m_mountTable->get() < 0 || (::poll(&changed, 1, 0) > 0 && (changed.revents & (POLLPRI | POLLERR)) != 0))
        m_mounts = ParseMountInfo(ReadWholeFile(kMountInfo));
    return m_mounts;
}

std::vector<Volume> VolumeTable::ReadVolumeMapFile()
{
    // A map being rewritten may be read half-written: keep the last one that parsed.
    auto result = ReadVolumeMap(m_volumeMapPath);
    if (result.error.empty())
        m_lastGoodMap = std::move(result.volumes);
    std::vector<Volume> present;
    for (const Volume& volume : m_lastGoodMap) {
        std::error_code ec;
        if (!std::filesystem::is_directory(volume.root, ec))
            continue;
        Volume found = volume;
        if (found.onlyWhileMounted || found.fileSystem.empty()) {
            const std::vector<MountEntry>& mounts = CurrentMounts();
            const std::string folder = std::filesystem::canonical(volume.root, ec).string();
            if (ec)
                continue;
            if (found.onlyWhileMounted && !IsMountPoint(mounts, folder))
                continue;
            if (const MountEntry* mount = MountHolding(mounts, folder); mount != nullptr) {
                if (found.fileSystem.empty())
                    found.fileSystem = mount->fsType;
                found.source = mount->source;
            }
        }
        present.push_back(std::move(found));
    }
    std::sort(present.begin(), present.end(), [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
    return present;
}

} // namespace platform

#include "platform/volume_table.h"

#include "platform/volumes/volume_map.h"

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
constexpr const char* kRealDrivesLock = "/run/kelvo-installer.lock";

std::string VolumeMapFromEnvironment()
{
    const char* value = std::getenv(kVolumeMapVariable);
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
    : mountInfoPath_(std::move(mountInfoPath)), sysRoot_(std::move(sysRoot)), watchedFile_(mountInfoPath_)
{
}

VolumeTable::VolumeTable(std::string volumeMapPath)
    : volumeMapPath_(std::move(volumeMapPath)), watchedFile_(volumeMapPath_)
{
}

std::vector<Volume> VolumeTable::Volumes()
{
    std::lock_guard lock(mutex_);
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
    return UsesVolumeMap() ? volumeMapPath_ + ".lock" : kRealDrivesLock;
}

std::string VolumeTable::VolumeMapError() const
{
    return UsesVolumeMap() ? ReadVolumeMap(volumeMapPath_).error : std::string();
}

std::vector<Volume> VolumeTable::ReadMountTable()
{
    return assigner_.Assign(DetectVolumes(ParseMountInfo(ReadWholeFile(mountInfoPath_)), sysRoot_));
}

std::vector<Volume> VolumeTable::ReadVolumeMapFile()
{
    // A map being rewritten may be read half-written: keep the last one that parsed.
    auto result = ReadVolumeMap(volumeMapPath_);
    if (result.error.empty())
        lastGoodMap_ = std::move(result.volumes);
    std::vector<Volume> present;
    std::optional<std::vector<MountEntry>> mounts; // read once, when a line needs it
    for (const Volume& volume : lastGoodMap_) {
        std::error_code ec;
        if (!std::filesystem::is_directory(volume.root, ec))
            continue;
        Volume found = volume;
        if (found.onlyWhileMounted || found.fileSystem.empty()) {
            if (!mounts)
                mounts = ParseMountInfo(ReadWholeFile(kMountInfo));
            const std::string folder = std::filesystem::canonical(volume.root, ec).string();
            if (ec)
                continue;
            if (found.onlyWhileMounted && !IsMountPoint(*mounts, folder))
                continue;
            if (const MountEntry* mount = MountHolding(*mounts, folder); mount != nullptr) {
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

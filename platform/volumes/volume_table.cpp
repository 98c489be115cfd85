#include "platform/volume_table.h"

#include "platform/elevation.h"
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
        return map.empty() ? VolumeTable("/proc/self/mountinfo", "/sys") : VolumeTable(map);
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

std::string VolumeTable::VolumeMapError() const
{
    return UsesVolumeMap() ? ReadVolumeMap(m_volumeMapPath).error : std::string();
}

std::vector<Volume> VolumeTable::ReadMountTable()
{
    return m_assigner.Assign(DetectVolumes(ParseMountInfo(ReadWholeFile(m_mountInfoPath)), m_sysRoot));
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
        if (std::filesystem::is_directory(volume.root, ec))
            present.push_back(volume);
    }
    std::sort(present.begin(), present.end(), [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
    return present;
}

} // namespace platform

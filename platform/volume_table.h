// The volumes behind the drive letters right now.
//
// With INSTALLER_VOLUME_MAP naming a file, that volume map is the whole truth; otherwise the
// mount table (/proc/self/mountinfo) and sysfs are read. Each query reads its source again, so
// volumes that come and go are seen at once; letters given to mounted volumes stay put.
#pragma once

#include "platform/volumes/mount_table.h"
#include "platform/volumes/volume.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class VolumeTable {
public:
    // The table the program uses, over the environment's source.
    static VolumeTable& Instance();

    // A table over a recorded mount table and sysfs, for tests.
    VolumeTable(std::string mountInfoPath, std::string sysRoot);
    // A table over a volume map file.
    explicit VolumeTable(std::string volumeMapPath);

    std::vector<Volume> Volumes();
    std::optional<Volume> Find(wchar_t letter);

    // The file whose changes mean volumes came or went.
    const std::string& WatchedFile() const { return m_watchedFile; }
    bool UsesVolumeMap() const { return !m_volumeMapPath.empty(); }
    // The volume map's first error ("FILE:LINE: ..."), empty when it parses or none is used.
    std::string VolumeMapError() const;

private:
    std::vector<Volume> ReadMountTable();
    std::vector<Volume> ReadVolumeMapFile();

    std::string m_mountInfoPath;
    std::string m_sysRoot;
    std::string m_volumeMapPath;
    std::string m_watchedFile;
    std::mutex m_mutex;
    LetterAssigner m_assigner;
    std::vector<Volume> m_lastGoodMap;
};

// The environment variable that names the volume map.
inline constexpr const char* kVolumeMapVariable = "INSTALLER_VOLUME_MAP";

} // namespace platform

// The volumes behind the drive letters right now.
//
// With INSTALLER_VOLUME_MAP naming a file, that volume map is the whole truth; otherwise the
// mount table (/proc/self/mountinfo) and sysfs are read. Each query reads its source again, so
// volumes that come and go are seen at once; letters given to mounted volumes stay put.
#pragma once

#include "platform/volumes/mount_table.h"
#include "platform/volumes/volume.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class FileDescriptor;

class VolumeTable {
public:
    // The table the program uses, over the environment's source.
    static VolumeTable& Instance();

    // A table over a recorded mount table and sysfs, for tests.
    VolumeTable(std::string mountInfoPath, std::string sysRoot);
    // A table over a volume map file.
    explicit VolumeTable(std::string volumeMapPath);
    ~VolumeTable();

    std::vector<Volume> Volumes();
    std::optional<Volume> Find(wchar_t letter);

    // The file whose changes mean volumes came or went.
    const std::string& WatchedFile() const { return m_watchedFile; }
    bool UsesVolumeMap() const { return !m_volumeMapPath.empty(); }
    // The file whose lock lets one installer at a time work on these drives: beside the volume
    // map ("MAP.lock") when one is used, so that runs over different maps do not exclude each
    // other; for the real drives in a folder of root's alone under /run, to be locked with
    // FileLock::Folder::RootsOwn.
    std::string InstanceLockFile() const;
    // The volume map's first error ("FILE:LINE: ..."), empty when it parses or none is used.
    std::string VolumeMapError() const;

private:
    std::vector<Volume> ReadMountTable();
    std::vector<Volume> ReadVolumeMapFile();
    // This process's mount table, read again only when it changed.
    const std::vector<MountEntry>& CurrentMounts();

    std::string m_mountInfoPath;
    std::string m_sysRoot;
    std::string m_volumeMapPath;
    std::string m_watchedFile;
    std::mutex m_mutex;
    LetterAssigner m_assigner;
    std::vector<Volume> m_lastGoodMap;
    std::unique_ptr<FileDescriptor> m_mountTable;
    std::vector<MountEntry> m_mounts;
};

// The environment variable that names the volume map.
inline constexpr const char* kVolumeMapVariable = "INSTALLER_VOLUME_MAP";

} // namespace platform

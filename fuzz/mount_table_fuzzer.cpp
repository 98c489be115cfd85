// The kernel's mount table as /proc/self/mountinfo gives it (mount points are chosen by
// whoever mounts, users of FUSE included): parsing, picking the volumes that become drives,
// and giving them letters, twice, as the watcher does when the table changes.
#include "fuzz_support.h"

#include "platform/volumes/mount_table.h"

#include <algorithm>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<platform::MountEntry> mounts = platform::ParseMountInfo(fuzz::Text(data, size));
    // No sysfs below this folder: every block device reads as fixed.
    const std::vector<platform::DetectedVolume> volumes = platform::DetectVolumes(mounts, "/nonexistent/sys");
    std::set<std::string> keys;
    for (const platform::DetectedVolume& volume : volumes)
        FUZZ_CHECK(keys.insert(volume.key).second, "a volume twice: " + volume.key);

    // "/" is C:, the others share D: to Z:.
    const bool hasRoot = std::any_of(
        volumes.begin(), volumes.end(), [](const platform::DetectedVolume& v) { return v.mountPoint == "/"; });
    const std::size_t letterCount = std::min<std::size_t>(volumes.size(), hasRoot ? 24 : 23);
    platform::LetterAssigner assigner;
    for (int round = 0; round < 2; ++round) {
        const std::vector<platform::Volume> lettered = assigner.Assign(volumes);
        std::set<wchar_t> letters;
        for (const platform::Volume& volume : lettered) {
            FUZZ_CHECK(volume.letter >= L'C' && volume.letter <= L'Z', "");
            FUZZ_CHECK(letters.insert(volume.letter).second, "a letter twice");
        }
        FUZZ_CHECK(lettered.size() == letterCount, "a letter for every volume");
    }
    for (const platform::MountEntry& mount : mounts) {
        const platform::MountEntry* holder = platform::MountHolding(mounts, mount.mountPoint + "/x");
        FUZZ_CHECK(holder != nullptr, mount.mountPoint);
        FUZZ_CHECK(platform::IsMountPoint(mounts, mount.mountPoint), mount.mountPoint);
    }
    return 0;
}

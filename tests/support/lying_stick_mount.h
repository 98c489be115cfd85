// A lying stick (lying_stick.py, a FUSE file system over a folder) mounted for as long as this
// object lives; unmounted in every path, even when the script did not manage it.
#pragma once

#include "script_server.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class LyingStickMount {
public:
    // Empty when a lying stick can be mounted here; otherwise why not (root, /dev/fuse and
    // python3-fusepy are needed).
    static std::string Unavailable();

    // Mounts the folder `backing` at `mountpoint` (both made if missing); `options` go to the
    // script ("--keep-bytes", "N", "--flip", "PATH:OFFSET"). Throws when it does not mount.
    LyingStickMount(const std::filesystem::path& backing, const std::filesystem::path& mountpoint,
        const std::vector<std::string>& options = {});
    ~LyingStickMount();
    LyingStickMount(const LyingStickMount&) = delete;
    LyingStickMount& operator=(const LyingStickMount&) = delete;

private:
    void Unmount();

    std::filesystem::path m_mountpoint;
    std::unique_ptr<ScriptServer> m_script;
};

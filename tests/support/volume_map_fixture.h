// A volume map in a fresh temporary folder, named by INSTALLER_VOLUME_MAP for this process.
#pragma once

#include "temp_folder.h"

#include <filesystem>
#include <string>

class VolumeMapFixture {
public:
    VolumeMapFixture();
    VolumeMapFixture(const VolumeMapFixture&) = delete;
    VolumeMapFixture& operator=(const VolumeMapFixture&) = delete;

    // Writes the map (atomically, as a rename) from lines whose folders are relative to Dir().
    void Write(const std::string& lines);
    // Creates Dir()/name and returns its path.
    std::filesystem::path Folder(const std::string& name) const;
    const std::filesystem::path& Dir() const { return m_folder.Path(); }
    const std::filesystem::path& MapFile() const { return m_map; }

private:
    TempFolder m_folder{"volumes"};
    std::filesystem::path m_map;
};

#include "volume_map_fixture.h"

#include <cstdlib>
#include <fstream>

VolumeMapFixture::VolumeMapFixture()
{
    m_map = Dir() / "volumes.map";
    Write("");
    ::setenv("INSTALLER_VOLUME_MAP", m_map.c_str(), 1);
}

void VolumeMapFixture::Write(const std::string& lines)
{
    const auto temporary = Dir() / "volumes.map.new";
    std::ofstream(temporary) << lines;
    std::filesystem::rename(temporary, m_map);
}

std::filesystem::path VolumeMapFixture::Folder(const std::string& name) const
{
    const auto path = Dir() / name;
    std::filesystem::create_directories(path);
    return path;
}

#include "volume_map_fixture.h"

#include <cstdlib>
#include <fstream>

VolumeMapFixture::VolumeMapFixture()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "volumes-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    map_ = dir_ / "volumes.map";
    Write("");
    ::setenv("INSTALLER_VOLUME_MAP", map_.c_str(), 1);
}

VolumeMapFixture::~VolumeMapFixture()
{
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void VolumeMapFixture::Write(const std::string& lines)
{
    const auto temporary = dir_ / "volumes.map.new";
    std::ofstream(temporary) << lines;
    std::filesystem::rename(temporary, map_);
}

std::filesystem::path VolumeMapFixture::Folder(const std::string& name) const
{
    const auto path = dir_ / name;
    std::filesystem::create_directories(path);
    return path;
}

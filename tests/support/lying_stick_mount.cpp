#include "lying_stick_mount.h"

#include "zip_tools.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

bool IsMountPoint(const std::filesystem::path& folder)
{
    std::ifstream mounts("/proc/self/mountinfo");
    std::string id, parent, device, root, point;
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        fields >> id >> parent >> device >> root >> point;
        if (point == folder.string())
            return true;
    }
    return false;
}

} // namespace

std::string LyingStickMount::Unavailable()
{
    if (::geteuid() != 0)
        return "mounting a FUSE stick needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "no /dev/fuse";
    if (RunShell("/usr/bin/python3 -c 'import fusepy' 2>/dev/null") != 0)
        return "python3-fusepy is not installed";
    return "";
}

LyingStickMount::LyingStickMount(const std::filesystem::path& backing, const std::filesystem::path& mountpoint,
    const std::vector<std::string>& options)
    : m_mountpoint(std::filesystem::absolute(mountpoint))
{
    std::filesystem::create_directories(backing);
    std::filesystem::create_directories(m_mountpoint);
    std::vector<std::string> argv{"/usr/bin/python3", SupportScript("lying_stick.py"), "--backing", backing.string(),
        "--mountpoint", m_mountpoint.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    try {
        m_script = std::make_unique<ScriptServer>(argv);
    } catch (...) {
        Unmount();
        throw;
    }
}

LyingStickMount::~LyingStickMount() { Unmount(); }

void LyingStickMount::Unmount()
{
    m_script.reset(); // the script unmounts when its standard input closes
    if (IsMountPoint(m_mountpoint))
        RunShell("umount -l " + ShellQuoted(m_mountpoint.string()));
}

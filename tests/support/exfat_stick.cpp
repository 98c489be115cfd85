#include "exfat_stick.h"

#include "zip_tools.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Output(const std::string& command)
{
    struct Closer {
        void operator()(std::FILE* pipe) const { ::pclose(pipe); }
    };
    const std::unique_ptr<std::FILE, Closer> pipe(::popen(command.c_str(), "r"));
    std::string out;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        out += buffer;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

} // namespace

std::string ExfatStick::MissingReason()
{
    if (::geteuid() != 0)
        return "mounting an exFAT stick needs root";
    if (!fs::exists("/dev/fuse") || !fs::exists("/dev/loop-control"))
        return "mounting an exFAT stick needs /dev/fuse and loop devices";
    for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse", "losetup"}) {
        if (RunShell(std::string("command -v ") + tool + " >/dev/null 2>&1") != 0)
            return std::string(tool) + " is missing (Debian packages exfatprogs, exfat-fuse)";
    }
    return "";
}

ExfatStick::ExfatStick(const fs::path& mountPoint, std::uint64_t sizeBytes, bool readOnly)
    : m_mountPoint(mountPoint), m_image(mountPoint.string() + ".img")
{
    std::ofstream(m_image).close();
    std::error_code failure;
    fs::resize_file(m_image, sizeBytes, failure);
    if (failure || RunShell("mkfs.exfat " + ShellQuoted(m_image.string()) + " >/dev/null 2>&1") != 0) {
        m_error = "mkfs.exfat failed";
        return;
    }
    m_device = Output("losetup -f --show " + ShellQuoted(m_image.string()) + " 2>/dev/null");
    if (m_device.rfind("/dev/loop", 0) != 0) {
        m_error = "no loop device: " + m_device;
        m_device.clear();
        return;
    }
    const std::string options = readOnly ? "-o ro " : "";
    if (RunShell("mount.exfat-fuse " + options + m_device + " " + ShellQuoted(m_mountPoint.string()) +
                 " >/dev/null 2>&1") != 0) {
        m_error = "mount.exfat-fuse failed";
        return;
    }
    m_mounted = true;
}

bool ExfatStick::PullLazily()
{
    if (!m_mounted)
        return false;
    m_mounted = RunShell("umount -l " + ShellQuoted(m_mountPoint.string())) != 0;
    return !m_mounted;
}

ExfatStick::~ExfatStick()
{
    // A daemon still busy lets go shortly: try the plain unmount a few times, then lazily.
    for (int attempt = 0; m_mounted && attempt < 20; ++attempt) {
        m_mounted = RunShell("umount " + ShellQuoted(m_mountPoint.string()) + " 2>/dev/null") != 0;
        if (m_mounted)
            ::usleep(100 * 1000);
    }
    if (m_mounted)
        RunShell("umount -l " + ShellQuoted(m_mountPoint.string()));
    // After a lazy unmount the device stays busy until the daemon ends; detaching is deferred.
    if (!m_device.empty())
        RunShell("losetup -d " + m_device + " 2>/dev/null");
    std::error_code ignored;
    fs::remove(m_image, ignored);
}

#include "scratch_mount.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace {

class Pipe {
public:
    explicit Pipe(const std::string& command) : m_file(::popen(command.c_str(), "r")) {}
    ~Pipe()
    {
        if (m_file != nullptr)
            ::pclose(m_file);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    FILE* get() const { return m_file; }
    int Close() { return ::pclose(std::exchange(m_file, nullptr)); }

private:
    FILE* m_file;
};

// Runs a shell command; true when it succeeds, with its standard output in `output`.
bool Run(const std::string& command, std::string* output = nullptr)
{
    Pipe pipe(command + " 2>/dev/null");
    if (pipe.get() == nullptr)
        return false;
    std::array<char, 256> buffer{};
    std::string text;
    while (std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr)
        text += buffer.data();
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (output != nullptr)
        *output = text;
    return pipe.Close() == 0;
}

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

} // namespace

ScratchMount::ScratchMount(Kind kind, const std::filesystem::path& folder, unsigned long long bytes,
    const std::string& label, const std::filesystem::path& imageFolder)
    : m_folder(folder)
{
    std::filesystem::create_directories(folder);
    if (::geteuid() != 0) {
        m_skipReason = "mounting a file system needs root";
        return;
    }
    if (kind == Kind::Tmpfs) {
        m_mounted = Run("mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs " + Quoted(folder));
        if (!m_mounted)
            m_skipReason = "mount -t tmpfs failed (no CAP_SYS_ADMIN?)";
        return;
    }
    const bool exfat = kind == Kind::ExfatImage;
    if (exfat &&
        (::access("/dev/fuse", R_OK | W_OK) != 0 || !Run("command -v mount.exfat-fuse && command -v mkfs.exfat"))) {
        m_skipReason = "exFAT through FUSE needs /dev/fuse, exfat-fuse and exfatprogs";
        return;
    }
    if (!exfat && !Run("grep -qw ext4 /proc/filesystems && command -v mkfs.ext4")) {
        m_skipReason = "ext4 needs the kernel's ext4 and e2fsprogs";
        return;
    }
    m_image = (imageFolder.empty() ? folder.parent_path() : imageFolder) / (folder.filename().string() + ".img");
    std::ofstream(m_image).close();
    std::filesystem::resize_file(m_image, bytes);
    const std::string labelOption = label.empty() ? "" : "-L " + Quoted(label) + " ";
    if (!Run((exfat ? "mkfs.exfat " : "mkfs.ext4 -q -F -b 4096 -E lazy_itable_init=0,lazy_journal_init=0 ") +
            labelOption + Quoted(m_image)) ||
        !Run("losetup -f --show " + Quoted(m_image), &m_loopDevice)) {
        m_skipReason = "no loop device for the image";
        return;
    }
    m_mounted = Run((exfat ? "mount.exfat-fuse " : "mount -t ext4 ") + m_loopDevice + " " + Quoted(folder));
    if (!m_mounted)
        m_skipReason = exfat ? "mount.exfat-fuse failed" : "mount -t ext4 failed";
}

void ScratchMount::Pull()
{
    if (m_mounted)
        Run("umount -l " + Quoted(m_folder));
    m_mounted = false;
}

ScratchMount::~ScratchMount()
{
    Pull();
    if (!m_loopDevice.empty())
        Run("losetup -d " + m_loopDevice);
    if (!m_image.empty())
        std::filesystem::remove(m_image);
}

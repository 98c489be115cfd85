#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include <unistd.h>

namespace fuzz {
namespace {

std::filesystem::path MakeScratchFolder()
{
    std::error_code error;
    const std::filesystem::path shm("/dev/shm");
    const std::filesystem::path base = std::filesystem::is_directory(shm, error) && ::access("/dev/shm", W_OK) == 0
        ? shm
        : std::filesystem::temp_directory_path();
    std::string pattern = (base / "installer-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

} // namespace

const std::filesystem::path& ScratchFolder()
{
    static const std::filesystem::path folder = [] {
        std::filesystem::path made = MakeScratchFolder();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return made;
    }();
    return folder;
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        Fault("cannot write the scratch file", path.string());
}

void Fault(std::string_view what, std::string_view detail)
{
    std::fprintf(stderr, "fuzz property broken: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty())
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz

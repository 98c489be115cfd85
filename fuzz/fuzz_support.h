// What the fuzz targets share: a scratch folder of the process, files written into it, and a
// way to report a broken property as a crash libFuzzer keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

// A fresh folder for this process (in /dev/shm when there is one), removed at exit.
const std::filesystem::path& ScratchFolder();

void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// The input as text.
inline std::string_view Text(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// A property the code promises does not hold: prints what and aborts, so that the input is
// kept as a crash.
[[noreturn]] void Fault(std::string_view what, std::string_view detail = {});

} // namespace fuzz

#define FUZZ_CHECK(condition, detail)                                                                                  \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::fuzz::Fault(#condition, detail);                                                                         \
    } while (false)

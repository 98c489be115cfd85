// A file the extraction wrote onto the stick, as it was written: enough to read it back from
// the stick and compare.
#pragma once

#include <cstdint>
#include <string>

struct WrittenFile {
    std::string path; // relative to the stick's root, UTF-8, '/'-separated
    std::uint64_t size = 0; // bytes written
    std::uint32_t crc32 = 0; // zlib crc32 of those bytes
};

// A file the extraction wrote onto the stick, as it was written: enough to read it back from
// the stick and compare.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WrittenFile {
    std::string path; // relative to the stick's root, UTF-8, '/'-separated
    std::uint64_t size = 0; // bytes written
    std::uint32_t crc32 = 0; // zlib crc32 of those bytes
    // CRC-32 of each kChecksumBlockSize block of those bytes (install/block_checksum.h), the
    // last one possibly partial: where a read-back first differs.
    std::vector<std::uint32_t> blockCrc32;
};

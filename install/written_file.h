// What the extraction wrote in this run, for reading it back from the stick.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WrittenFile {
    std::string path; // relative to the stick's root, UTF-8, '/'-separated
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0; // zlib's CRC-32 of the bytes written
    // CRC-32 of each kChecksumBlockSize block of the file (install/block_checksum.h), the last
    // one possibly partial.
    std::vector<std::uint32_t> blockCrc32;
};

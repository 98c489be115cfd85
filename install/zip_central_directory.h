// The central directory of a ZIP file, read for what libarchive does not hand out: each
// entry's stored CRC-32, and the stored bytes of a name libarchive cannot convert. With it the extraction computes one CRC over the bytes it writes and
// compares it with the stored one, instead of libarchive computing a second.
#pragma once

#include "platform/folder_handle.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace extraction {

struct CentralDirectoryEntry {
    std::uint64_t localHeaderOffset = 0;
    std::uint64_t size = 0; // uncompressed
    std::uint32_t crc32 = 0;
    std::string rawName; // the name's bytes as stored
};

// The entries in the order libarchive's seekable ZIP reader hands them out: by the offset of
// their local header, an entry whose offset repeats an earlier one's left out. nullopt when
// the file has no central directory that can be read. The file is read at given offsets: where
// it stands for Read is left as it is.
std::optional<std::vector<CentralDirectoryEntry>> ReadCentralDirectory(const platform::ReadableFile& zip);

} // namespace extraction

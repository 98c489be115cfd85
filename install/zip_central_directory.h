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
    std::uint64_t localHeaderAt = 0; // where the local header lies in the file (data before the archive counted)
    std::uint64_t size = 0; // uncompressed
    std::uint64_t compressedSize = 0;
    std::uint32_t crc32 = 0;
    std::string rawName; // the name's bytes as stored
};

// The entries in the order libarchive's seekable ZIP reader hands them out: by the offset of
// their local header, an entry whose offset repeats an earlier one's left out. nullopt when
// the file has no central directory that can be read. The file is read at given offsets: where
// it stands for Read is left as it is.
std::optional<std::vector<CentralDirectoryEntry>> ReadCentralDirectory(const platform::ReadableFile& zip);

// The first entry whose local header disagrees with its central-directory record on the name's
// bytes, or on the CRC and the sizes where the local header holds them (no data descriptor, no
// ZIP64 values): one line naming it. nullopt when every entry agrees. A reader that takes names
// from the local headers would otherwise install what no ZIP tool lists.
std::optional<std::string> FindHeaderDisagreement(
    const platform::ReadableFile& zip, const std::vector<CentralDirectoryEntry>& entries);

} // namespace extraction

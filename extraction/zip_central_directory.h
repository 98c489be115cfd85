// The central directory of a ZIP file as a list of records, for a quick look at an archive
// kept on the disk (is there a whole directory at its end?). The extraction itself works from
// the plan (install/zip_plan.h), which this reads.
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

// The records by the position of their local header. nullopt when the file has no central
// directory that can be read, or one no honest tool writes (records sharing a local header,
// data overlapping, a count that differs from the end record's).
std::optional<std::vector<CentralDirectoryEntry>> ReadCentralDirectory(const platform::ReadableFile& zip);

} // namespace extraction

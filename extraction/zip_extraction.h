// The extraction of one ZIP archive onto one stick, behind the entry points of
// extraction/package_extractor.h.
#pragma once

#include "extraction/package_extractor.h"
#include "extraction/zip_plan.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace extraction {

// A name as messages quote it: "\"kelvoClient/a.txt\"", unprintable bytes escaped.
std::string Quoted(std::string_view name);

// Extracts `archive` beneath the existing native folder `destination` into `result`. With a
// `plan`, the archive is read from `source` (both outlive the call) instead of being opened
// and planned here. `totalOut`, when given, receives the total once it is known.
void RunZipExtraction(const ArchiveInFolder& archive, std::string destination, bool fat32,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel, std::uint64_t* totalOut,
    const ArchivePlan* plan, const ArchiveByteSource* source, ExtractionResult& result);

} // namespace extraction

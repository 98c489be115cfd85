#include "extraction/zip_central_directory.h"

#include "extraction/zip_plan.h"

namespace extraction {

std::optional<std::vector<CentralDirectoryEntry>> ReadCentralDirectory(const platform::ReadableFile& zip)
{
    const platform::Result<ArchivePlan, PlanError> plan = ReadArchivePlan(zip);
    if (!plan)
        return std::nullopt;
    std::vector<CentralDirectoryEntry> entries;
    entries.reserve(plan->entries.size());
    for (const PlanEntry& entry : plan->entries)
        entries.push_back({entry.localHeaderOffset, entry.localHeaderAt, entry.size, entry.compressedSize, entry.crc32,
            entry.rawName});
    return entries;
}

} // namespace extraction

// Which archive entries are written to the drive: folders and regular files with a relative
// name that stays beneath the destination. Links, devices, FIFOs and sockets never are.
#pragma once

#include "extraction/zip_names.h"

#include <optional>
#include <string>
#include <string_view>

struct archive_entry;

namespace extraction {

// Why the entry is refused, or nullopt when it may be extracted. `name` is the entry's path
// as it will be joined beneath the destination; before names are decoded, check them with
// NameSeparators::SlashOnly.
std::optional<std::string> RefusalReason(
    archive_entry* entry, std::string_view name, NameSeparators separators = NameSeparators::SlashAndBackslash);

// Permission bits to write: read, write and execute only; set-user-id, set-group-id and the
// sticky bit are dropped.
unsigned PermissionsToRestore(unsigned archivedPermissions);

} // namespace extraction

#include "extraction/entry_policy.h"

#include <archive_entry.h>

namespace extraction {
namespace {

std::optional<std::string> TypeRefusalReason(archive_entry* entry)
{
    if (archive_entry_hardlink(entry) != nullptr)
        return "hard links are not extracted";
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
    case AE_IFDIR:
        return std::nullopt;
    case AE_IFLNK:
        return "symbolic links are not extracted";
    case AE_IFCHR:
    case AE_IFBLK:
        return "device files are not extracted";
    case AE_IFIFO:
        return "FIFOs are not extracted";
    case AE_IFSOCK:
        return "sockets are not extracted";
    default:
        return "entries of an unknown file type are not extracted";
    }
}

} // namespace

std::optional<std::string> RefusalReason(archive_entry* entry, std::string_view name, NameSeparators separators)
{
    if (auto reason = UnsafeNameReason(name, separators))
        return reason;
    return TypeRefusalReason(entry);
}

unsigned PermissionsToRestore(unsigned archivedPermissions) { return archivedPermissions & 0777u; }

} // namespace extraction

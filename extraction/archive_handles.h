// Owning handles for libarchive objects: freeing a handle also closes it.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <string>

namespace extraction {

struct ArchiveReadFree {
    void operator()(archive* handle) const noexcept { archive_read_free(handle); }
};

using ArchiveReader = std::unique_ptr<archive, ArchiveReadFree>;

// The handle's last error text, or a fallback when libarchive gave none.
inline std::string ArchiveErrorText(archive* handle)
{
    const char* text = handle ? archive_error_string(handle) : nullptr;
    return text && *text ? std::string(text) : std::string("unknown archive error");
}

} // namespace extraction

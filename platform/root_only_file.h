// Configuration that the program, running as root, may act on: files that only root can have
// written. A file counts when it is a regular file (not a link), it and every folder above it
// belong to root, and none of them is writable by its group or by others (but for a folder
// further up that has the sticky bit, as /tmp does: what root made in it stays root's).
#pragma once

#include "platform/result.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A file read by ReadRootOnlyFile: `exists` false when there is nothing at the path.
struct RootOnlyFile {
    bool exists = false;
    std::string content;
};

// Reads the file at the absolute `path`. The error is the reason it is not used ("is writable
// by others", "folder /etc/x belongs to uid 1000", "is a link").
Result<RootOnlyFile, std::string> ReadRootOnlyFile(const std::string& path);

// The names in the folder `folder` that end in `suffix` (and are longer than it), sorted by
// their bytes; none when the folder does not exist. The error is why the folder is not used.
Result<std::vector<std::string>, std::string> ListRootOnlyFolder(const std::string& folder, std::string_view suffix);

} // namespace platform

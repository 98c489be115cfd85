// Flushes everything written to one file system to its device.
#pragma once

#include <string>

namespace platform {

// syncfs on the file system that holds nativeFolder. False with an error text when the
// folder cannot be opened or the device reports a write error.
bool FlushFileSystemOf(const std::string& nativeFolder, std::string& error);

} // namespace platform

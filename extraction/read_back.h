// Reading what the extraction wrote back from the stick itself and comparing it with what was
// written, before the installation may be called complete.
#pragma once

#include "extraction/written_file.h"
#include "platform/folder_handle.h"
#include "platform/result.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Why what was written could not be called verified.
struct ReadBackFailure {
    enum class Side {
        Differs, // a file differs, is short or long, or could not be read
        StickGone, // the device went away while it was read
        Stopped, // the stop flag was set
    };
    Side side = Side::Differs;
    // For Differs and StickGone: one line naming the first bad file and the offset of its first
    // differing block, or the reading error.
    std::string diagnostic;
};

// Called with the bytes read back so far and the total, once with 0 before the first file and
// after every block.
using ReadBackProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Reads every file of `files` beneath the stick's root folder in blocks of kChecksumBlockSize,
// past the page cache, and compares sizes and CRC-32s. Stops at the first file that differs.
// Succeeds when every file holds what was written. A read that fails because the device went away, or a root whose path no longer leads to it,
// is StickGone. The stick's file system must have been flushed. `cancel`, when given and set,
// stops it between two blocks. One block of memory, whatever the package's size.
platform::Result<void, ReadBackFailure> VerifyWrittenFiles(const platform::FolderHandle& stickRoot,
    std::span<const WrittenFile> files, const ReadBackProgress& progress, const std::atomic<bool>* cancel = nullptr);

// Extraction of a package archive (ZIP) beneath a destination folder, independent of any
// window: the download window wraps it and shows its progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// Total uncompressed size in bytes of the archive being extracted: the sum of its entries'
// sizes, set by ExtractZipArchive before the first byte is written and not reset afterwards.
// Written and read on the thread that extracts.
extern std::uint64_t g_extractTotalBytes;

// Called with the bytes written so far and the total, once with 0 before the first entry and
// after every block written.
using ExtractProgressCallback = std::function<void(std::uint64_t processed, std::uint64_t total)>;

// Extracts every entry of the ZIP archive at archivePath beneath destinationRoot, keeping the
// folders. Both are letter paths ("C:\kelvo\a.zip", "E:") or rooted paths ("\tmp\x").
//
// - Files of the same name are replaced, everything else at the destination is left alone.
// - Names carrying the UTF-8 flag are UTF-8; the others are UTF-8 when every name of the
//   archive is valid UTF-8, CP936 otherwise.
// - Entries with absolute names or ".." components, links, devices, FIFOs and sockets are
//   refused, and so are names that cannot be decoded: the extraction fails naming the entry,
//   before anything is written. Owners and set-id bits are never restored.
// - Everything written is flushed to the destination's device before true is returned.
// - `cancel`, when given and set, stops the extraction between two entries or blocks.
//
// Returns true on success. On failure returns false with a one-line message in `error`;
// what was written before the failure stays on the drive.
bool ExtractZipArchive(const std::wstring& archivePath, const std::wstring& destinationRoot,
                       const ExtractProgressCallback& progress, std::string& error,
                       const std::atomic<bool>* cancel = nullptr);

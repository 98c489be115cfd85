// Extraction of a package archive (ZIP) onto a stick, independent of any window: the download
// window wraps it and shows its progress.
#pragma once

#include "extraction/written_file.h"
#include "extraction/zip_plan.h"
#include "platform/folder_handle.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Total uncompressed size in bytes of the archive being extracted: the sum of its entries'
// sizes, set by ExtractZipArchive before the first byte is written and not reset afterwards.
// Written and read on the thread that extracts.
extern std::uint64_t g_extractTotalBytes;

// Called with the bytes written so far that the stick's device holds, and the total: once with
// 0 before the first entry, after every block written and each time more bytes reach the device
// (install/device_push.h), and with the total once the final flush has returned.
using ExtractProgressCallback = std::function<void(std::uint64_t processed, std::uint64_t total)>;

// Which side an extraction failed on.
enum class ExtractFailure {
    None,
    Cancelled, // the stop flag was set
    ArchiveUnreadable, // not a ZIP, truncated, a bad CRC, an unsupported compression
    ArchiveContent, // entries no stick can hold or that are not installed (names, links, ...)
    TooLargeForFat32, // a file of 4 GiB or more for a FAT32 stick
    StickWrite, // the stick refused a write (full, read-only, an error while present)
    StickFull, // the package needs more room than the stick has free; nothing was written
    StickPulled, // the stick went away: its device is gone or its root is elsewhere
};

struct ExtractionResult {
    ExtractFailure failure = ExtractFailure::None;
    std::string error; // one line, empty on success
    std::vector<WrittenFile> writtenFiles; // every file written in full in this run, in order
    std::optional<platform::FolderHandle> stickRoot; // the handle everything was written through
    bool Ok() const { return failure == ExtractFailure::None; }
};

// An archive in an open folder: the extraction opens the file `name` once, through the
// folder's handle and never through a link, and reads every pass from that file. The folder
// must outlive every extraction of it.
struct ArchiveInFolder {
    const platform::FolderHandle* folder; // null for an archive read from a given source
    std::string name; // one path component
    std::string shownPath; // how messages name it
};

// Extracts every entry of the ZIP archive beneath destinationRoot, keeping the folders. The
// destination is a letter path ("E:") or a rooted path ("\tmp\x"); it must exist: it is
// opened once and everything is written relative to that handle, one name at a time, never
// through a link.
//
// - Files of the same name are replaced, everything else at the destination is left alone.
// - One read of the central directory is the plan (install/zip_plan.h): every refusal below is
//   decided from it before anything is written, and only what it lists is written, in the order
//   of the local headers, each entry as the plan describes it (the reader's path, type and size
//   must be the plan's, its local header must agree with its record, its data must end at its
//   declared size, neither before nor after, with the recorded CRC).
// - Names carrying the UTF-8 flag are UTF-8; the others are UTF-8 when every name of the
//   archive is valid UTF-8, CP936 otherwise. "." components are the folder itself: dropped, and
//   an entry that is only "./" is skipped.
// - Refused before anything is written, naming the entry: absolute names, ".." components,
//   links, devices, sockets, encrypted entries, compression methods the reader cannot decode,
//   names that cannot be decoded, names Windows cannot hold, two paths equal ignoring case, a
//   path that is a file and a folder, an archive with no file, and on a FAT32 drive a file of
//   4 GiB or more; as damaged, records sharing a local header, data ranges that overlap or run
//   into the directory, a count of records other than the end record's, local headers that
//   disagree with their records. Owners and set-id bits are never restored.
// - A file that cannot be finished (a write fails, the stop flag is set) is removed; files
//   finished before stay.
// - The destination's path is checked between entries: when it no longer leads to the folder
//   that was opened, or a write fails because the device went away, the result is StickPulled.
// - Everything written is flushed to the destination's device before success is returned.
ExtractionResult ExtractZipArchive(const ArchiveInFolder& archive, const std::wstring& destinationRoot,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel = nullptr);
// The same for the archive at a letter or rooted path ("C:\kelvo\a.zip"), opened beneath its
// folder, for tools and tests.
ExtractionResult ExtractZipArchive(const std::wstring& archivePath, const std::wstring& destinationRoot,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel = nullptr);

// The same for an archive whose plan was made from its tail before the rest of it arrived:
// it is read from `source`, which waits for bytes not there yet, and each entry is written as
// soon as its bytes are in, its local header checked against the plan as it is reached. Every
// refusal is decided on the plan before anything is written. Touches no program-wide value.
ExtractionResult ExtractPlannedArchive(const extraction::ArchivePlan& plan, const extraction::ArchiveByteSource& source,
    const std::string& shownPath, const std::wstring& destinationRoot, const ExtractProgressCallback& progress,
    const std::atomic<bool>* cancel);

// One extraction with its own total, progress and stop flag: it touches no program-wide value
// (g_extractTotalBytes stays as it is), so several can run at once, one per stick. Otherwise
// it extracts exactly as ExtractZipArchive does.
class PackageExtraction {
public:
    PackageExtraction(ArchiveInFolder archive, std::wstring destinationRoot);
    PackageExtraction(const PackageExtraction&) = delete;
    PackageExtraction& operator=(const PackageExtraction&) = delete;

    // On the thread that extracts; `progress` gets this extraction's bytes and total.
    ExtractionResult Run(const ExtractProgressCallback& progress);
    // Any thread: the extraction stops between two blocks, the file being written is removed.
    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    const std::atomic<bool>& CancelFlag() const { return m_cancel; }
    // The archive's total uncompressed size, once Run has surveyed it (extracting thread).
    std::uint64_t TotalBytes() const { return m_totalBytes; }

private:
    const ArchiveInFolder m_archive;
    const std::wstring m_destinationRoot;
    std::atomic<bool> m_cancel{false};
    std::uint64_t m_totalBytes = 0;
};

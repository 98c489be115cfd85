// The plan of an installation: one parse of a ZIP archive's central directory, from which
// every decision is taken before anything is written. The extraction writes only what the
// plan lists, in the plan's order, each entry as the plan describes it.
//
// The plan is built from the archive's last bytes alone, so it can be made before the rest of
// the archive is there (a download that fetched its tail first):
//
//     std::vector<unsigned char> tail = last min(length, kPlanTailSize) bytes of the archive;
//     PlanOutcome outcome = BuildArchivePlan(tail, length);
//     if (outcome.needFrom)   // the directory begins earlier: give the bytes from there
//         outcome = BuildArchivePlan(bytes from *outcome.needFrom to the end, length);
//
// Each entry's local header is then checked against its record when the entry is reached
// (CheckLocalHeader), from bytes at the entry's localHeaderAt, one entry at a time.
#pragma once

#include "extraction/zip_names.h"
#include "platform/folder_handle.h"
#include "platform/result.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace extraction {

// The end record with the longest comment, and the ZIP64 locator before it.
inline constexpr std::size_t kPlanTailSize = 22 + 0xFFFF + 20;
// A local header's fixed part; its name and extra field follow.
inline constexpr std::size_t kLocalHeaderFixedSize = 30;

// Up to `size` bytes of the archive at `offset`: how many were read (0 only at the archive's
// real end), or nullopt with the system's error number. A source over an archive still being
// downloaded waits for bytes that are not there yet.
using ArchiveByteSource =
    std::function<platform::Result<std::size_t>(void* buffer, std::size_t size, std::uint64_t offset)>;

// The source reading a whole file on the disk; the file must outlive it.
ArchiveByteSource FileByteSource(const platform::ReadableFile& file);

struct PlanEntry {
    std::string rawName; // the name's bytes as stored
    // Decoded (UTF-8), '/'-separated, with empty and "." components dropped; empty for an
    // entry that names the folder itself ("./"), which is not written.
    std::string path;
    bool decoded = true; // false: the name is not valid in its character set (path is then empty)
    bool isFolder = false;
    std::uint16_t versionMadeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0; // uncompressed
    std::uint64_t localHeaderOffset = 0; // as stored
    std::uint64_t localHeaderAt = 0; // where it lies in the file (data before the archive counted)
    // Where the next entry's local header, or the directory, begins: this entry's header and
    // data end before it.
    std::uint64_t limit = 0;

    bool Skipped() const { return decoded && isFolder && path.empty(); }
    bool Encrypted() const { return (flags & 0x0001) != 0 || (flags & 0x0040) != 0; }
    bool MadeOnUnix() const { return (versionMadeBy >> 8) == 3; }
};

struct ArchivePlan {
    std::vector<PlanEntry> entries; // every record, by the position of its local header
    ZipNameCharset charset = ZipNameCharset::Utf8; // of the names without the UTF-8 flag
    std::uint64_t totalBytes = 0; // the files' sizes, summed
    std::uint64_t directoryAt = 0;
    std::uint64_t directorySize = 0;
    // Where the end record lies; a reader sees the archive as ending 22 bytes after it (its
    // comment and anything after it are not the archive's).
    std::uint64_t endRecordAt = 0;
    std::uint64_t ArchiveEnd() const { return endRecordAt + 22; }
};

// Why a plan cannot be made or is refused, and on which side.
enum class PlanFault {
    Damaged, // the archive is not what honest ZIP tools write: not a ZIP, cut short, overlapping
    Content, // an entry that cannot be installed (name, type, method, encryption, no file)
    TooLargeForFat32, // a file of 4 GiB or more for a FAT32 stick
};

struct PlanError {
    PlanFault fault = PlanFault::Damaged;
    std::string text; // one line
};

struct PlanOutcome {
    std::optional<ArchivePlan> plan;
    std::optional<PlanError> error;
    // Neither plan nor error: the directory begins before the bytes given; call again with the
    // bytes from this offset to the archive's end.
    std::optional<std::uint64_t> needFrom;
};

// Builds the plan from `tail`, the archive's last tail.size() bytes, the archive being
// `archiveLength` bytes long. The structure is checked here (end record anywhere in the last
// kPlanTailSize bytes with its comment, ZIP64, the count of records, no two records on one
// local header, no data ranges that overlap or run into the directory); the entries' names and
// types are decoded but not judged (FindPlanRefusal does that).
PlanOutcome BuildArchivePlan(std::span<const unsigned char> tail, std::uint64_t archiveLength);

// The plan of the archive in `zip`, read with at most two reads.
platform::Result<ArchivePlan, PlanError> ReadArchivePlan(const platform::ReadableFile& zip);

// Every check that decides, before anything is written, whether the plan can be installed:
// the names and Windows' rules for them, case clashes and paths that are a file and a folder,
// links and devices, encryption, compression methods the reader cannot decode, on FAT32 a file
// of 4 GiB or more, and an archive with no file. nullopt when it can. Call under a UTF-8 locale.
std::optional<PlanError> FindPlanRefusal(const ArchivePlan& plan, bool fat32);

// Whether libarchive's ZIP reader decodes data of this compression method here.
bool IsReadableMethod(std::uint16_t method);

// The bytes the local header takes with its name and extra field, from its first
// kLocalHeaderFixedSize bytes; 0 when they are no local header.
std::size_t LocalHeaderSize(std::span<const unsigned char> fixedPart);

// Checks an entry's local header (all LocalHeaderSize bytes of it) against its record: the
// name's bytes, the method, the encryption and UTF-8 flags, the CRC and sizes where the header
// holds them, and that its data ends before `limit`. Where the entry's data begins, or one line
// saying how they disagree.
platform::Result<std::uint64_t, std::string> CheckLocalHeader(
    const PlanEntry& entry, std::span<const unsigned char> header);

// The same, reading the header from the source.
platform::Result<std::uint64_t, std::string> CheckLocalHeaderIn(const ArchiveByteSource& zip, const PlanEntry& entry);

// An entry's path as the plan writes it: split at '/' and '\', empty and "." components left
// out, joined with '/'. Applied to the reader's names too, so that the two compare.
std::string PlannedPath(std::string_view name);

} // namespace extraction

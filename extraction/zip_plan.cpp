#include "extraction/zip_plan.h"

#include "extraction/package_paths.h"

#include <algorithm>
#include <limits>

namespace extraction {
namespace {

constexpr std::uint32_t kEndOfCentralDirectory = 0x06054b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::uint32_t kZip64EndOfCentralDirectory = 0x06064b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kZip64RecordSize = 56;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kUnicodePathExtraId = 0x7075;
constexpr std::uint16_t kUtf8Flag = 0x0800;
constexpr std::uint16_t kDataDescriptorFlag = 0x0008;
// The flags a local header must share with its record: encryption (traditional, strong, the
// masked header) and the UTF-8 names.
constexpr std::uint16_t kSharedFlags = 0x0001 | 0x0040 | 0x2000 | kUtf8Flag;
// Larger directories (millions of entries) are no courseware.
constexpr std::uint64_t kLargestDirectory = 256u << 20;

constexpr unsigned kTypeMask = 0170000;
constexpr unsigned kFolderType = 0040000;

std::uint64_t Little(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b)
{
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

std::string Quoted(std::string_view name) { return "\"" + PrintableName(name) + "\""; }

PlanOutcome Damaged(std::string text) { return {std::nullopt, PlanError{PlanFault::Damaged, std::move(text)}, {}}; }

// The bytes of the archive that the caller gave: the last ones, up to its end.
class Tail {
public:
    Tail(std::span<const unsigned char> bytes, std::uint64_t length)
        : m_bytes(bytes), m_at(length - std::min<std::uint64_t>(length, bytes.size()))
    {
    }
    std::uint64_t At() const { return m_at; }
    // The `size` bytes at the archive's `offset`, or nullptr when they are not all given.
    const unsigned char* Bytes(std::uint64_t offset, std::uint64_t size) const
    {
        if (offset < m_at || offset - m_at > m_bytes.size() || size > m_bytes.size() - (offset - m_at))
            return nullptr;
        return m_bytes.data() + (offset - m_at);
    }

private:
    std::span<const unsigned char> m_bytes;
    std::uint64_t m_at; // the archive's offset of the first byte given
};

struct DirectoryPlace {
    std::uint64_t endRecordAt = 0;
    std::uint64_t count = 0;
    std::uint64_t at = 0; // where the directory lies in the file
    std::uint64_t size = 0;
    std::uint64_t shift = 0; // added to stored offsets (data before the archive), modulo 2^64
};

// The last end record in the tail whose comment fits before the archive's end and whose
// fields a single-disk archive can hold.
std::optional<std::uint64_t> FindEndRecord(const Tail& tail, std::uint64_t length)
{
    const std::uint64_t lowest = length - std::min<std::uint64_t>(length, kPlanTailSize);
    if (length < kEndRecordSize)
        return std::nullopt;
    for (std::uint64_t at = length - kEndRecordSize + 1; at-- > std::max(lowest, tail.At());) {
        const unsigned char* record = tail.Bytes(at, kEndRecordSize);
        if (!record || Little(record, 4) != kEndOfCentralDirectory)
            continue;
        const bool fits = at + kEndRecordSize + Little(record + 20, 2) <= length;
        const bool oneDisk = Little(record + 4, 2) == Little(record + 6, 2) &&
            Little(record + 8, 2) == Little(record + 10, 2) &&
            (Little(record + 12, 4) <= at || Little(record + 12, 4) == 0xFFFFFFFF);
        if (fits && oneDisk)
            return at;
    }
    return std::nullopt;
}

// Where the directory lies. nullopt with `needFrom` set when the tail does not reach back to
// the ZIP64 record or to the directory.
std::optional<DirectoryPlace> PlaceDirectory(
    const Tail& tail, std::uint64_t endAt, std::optional<std::uint64_t>& needFrom, std::optional<PlanError>& error)
{
    const unsigned char* end = tail.Bytes(endAt, kEndRecordSize);
    DirectoryPlace place;
    place.endRecordAt = endAt;
    place.count = Little(end + 10, 2);
    place.size = Little(end + 12, 4);
    std::uint64_t storedAt = Little(end + 16, 4);
    std::uint64_t directoryEnd = endAt;
    const unsigned char* locator = endAt >= kLocatorSize ? tail.Bytes(endAt - kLocatorSize, kLocatorSize) : nullptr;
    if (endAt >= kLocatorSize && !locator) {
        needFrom = endAt - kLocatorSize;
        return std::nullopt;
    }
    if (locator && Little(locator, 4) == kZip64Locator) {
        // The record lies where the locator says, or, with data before the archive, right
        // before the locator.
        const std::uint64_t storedRecordAt = Little(locator + 8, 8);
        const std::uint64_t locatorAt = endAt - kLocatorSize;
        const std::uint64_t beforeLocator = locatorAt - std::min<std::uint64_t>(locatorAt, kZip64RecordSize);
        const unsigned char* record = nullptr;
        for (const std::uint64_t at : {beforeLocator, storedRecordAt}) {
            // A record further back than the largest directory is not looked for.
            if (at >= locatorAt || locatorAt - at > kLargestDirectory)
                continue;
            if (at < tail.At()) {
                needFrom = at;
                return std::nullopt;
            }
            record = tail.Bytes(at, kZip64RecordSize);
            if (record && Little(record, 4) == kZip64EndOfCentralDirectory) {
                directoryEnd = at;
                break;
            }
            record = nullptr;
        }
        if (!record) {
            error = PlanError{PlanFault::Damaged, "the ZIP64 end record is not where its locator says"};
            return std::nullopt;
        }
        place.count = Little(record + 32, 8);
        place.size = Little(record + 40, 8);
        storedAt = Little(record + 48, 8);
    }
    if (place.size > directoryEnd) {
        error = PlanError{PlanFault::Damaged, "the central directory is larger than the archive"};
        return std::nullopt;
    }
    if (place.size > kLargestDirectory) {
        error = PlanError{PlanFault::Content, "the central directory is larger than 256 MiB"};
        return std::nullopt;
    }
    // As readers do: the directory ends where the end record (or the ZIP64 record) begins, and
    // data before the archive moves every stored offset by the same amount.
    place.at = directoryEnd - place.size;
    place.shift = place.at - storedAt;
    if (place.at < tail.At()) {
        needFrom = place.at;
        return std::nullopt;
    }
    return place;
}

// The sizes and offset a ZIP64 extra field holds, in this order, for the fields that are all ones.
void ApplyZip64Extra(const unsigned char* extra, std::size_t length, PlanEntry& entry)
{
    for (std::size_t e = 0; e + 4 <= length;) {
        const std::size_t fieldLength = Little(extra + e + 2, 2);
        if (e + 4 + fieldLength > length)
            return;
        if (Little(extra + e, 2) == kZip64ExtraId) {
            const unsigned char* value = extra + e + 4;
            const unsigned char* valueEnd = value + fieldLength;
            for (std::uint64_t* field : {&entry.size, &entry.compressedSize, &entry.localHeaderOffset}) {
                if (*field != 0xFFFFFFFF || valueEnd - value < 8)
                    continue;
                *field = Little(value, 8);
                value += 8;
            }
        }
        e += 4 + fieldLength;
    }
}

std::uint32_t NameCrc(std::string_view bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

// The UTF-8 name of an Info-ZIP Unicode path field that still belongs to the stored name (its
// CRC-32 is the stored name's): libarchive takes it over the stored one.
std::optional<std::string> UnicodePath(const unsigned char* extra, std::size_t length, std::string_view rawName)
{
    for (std::size_t e = 0; e + 4 <= length;) {
        const std::size_t fieldLength = Little(extra + e + 2, 2);
        if (e + 4 + fieldLength > length)
            return std::nullopt;
        const unsigned char* value = extra + e + 4;
        if (Little(extra + e, 2) == kUnicodePathExtraId && fieldLength >= 5 && value[0] == 1 &&
            Little(value + 1, 4) == NameCrc(rawName)) {
            std::string name(reinterpret_cast<const char*>(value + 5), fieldLength - 5);
            if (IsValidUtf8(name) && !name.empty())
                return name;
        }
        e += 4 + fieldLength;
    }
    return std::nullopt;
}

// The records of the directory, in their stored order, with their stored names.
std::optional<std::vector<PlanEntry>> ParseRecords(const unsigned char* directory, std::uint64_t size,
    const DirectoryPlace& place, std::string& why, std::vector<std::optional<std::string>>& unicodeNames)
{
    std::vector<PlanEntry> entries;
    entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(place.count, size / kCentralHeaderSize)));
    std::uint64_t at = 0;
    while (at + kCentralHeaderSize <= size && Little(directory + at, 4) == kCentralHeader) {
        const unsigned char* header = directory + at;
        PlanEntry entry;
        entry.versionMadeBy = static_cast<std::uint16_t>(Little(header + 4, 2));
        entry.flags = static_cast<std::uint16_t>(Little(header + 8, 2));
        entry.method = static_cast<std::uint16_t>(Little(header + 10, 2));
        entry.crc32 = static_cast<std::uint32_t>(Little(header + 16, 4));
        entry.compressedSize = Little(header + 20, 4);
        entry.size = Little(header + 24, 4);
        const std::size_t nameLength = Little(header + 28, 2);
        const std::size_t extraLength = Little(header + 30, 2);
        const std::size_t commentLength = Little(header + 32, 2);
        entry.externalAttributes = static_cast<std::uint32_t>(Little(header + 38, 4));
        entry.localHeaderOffset = Little(header + 42, 4);
        const std::uint64_t next = at + kCentralHeaderSize + nameLength + extraLength + commentLength;
        if (next > size) {
            why = "a record of the central directory runs past its end";
            return std::nullopt;
        }
        entry.rawName.assign(reinterpret_cast<const char*>(header + kCentralHeaderSize), nameLength);
        const unsigned char* extra = header + kCentralHeaderSize + nameLength;
        ApplyZip64Extra(extra, extraLength, entry);
        unicodeNames.push_back(UnicodePath(extra, extraLength, entry.rawName));
        entry.localHeaderAt = entry.localHeaderOffset + place.shift;
        entries.push_back(std::move(entry));
        at = next;
    }
    if (entries.size() != place.count) {
        why = "the central directory holds " + std::to_string(entries.size()) + " records, its end record counts " +
            std::to_string(place.count);
        return std::nullopt;
    }
    return entries;
}

// Folder or file, as libarchive's reader takes it: Unix modes from the attributes of archives
// made on Unix, the folder bit of those made on FAT, and a name ending in '/' always a folder.
bool IsFolderEntry(const PlanEntry& entry)
{
    if (!entry.rawName.empty() && entry.rawName.back() == '/')
        return true;
    const unsigned host = entry.versionMadeBy >> 8;
    if (host == 3)
        return ((entry.externalAttributes >> 16) & kTypeMask) == kFolderType;
    return host == 0 && (entry.externalAttributes & 0x10) != 0;
}

} // namespace

std::string PlannedPath(std::string_view name)
{
    std::string path;
    path.reserve(name.size());
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view component = name.substr(start, end - start);
        if (!component.empty() && component != ".") {
            if (!path.empty())
                path += '/';
            path += component;
        }
        start = end + 1;
    }
    return path;
}

PlanOutcome BuildArchivePlan(std::span<const unsigned char> bytes, std::uint64_t archiveLength)
{
    const Tail tail(bytes, archiveLength);
    const std::optional<std::uint64_t> endAt = FindEndRecord(tail, archiveLength);
    if (!endAt) {
        if (tail.At() > 0 && archiveLength - tail.At() < std::min<std::uint64_t>(archiveLength, kPlanTailSize))
            return {std::nullopt, std::nullopt, archiveLength - std::min<std::uint64_t>(archiveLength, kPlanTailSize)};
        return Damaged("no end of a ZIP central directory");
    }
    std::optional<std::uint64_t> needFrom;
    std::optional<PlanError> error;
    const std::optional<DirectoryPlace> place = PlaceDirectory(tail, *endAt, needFrom, error);
    if (!place)
        return {std::nullopt, error, needFrom};

    std::string why;
    std::vector<std::optional<std::string>> unicodeNames;
    std::optional<std::vector<PlanEntry>> records =
        ParseRecords(tail.Bytes(place->at, place->size), place->size, *place, why, unicodeNames);
    if (!records)
        return Damaged(why);

    ArchivePlan plan;
    plan.directoryAt = place->at;
    plan.directorySize = place->size;
    plan.endRecordAt = place->endRecordAt;
    ZipNameCharsetVote vote;
    for (const PlanEntry& entry : *records) {
        if ((entry.flags & kUtf8Flag) == 0)
            vote.Add(entry.rawName);
    }
    plan.charset = vote.Result();
    const ZipNameDecoder decoder(plan.charset);
    for (std::size_t i = 0; i < records->size(); ++i) {
        PlanEntry& entry = (*records)[i];
        std::optional<std::string> name = std::move(unicodeNames[i]);
        if (!name)
            name = decoder.Decode(entry.rawName, (entry.flags & kUtf8Flag) != 0);
        entry.decoded = name.has_value();
        entry.path = name ? PlannedPath(*name) : std::string();
        entry.isFolder = IsFolderEntry(entry);
        if (!entry.isFolder)
            plan.totalBytes = SaturatingAdd(plan.totalBytes, entry.size);
    }

    // By the position of the local headers, the order the reader hands the entries out in;
    // each entry's header and data must end before the next one's header, the last one's
    // before the directory.
    std::stable_sort(records->begin(), records->end(),
        [](const PlanEntry& a, const PlanEntry& b) { return a.localHeaderAt < b.localHeaderAt; });
    for (std::size_t i = 0; i < records->size(); ++i) {
        PlanEntry& entry = (*records)[i];
        entry.limit = i + 1 < records->size() ? (*records)[i + 1].localHeaderAt : plan.directoryAt;
        if (entry.localHeaderAt == entry.limit && i + 1 < records->size())
            return Damaged("archive entries " + Quoted(entry.rawName) + " and " + Quoted((*records)[i + 1].rawName) +
                " share one local header");
        const std::uint64_t end = SaturatingAdd(
            SaturatingAdd(entry.localHeaderAt, kLocalHeaderFixedSize + entry.rawName.size()), entry.compressedSize);
        if (entry.localHeaderAt >= plan.directoryAt || end > entry.limit)
            return Damaged("archive entry " + Quoted(entry.rawName) + ": its data overlaps " +
                (i + 1 < records->size() ? "the entry " + Quoted((*records)[i + 1].rawName) : "the central directory"));
    }
    plan.entries = std::move(*records);
    return {std::move(plan), std::nullopt, std::nullopt};
}

platform::Result<ArchivePlan, PlanError> ReadArchivePlan(const platform::ReadableFile& zip)
{
    const platform::Result<std::uint64_t> length = zip.Size();
    if (!length)
        return PlanError{PlanFault::Damaged,
            platform::SystemError(length.Failure().code, "cannot read the archive's length").Text()};
    std::uint64_t from = *length - std::min<std::uint64_t>(*length, kPlanTailSize);
    for (;;) {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(*length - from));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const platform::Result<std::size_t> read = zip.ReadAt(bytes.data() + got, bytes.size() - got, from + got);
            if (!read || *read == 0)
                return PlanError{PlanFault::Damaged, "cannot read the archive's central directory"};
            got += *read;
        }
        PlanOutcome outcome = BuildArchivePlan(bytes, *length);
        if (outcome.plan)
            return std::move(*outcome.plan);
        if (outcome.error)
            return std::move(*outcome.error);
        if (!outcome.needFrom || *outcome.needFrom >= from)
            return PlanError{PlanFault::Damaged, "the central directory cannot be placed"};
        from = *outcome.needFrom;
    }
}

std::size_t LocalHeaderSize(std::span<const unsigned char> fixedPart)
{
    if (fixedPart.size() < kLocalHeaderFixedSize || Little(fixedPart.data(), 4) != kLocalHeader)
        return 0;
    return kLocalHeaderFixedSize + Little(fixedPart.data() + 26, 2) + Little(fixedPart.data() + 28, 2);
}

platform::Result<std::uint64_t, std::string> CheckLocalHeader(
    const PlanEntry& entry, std::span<const unsigned char> header)
{
    const std::string named = "archive entry " + Quoted(entry.rawName) + ": ";
    const std::size_t size = LocalHeaderSize(header);
    if (size == 0)
        return named + "no local header where the central directory says";
    if (header.size() < size)
        return named + "the local header is cut short";
    const unsigned char* h = header.data();
    const std::size_t nameLength = Little(h + 26, 2);
    const std::string_view name(reinterpret_cast<const char*>(h + kLocalHeaderFixedSize), nameLength);
    if (name != entry.rawName)
        return named + "the local header names it " + Quoted(name);
    const auto flags = static_cast<std::uint16_t>(Little(h + 6, 2));
    if (Little(h + 8, 2) != entry.method)
        return named + "the local header gives another compression method";
    if ((flags & kSharedFlags) != (entry.flags & kSharedFlags))
        return named + "the local header has other flags";
    const std::uint64_t dataAt = entry.localHeaderAt + size;
    if (SaturatingAdd(dataAt, entry.compressedSize) > entry.limit)
        return named + "its data overlaps what follows it";
    if ((flags & kDataDescriptorFlag) != 0)
        return dataAt; // CRC and sizes follow the data
    if (Little(h + 14, 4) != entry.crc32)
        return named + "the local header holds another CRC";
    PlanEntry local;
    local.compressedSize = Little(h + 18, 4);
    local.size = Little(h + 22, 4);
    const bool zip64 = local.compressedSize == 0xFFFFFFFF || local.size == 0xFFFFFFFF;
    if (zip64) {
        // The local ZIP64 field holds both sizes.
        local.localHeaderOffset = 0;
        ApplyZip64Extra(h + kLocalHeaderFixedSize + nameLength, size - kLocalHeaderFixedSize - nameLength, local);
        if (local.compressedSize == 0xFFFFFFFF || local.size == 0xFFFFFFFF)
            return dataAt; // none given: the record's hold
    }
    if (local.compressedSize != entry.compressedSize || local.size != entry.size)
        return named + "the local header holds other sizes";
    return dataAt;
}

ArchiveByteSource FileByteSource(const platform::ReadableFile& file)
{
    return [&file](void* buffer, std::size_t size, std::uint64_t offset) { return file.ReadAt(buffer, size, offset); };
}

platform::Result<std::uint64_t, std::string> CheckLocalHeaderIn(const ArchiveByteSource& zip, const PlanEntry& entry)
{
    // The fixed part with the name the record gives, and a little of the extra field: one read
    // for almost every header.
    std::vector<unsigned char> header(kLocalHeaderFixedSize + entry.rawName.size() + 64);
    std::size_t got = 0;
    while (got < header.size()) {
        const platform::Result<std::size_t> read =
            zip(header.data() + got, header.size() - got, entry.localHeaderAt + got);
        if (!read || *read == 0)
            break;
        got += *read;
    }
    header.resize(got);
    const std::size_t size = LocalHeaderSize(header);
    if (size > got) {
        header.resize(size);
        while (got < size) {
            const platform::Result<std::size_t> read = zip(header.data() + got, size - got, entry.localHeaderAt + got);
            if (!read || *read == 0)
                break;
            got += *read;
        }
        header.resize(got);
    }
    return CheckLocalHeader(entry, header);
}

} // namespace extraction

#include "install/zip_central_directory.h"

#include <algorithm>

namespace extraction {
namespace {

constexpr std::uint32_t kEndOfCentralDirectory = 0x06054b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::uint32_t kZip64EndOfCentralDirectory = 0x06064b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
// Larger directories are not read; the extraction then keeps libarchive's own check.
constexpr std::uint64_t kLargestDirectory = 256u << 20;

std::uint64_t Little(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

bool ReadAt(const platform::ReadableFile& file, std::uint64_t offset, void* buffer, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        int error = 0;
        const std::optional<std::size_t> got = file.ReadAt(bytes, size, offset, error);
        if (!got || *got == 0)
            return false;
        bytes += *got;
        offset += *got;
        size -= *got;
    }
    return true;
}

} // namespace

std::optional<std::vector<CentralDirectoryEntry>> ReadCentralDirectory(const platform::ReadableFile& zip)
{
    int error = 0;
    const std::optional<std::uint64_t> size = zip.Size(error);
    if (!size)
        return std::nullopt;
    const std::uint64_t fileSize = *size;
    if (fileSize < kEndRecordSize)
        return std::nullopt;

    // The end record lies within the last 64 KiB and 22 bytes (its comment comes after it).
    const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kEndRecordSize + 0xFFFF);
    std::vector<unsigned char> tail(tailSize);
    if (!ReadAt(zip, fileSize - tailSize, tail.data(), tail.size()))
        return std::nullopt;
    std::optional<std::size_t> end;
    for (std::size_t at = tail.size() - kEndRecordSize + 1; at-- > 0;) {
        if (Little(&tail[at], 4) == kEndOfCentralDirectory &&
            at + kEndRecordSize + Little(&tail[at + 20], 2) == tail.size()) {
            end = at;
            break;
        }
    }
    if (!end)
        return std::nullopt;
    std::uint64_t count = Little(&tail[*end + 10], 2);
    std::uint64_t directorySize = Little(&tail[*end + 12], 4);
    std::uint64_t directoryOffset = Little(&tail[*end + 16], 4);
    const std::uint64_t endOffset = fileSize - tailSize + *end;
    // The directory ends where the end record begins, or with ZIP64 where its own record does.
    std::uint64_t directoryEnd = endOffset;
    if (endOffset >= kLocatorSize) {
        unsigned char locator[kLocatorSize];
        if (ReadAt(zip, endOffset - kLocatorSize, locator, sizeof locator) && Little(locator, 4) == kZip64Locator) {
            unsigned char record[56];
            if (!ReadAt(zip, Little(locator + 8, 8), record, sizeof record) ||
                Little(record, 4) != kZip64EndOfCentralDirectory)
                return std::nullopt;
            directoryEnd = Little(locator + 8, 8);
            count = Little(record + 32, 8);
            directorySize = Little(record + 40, 8);
            directoryOffset = Little(record + 48, 8);
        }
    }
    // Data prepended to the archive moves every offset by the same amount; the order stays.
    if (directorySize > kLargestDirectory || directorySize > directoryEnd)
        return std::nullopt;
    // Data before the archive shifts every offset stored in it by the same amount.
    const std::uint64_t storedDirectoryOffset = directoryOffset;
    directoryOffset = directoryEnd - directorySize; // as readers do when the two disagree
    std::vector<unsigned char> directory(directorySize);
    if (!ReadAt(zip, directoryOffset, directory.data(), directory.size()))
        return std::nullopt;

    std::vector<CentralDirectoryEntry> entries;
    std::size_t at = 0;
    while (at + kCentralHeaderSize <= directory.size() && Little(&directory[at], 4) == kCentralHeader) {
        const unsigned char* header = &directory[at];
        CentralDirectoryEntry entry;
        entry.crc32 = static_cast<std::uint32_t>(Little(header + 16, 4));
        const std::uint64_t compressed = Little(header + 20, 4);
        entry.compressedSize = compressed;
        entry.size = Little(header + 24, 4);
        entry.localHeaderOffset = Little(header + 42, 4);
        const std::size_t nameLength = Little(header + 28, 2);
        const std::size_t extraLength = Little(header + 30, 2);
        const std::size_t commentLength = Little(header + 32, 2);
        const std::size_t next = at + kCentralHeaderSize + nameLength + extraLength + commentLength;
        if (next > directory.size())
            return std::nullopt;
        entry.rawName.assign(reinterpret_cast<const char*>(header + kCentralHeaderSize), nameLength);
        // The ZIP64 field holds, in this order, the values whose 32-bit fields are all ones.
        const unsigned char* extra = header + kCentralHeaderSize + nameLength;
        for (std::size_t e = 0; e + 4 <= extraLength;) {
            const std::size_t length = Little(extra + e + 2, 2);
            if (e + 4 + length > extraLength)
                break;
            if (Little(extra + e, 2) == kZip64ExtraId) {
                const unsigned char* value = extra + e + 4;
                const unsigned char* valueEnd = value + length;
                for (std::uint64_t* field : {&entry.size, &entry.compressedSize, &entry.localHeaderOffset}) {
                    if (*field != 0xFFFFFFFF || valueEnd - value < 8)
                        continue;
                    *field = Little(value, 8);
                    value += 8;
                }
            }
            e += 4 + length;
        }
        entry.localHeaderAt = entry.localHeaderOffset + (directoryOffset - storedDirectoryOffset);
        entries.push_back(entry);
        at = next;
    }
    if (entries.size() != count)
        return std::nullopt;
    std::stable_sort(entries.begin(), entries.end(),
        [](const auto& a, const auto& b) { return a.localHeaderOffset < b.localHeaderOffset; });
    entries.erase(std::unique(entries.begin(), entries.end(),
                      [](const auto& a, const auto& b) { return a.localHeaderOffset == b.localHeaderOffset; }),
        entries.end());
    return entries;
}

std::optional<std::string> FindHeaderDisagreement(
    const platform::ReadableFile& zip, const std::vector<CentralDirectoryEntry>& entries)
{
    constexpr std::uint32_t kLocalHeader = 0x04034b50;
    constexpr std::size_t kLocalHeaderSize = 30;
    constexpr unsigned kDataDescriptorFlag = 1u << 3;
    for (const CentralDirectoryEntry& entry : entries) {
        const std::string named = "archive entry \"" + entry.rawName + "\": ";
        unsigned char header[kLocalHeaderSize];
        if (!ReadAt(zip, entry.localHeaderAt, header, sizeof header) || Little(header, 4) != kLocalHeader)
            return named + "no local header where the central directory says";
        std::string name(Little(header + 26, 2), '\0');
        if (!name.empty() && !ReadAt(zip, entry.localHeaderAt + kLocalHeaderSize, name.data(), name.size()))
            return named + "the local header's name is cut short";
        if (name != entry.rawName)
            return named + "the local header names it \"" + name + "\"";
        if ((Little(header + 6, 2) & kDataDescriptorFlag) != 0)
            continue; // CRC and sizes follow the data
        const std::uint64_t compressed = Little(header + 18, 4), size = Little(header + 22, 4);
        if (Little(header + 14, 4) != entry.crc32)
            return named + "the local header holds another CRC";
        const bool zip64 = compressed == 0xFFFFFFFF || size == 0xFFFFFFFF;
        if (!zip64 && (compressed != entry.compressedSize || size != entry.size))
            return named + "the local header holds other sizes";
    }
    return std::nullopt;
}

} // namespace extraction

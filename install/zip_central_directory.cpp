#include "install/zip_central_directory.h"

#include <algorithm>
#include <cstdio>
#include <memory>

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

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

bool ReadAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t size)
{
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(buffer, 1, size, file) == size;
}

} // namespace

std::optional<std::vector<CentralDirectoryEntry>> ReadCentralDirectory(const std::string& zipPath)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(zipPath.c_str(), "rb"));
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    const auto fileSize = static_cast<std::uint64_t>(ftello(file.get()));
    if (fileSize < kEndRecordSize)
        return std::nullopt;

    // The end record lies within the last 64 KiB and 22 bytes (its comment comes after it).
    const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kEndRecordSize + 0xFFFF);
    std::vector<unsigned char> tail(tailSize);
    if (!ReadAt(file.get(), fileSize - tailSize, tail.data(), tail.size()))
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
    if (endOffset >= kLocatorSize) {
        unsigned char locator[kLocatorSize];
        if (ReadAt(file.get(), endOffset - kLocatorSize, locator, sizeof locator) &&
            Little(locator, 4) == kZip64Locator) {
            unsigned char record[56];
            if (!ReadAt(file.get(), Little(locator + 8, 8), record, sizeof record) ||
                Little(record, 4) != kZip64EndOfCentralDirectory)
                return std::nullopt;
            count = Little(record + 32, 8);
            directorySize = Little(record + 40, 8);
            directoryOffset = Little(record + 48, 8);
        }
    }
    // Data prepended to the archive moves every offset by the same amount; the order stays.
    if (directorySize > kLargestDirectory || directorySize > endOffset)
        return std::nullopt;
    directoryOffset = endOffset - directorySize; // as readers do when the two disagree
    std::vector<unsigned char> directory(directorySize);
    if (!ReadAt(file.get(), directoryOffset, directory.data(), directory.size()))
        return std::nullopt;

    std::vector<CentralDirectoryEntry> entries;
    std::size_t at = 0;
    while (at + kCentralHeaderSize <= directory.size() && Little(&directory[at], 4) == kCentralHeader) {
        const unsigned char* header = &directory[at];
        CentralDirectoryEntry entry;
        entry.crc32 = static_cast<std::uint32_t>(Little(header + 16, 4));
        const std::uint64_t compressed = Little(header + 20, 4);
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
                for (std::uint64_t* field :
                    {&entry.size, static_cast<std::uint64_t*>(nullptr), &entry.localHeaderOffset}) {
                    const bool inExtra = field ? *field == 0xFFFFFFFF : compressed == 0xFFFFFFFF;
                    if (!inExtra || valueEnd - value < 8)
                        continue;
                    if (field)
                        *field = Little(value, 8);
                    value += 8;
                }
            }
            e += 4 + length;
        }
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

} // namespace extraction

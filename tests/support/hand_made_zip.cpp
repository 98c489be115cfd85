#include "hand_made_zip.h"

#include <array>
#include <fstream>
#include <stdexcept>

namespace {

void Put16(std::string& out, std::uint32_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

constexpr std::uint32_t kDosTime = (12u << 11) | (30u << 5); // 12:30:00
constexpr std::uint32_t kDosDate = ((2024u - 1980u) << 9) | (5u << 5) | 17u; // 2024-05-17

} // namespace

std::uint32_t Crc32(const std::string& data)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string HandMadeZipBytes(const std::vector<HandMadeZipEntry>& entries, std::optional<std::size_t> wrongCrcFor)
{
    std::string archive;
    std::string directory;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const HandMadeZipEntry& entry = entries[i];
        const std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
        const std::uint32_t crc = Crc32(entry.data) + (wrongCrcFor == i ? 1u : 0u);
        const std::uint32_t flags = entry.utf8Flag ? 0x0800 : 0;
        const auto size = static_cast<std::uint32_t>(entry.data.size());
        const auto nameLength = static_cast<std::uint32_t>(entry.rawName.size());

        Put32(archive, 0x04034B50);
        Put16(archive, 20); // version needed
        Put16(archive, flags);
        Put16(archive, 0); // stored
        Put16(archive, kDosTime);
        Put16(archive, kDosDate);
        Put32(archive, crc);
        Put32(archive, size);
        Put32(archive, size);
        Put16(archive, nameLength);
        Put16(archive, 0); // extra field length
        archive += entry.rawName;
        archive += entry.data;

        const bool isFolder = !entry.rawName.empty() && entry.rawName.back() == '/';
        std::uint32_t external = isFolder ? 0x10 : 0;
        if (entry.unixMode)
            external |= *entry.unixMode << 16;
        Put32(directory, 0x02014B50);
        Put16(directory, (entry.unixMode ? 3u << 8 : 0u) | 20u); // made by Unix or FAT
        Put16(directory, 20);
        Put16(directory, flags);
        Put16(directory, 0);
        Put16(directory, kDosTime);
        Put16(directory, kDosDate);
        Put32(directory, crc);
        Put32(directory, size);
        Put32(directory, size);
        Put16(directory, nameLength);
        Put16(directory, 0); // extra field length
        Put16(directory, 0); // comment length
        Put16(directory, 0); // disk number
        Put16(directory, 0); // internal attributes
        Put32(directory, external);
        Put32(directory, offset);
        directory += entry.rawName;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    Put32(archive, 0x06054B50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put16(archive, static_cast<std::uint32_t>(entries.size()));
    Put32(archive, static_cast<std::uint32_t>(directory.size()));
    Put32(archive, directoryOffset);
    Put16(archive, 0); // comment length
    return archive;
}

void WriteHandMadeZip(const std::filesystem::path& path, const std::vector<HandMadeZipEntry>& entries,
    std::optional<std::size_t> wrongCrcFor)
{
    std::ofstream out(path, std::ios::binary);
    out << HandMadeZipBytes(entries, wrongCrcFor);
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

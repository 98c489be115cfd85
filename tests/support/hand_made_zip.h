// ZIP archives written byte by byte, for what ordinary tools do not write: names in CP936
// without the UTF-8 flag, names with ".." or a leading slash, links, devices and FIFOs,
// damaged data. Every entry is stored (method 0).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct HandMadeZipEntry {
    HandMadeZipEntry(
        std::string name, std::string content, bool utf8 = false, std::optional<std::uint32_t> mode = std::nullopt)
        : rawName(std::move(name)), data(std::move(content)), utf8Flag(utf8), unixMode(mode)
    {
    }

    std::string rawName; // the bytes of the name as stored
    std::string data; // the stored content
    bool utf8Flag; // general-purpose bit 11
    std::optional<std::uint32_t> unixMode; // file type and permissions (made on Unix); none: made on FAT
};

std::uint32_t Crc32(const std::string& data);

// The archive's bytes. With wrongCrcFor set, that entry's CRC is stored off by one.
std::string HandMadeZipBytes(
    const std::vector<HandMadeZipEntry>& entries, std::optional<std::size_t> wrongCrcFor = std::nullopt);

void WriteHandMadeZip(const std::filesystem::path& path, const std::vector<HandMadeZipEntry>& entries,
    std::optional<std::size_t> wrongCrcFor = std::nullopt);

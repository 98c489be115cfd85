// CRC-32 (zlib's polynomial and value) of the bytes given to a file, kept per block as well, so that reading the
// file back can say where it first differs and not only that it does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The blocks both the checksum and the read-back use: block n covers the file's bytes from
// n × kChecksumBlockSize on. Large enough for fast reads from a stick, small enough that the
// list stays short (4 bytes a MiB).
inline constexpr std::size_t kChecksumBlockSize = 1024 * 1024;

// CRC-32 of one block as the read-back computes it.
std::uint32_t BlockCrc32(std::span<const std::byte> block);

class BlockChecksum {
public:
    // The next bytes of the file, in order.
    void Add(std::span<const std::byte> bytes);
    void Add(const void* data, std::size_t size) { Add({static_cast<const std::byte*>(data), size}); }

    std::uint64_t Size() const { return m_size; }
    // CRC-32 of everything added so far.
    std::uint32_t Crc32() const;
    // CRC-32 of each block added so far, the last one possibly partial; none for an empty file.
    std::vector<std::uint32_t> Blocks() const;

private:
    std::vector<std::uint32_t> m_blocks; // whole blocks
    std::uint32_t m_partial = 0; // CRC-32 of the bytes after the last whole block
    std::size_t m_partialSize = 0;
    std::uint64_t m_size = 0;
};

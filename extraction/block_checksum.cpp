#include "extraction/block_checksum.h"

#include <algorithm>

#include <isa-l/crc.h>
#include <zlib.h>

namespace {

// ISA-L's CRC-32 is zlib's polynomial, bit order and chaining (crc32_gzip_refl(crc, ...) ==
// crc32(crc, ...)), computed with carry-less multiplication: about four times as fast here,
// which keeps the checksum from slowing the writing and the read-back down.
std::uint32_t Extend(std::uint32_t crc, std::span<const std::byte> bytes)
{
    return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

} // namespace

std::uint32_t BlockCrc32(std::span<const std::byte> block) { return Extend(0, block); }

void BlockChecksum::Add(std::span<const std::byte> bytes)
{
    m_size += bytes.size();
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), kChecksumBlockSize - m_partialSize);
        m_partial = Extend(m_partial, bytes.first(take));
        m_partialSize += take;
        bytes = bytes.subspan(take);
        if (m_partialSize == kChecksumBlockSize) {
            m_blocks.push_back(m_partial);
            m_partial = 0;
            m_partialSize = 0;
        }
    }
}

std::uint32_t BlockChecksum::Crc32() const
{
    uLong crc = 0;
    for (const std::uint32_t block : m_blocks)
        crc = crc32_combine(crc, block, static_cast<z_off_t>(kChecksumBlockSize));
    if (m_partialSize > 0)
        crc = crc32_combine(crc, m_partial, static_cast<z_off_t>(m_partialSize));
    return static_cast<std::uint32_t>(crc);
}

std::vector<std::uint32_t> BlockChecksum::Blocks() const
{
    std::vector<std::uint32_t> blocks = m_blocks;
    if (m_partialSize > 0)
        blocks.push_back(m_partial);
    return blocks;
}

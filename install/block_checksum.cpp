#include "install/block_checksum.h"

#include <algorithm>
#include <limits>

#include <zlib.h>

namespace {

// zlib takes lengths as uInt; a block always fits, a caller's span might not.
std::uint32_t Extend(std::uint32_t crc, std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        const std::size_t take = std::min<std::size_t>(bytes.size(), std::numeric_limits<uInt>::max());
        crc = static_cast<std::uint32_t>(
            crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(take)));
        bytes = bytes.subspan(take);
    }
    return crc;
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

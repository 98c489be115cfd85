#include "extraction/read_back.h"

#include "extraction/block_checksum.h"
#include "platform/device_cache.h"
#include "platform/diagnostics.h"
#include "platform/uncached_read.h"

#include <algorithm>
#include <optional>

#include <zlib.h>

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// A root opened by its path must still be found there; one opened otherwise cannot be asked.
bool StillThere(const platform::FolderHandle& root) { return root.Path().empty() || root.StillInPlace(); }

// Compares one file block by block as it is read; remembers the first block that differs.
class FileComparison {
public:
    explicit FileComparison(const WrittenFile& file) : m_file(file) {}

    // False at the first block that differs: nothing after it needs reading.
    bool Block(std::span<const std::byte> block)
    {
        const std::uint32_t crc = BlockCrc32(block);
        m_whole = static_cast<std::uint32_t>(crc32_combine(m_whole, crc, static_cast<z_off_t>(block.size())));
        const std::size_t index = m_blocks++;
        m_read += block.size();
        const std::vector<std::uint32_t>& expected = m_file.blockCrc32;
        if (expected.empty())
            return m_read <= m_file.size; // only the whole file's CRC to compare with, at the end
        if (index >= expected.size() || crc != expected[index] || block.size() != ExpectedBlockSize(index)) {
            m_firstBadBlock = index;
            return false;
        }
        return true;
    }

    // Whether reading stopped at a block that differs (and the rest was not read).
    bool StoppedEarly() const { return m_firstBadBlock.has_value(); }

    // After the whole file was read: the offset of the first block that differs, if one does.
    std::optional<std::uint64_t> FirstDifference() const
    {
        if (m_firstBadBlock)
            return Offset(*m_firstBadBlock);
        if (!m_file.blockCrc32.empty() && m_blocks < m_file.blockCrc32.size())
            return Offset(m_blocks); // short: the first block missing
        if (m_read != m_file.size || m_whole != m_file.crc32)
            return std::uint64_t{0}; // without the block list only the whole file is known
        return std::nullopt;
    }

private:
    static std::uint64_t Offset(std::size_t block) { return static_cast<std::uint64_t>(block) * kChecksumBlockSize; }

    std::size_t ExpectedBlockSize(std::size_t index) const
    {
        const std::uint64_t start = Offset(index);
        const std::uint64_t left = m_file.size > start ? m_file.size - start : 0;
        return static_cast<std::size_t>(std::min<std::uint64_t>(left, kChecksumBlockSize));
    }

    const WrittenFile& m_file;
    std::uint32_t m_whole = 0;
    std::uint64_t m_read = 0;
    std::size_t m_blocks = 0;
    std::optional<std::size_t> m_firstBadBlock;
};

} // namespace

platform::Result<void, ReadBackFailure> VerifyWrittenFiles(const platform::FolderHandle& stickRoot,
    std::span<const WrittenFile> files, const ReadBackProgress& progress, const std::atomic<bool>* cancel)
{
    using Status = platform::UncachedReadResult::Status;
    std::uint64_t total = 0;
    for (const WrittenFile& file : files)
        total += file.size;
    std::uint64_t done = 0;
    if (progress)
        progress(done, total);

    // A FUSE file system on a block device reads through the device's own cache: it goes too,
    // or the files would be read back from what the kernel kept of the writing.
    if (const auto dropped = platform::DropBlockDeviceCache(stickRoot); !dropped)
        platform::WriteDiagnosticLine("read-back: the stick's device cache stays: " + dropped.Failure().Text());

    const auto stopped = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    platform::UncachedFileReader reader(kChecksumBlockSize);
    for (const WrittenFile& file : files) {
        if (stopped())
            return ReadBackFailure{ReadBackFailure::Side::Stopped, ""};
        FileComparison comparison(file);
        bool cancelled = false;
        const platform::UncachedReadResult read =
            reader.Read(stickRoot, file.path, [&](std::span<const std::byte> block) {
                if (!comparison.Block(block))
                    return false;
                done += block.size();
                if (progress)
                    progress(std::min(done, total), total);
                cancelled = stopped();
                return !cancelled;
            });
        if (cancelled)
            return ReadBackFailure{ReadBackFailure::Side::Stopped, ""};
        if (read.status == Status::Failed) {
            // As while writing: an I/O error is the stick gone only when its device leaves
            // within a short grace after the error.
            const bool gone = read.DeviceGone() || !StillThere(stickRoot) ||
                (platform::IsInputOutputError(read.error) &&
                    stickRoot.DeviceLeftWithin(platform::kDeviceDepartureGrace));
            const auto side = gone ? ReadBackFailure::Side::StickGone : ReadBackFailure::Side::Differs;
            return ReadBackFailure{side, "read-back failed: " + read.text};
        }
        if (const std::optional<std::uint64_t> offset = comparison.FirstDifference()) {
            // What the reading found counts: a size from cached attributes may still be the one
            // written.
            const std::uint64_t held =
                comparison.StoppedEarly() ? read.fileSize : std::min(read.fileSize, read.bytesRead);
            const std::string what = held < file.size
                ? " holds " + std::to_string(held) + " of the " + std::to_string(file.size) + " bytes written"
                : " differs from what was written";
            return ReadBackFailure{ReadBackFailure::Side::Differs,
                "read-back failed: " + Quoted(file.path) + what + ", first differing block at offset " +
                    std::to_string(*offset)};
        }
    }
    return {};
}

#include "session/growing_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

GrowingArchive::GrowingArchive(
    platform::ReadableFile part, std::uint64_t length, std::vector<unsigned char> tail, std::uint64_t present)
    : m_part(std::move(part)), m_length(length), m_tail(std::move(tail)),
      m_tailAt(length - std::min<std::uint64_t>(length, m_tail.size())), m_present(std::min(present, length))
{
}

void GrowingArchive::Grew(std::uint64_t bytesInFile)
{
    {
        const std::lock_guard lock(m_mutex);
        if (bytesInFile < m_present)
            m_startedAgain = true;
        m_present = std::min(bytesInFile, m_length);
    }
    m_changed.notify_all();
}

void GrowingArchive::Ended(bool whole)
{
    {
        const std::lock_guard lock(m_mutex);
        m_ended = true;
        if (!whole)
            m_stopped = true;
    }
    m_changed.notify_all();
}

void GrowingArchive::Stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
}

platform::Result<std::size_t> GrowingArchive::Read(void* buffer, std::size_t size, std::uint64_t offset)
{
    if (offset >= m_length || size == 0)
        return std::size_t{0};
    if (offset >= m_tailAt) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_length - offset));
        std::memcpy(buffer, m_tail.data() + (offset - m_tailAt), count);
        return count;
    }
    // Up to the tail at most, so that a read never waits for the part served from memory.
    const std::uint64_t wanted = std::min<std::uint64_t>(offset + size, m_tailAt);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_startedAgain || m_stopped || m_ended || m_present >= wanted; });
    if (m_startedAgain || m_stopped)
        return platform::SystemError(ECANCELED, "read the archive being downloaded");
    if (m_present <= offset)
        return platform::SystemError(EIO, "read the archive being downloaded");
    // Read under the lock: the file is emptied for a new start only after Grew has said so.
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, m_present) - offset);
    platform::Result<std::size_t> read = m_part.ReadAt(buffer, count, offset);
    if (read && *read == 0)
        return platform::SystemError(EIO, "read the archive being downloaded");
    return read;
}

bool GrowingArchive::StartedAgain() const
{
    const std::lock_guard lock(m_mutex);
    return m_startedAgain;
}

bool GrowingArchive::TailMatchesFile() const
{
    std::vector<unsigned char> bytes(m_tail.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const platform::Result<std::size_t> read =
            m_part.ReadAt(bytes.data() + done, bytes.size() - done, m_tailAt + done);
        if (!read || *read == 0)
            return false;
        done += *read;
    }
    return bytes == m_tail;
}

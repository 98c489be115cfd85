// The package archive while it is still being downloaded into "NAME.part", as the writing reads
// it: a read of bytes that are not there yet waits for the download (a cut download that goes
// on included), and the archive's tail, fetched before the body, is served from memory so that
// the ZIP reader never waits for the end to read the central directory. The lock here guards
// what the download has handed over to the writing.
#pragma once

#include "platform/folder_handle.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

class GrowingArchive {
public:
    // `part`: the file the download writes into, opened for reading; `length`: the archive's
    // whole length; `tail`: its last bytes, fetched first; `present`: the bytes the file
    // already holds of this archive (a download that goes on).
    GrowingArchive(
        platform::ReadableFile part, std::uint64_t length, std::vector<unsigned char> tail, std::uint64_t present);
    GrowingArchive(const GrowingArchive&) = delete;
    GrowingArchive& operator=(const GrowingArchive&) = delete;

    // Download thread: the body's bytes in the file now. A count below the one before is a new
    // start from byte 0: the reads that follow fail, the writing is over.
    void Grew(std::uint64_t bytesInFile);
    // The download ended: `whole` when every byte is in the file. A read still waiting then
    // gets what is there, or fails.
    void Ended(bool whole);
    // Any thread: waiting reads fail at once, and every later one.
    void Stop();

    // Reads up to `size` bytes at `offset`, waiting until they are in the file: how many were
    // read (0 only at the archive's end), or nullopt with an error number (the download started
    // again, failed or was stopped).
    platform::Result<std::size_t> Read(void* buffer, std::size_t size, std::uint64_t offset);

    // The download started again from byte 0 after the writing had begun reading.
    bool StartedAgain() const;
    // Once the whole body is in the file: the file's own last bytes are the tail fetched
    // first.
    bool TailMatchesFile() const;

private:
    const platform::ReadableFile m_part;
    const std::uint64_t m_length;
    const std::vector<unsigned char> m_tail;
    const std::uint64_t m_tailAt;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_present;
    bool m_ended = false;
    bool m_stopped = false;
    bool m_startedAgain = false;
};

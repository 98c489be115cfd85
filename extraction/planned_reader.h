// libarchive's seekable ZIP reader over an archive whose plan is made: it sees the archive as
// ending with the plan's end record, without a comment, so that it reads the directory the
// plan was made from whatever comment or bytes follow (libarchive looks for the end record
// only in the last few KiB). The bytes come from a source that reads at an offset, which may
// wait for bytes that are not there yet.
#pragma once

#include "extraction/archive_handles.h"
#include "extraction/zip_plan.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace extraction {

class PlannedReader {
public:
    // Names without the UTF-8 flag are read in the plan's charset; with `ownCrc` libarchive
    // leaves the CRC test to the caller.
    PlannedReader(ArchiveByteSource source, const ArchivePlan& plan, bool ownCrc);
    PlannedReader(const PlannedReader&) = delete;
    PlannedReader& operator=(const PlannedReader&) = delete;

    // nullptr when it could not be opened; Error() says why.
    archive* Get() const { return m_reader.get(); }
    const std::string& Error() const { return m_error; }
    // The system's error number of the last read that failed, 0 when none did.
    int ReadError() const { return m_readError; }

private:
    static la_ssize_t Read(archive*, void* self, const void** block);
    static la_int64_t Seek(archive*, void* self, la_int64_t offset, int whence);
    static la_int64_t Skip(archive*, void* self, la_int64_t request);

    ArchiveByteSource m_source;
    std::uint64_t m_end; // what the reader sees of the archive
    std::uint64_t m_commentLengthAt; // the end record's comment length, read as 0
    std::uint64_t m_position = 0;
    std::vector<unsigned char> m_block;
    int m_readError = 0;
    std::string m_error;
    ArchiveReader m_reader;
};

} // namespace extraction

// Writes folders and files beneath the stick's root through a handle on it, one path component
// at a time, never following a link and never making the root itself. Keeps the folders of the
// entry being written open (entries of one folder follow each other in archives), records each
// file it finished, and removes the file it was writing when that cannot be finished.
#pragma once

#include "extraction/block_checksum.h"
#include "extraction/device_push.h"
#include "extraction/written_file.h"
#include "platform/folder_handle.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace extraction {

// A failed file call on the stick is a platform::Error: its context says what was being done
// ("cannot create \"kelvoClient/a.txt\""), its code is the system's error number (0 when the
// failure is not the system's).

class StickWriter {
public:
    // `root` stays open and unchanged while the writer lives. What is written is pushed to
    // the device as it goes (extraction/device_push.h); `onFlushed` is told each time the bytes
    // on the device grow.
    explicit StickWriter(const platform::FolderHandle& root, std::function<void(std::uint64_t)> onFlushed = {});

    // The folder of an entry, with its parents; its time and permission bits are set by Finish.
    platform::Result<void> MakeFolder(
        const std::vector<std::string_view>& components, unsigned mode, const platform::FileTime& time);

    // A file: BeginFile, then WriteBlock in order of offset, then FinishFile; AbandonFile
    // removes it (cut to no bytes where it cannot be removed) when it cannot be finished.
    platform::Result<void> BeginFile(const std::vector<std::string_view>& components, unsigned mode);
    platform::Result<void> WriteBlock(const void* data, std::size_t size, std::uint64_t offset);
    platform::Result<void> FinishFile(const platform::FileTime& time);
    void AbandonFile();
    // The CRC-32 of the bytes of the file being written, so far.
    std::uint32_t CurrentCrc() const { return m_checksum.Crc32(); }
    std::uint64_t CurrentSize() const { return m_current.size; }

    // Times and permission bits of the folders made, then everything flushed to the device.
    platform::Result<void> Finish();
    // The bytes of the files written that are known to be on the device.
    std::uint64_t FlushedBytes() const { return m_push.Flushed(); }

    const std::vector<WrittenFile>& WrittenFiles() const { return m_written; }
    std::vector<WrittenFile> TakeWrittenFiles() { return std::move(m_written); }

private:
    struct OpenFolder {
        std::string name;
        platform::FolderHandle handle;
    };
    struct FolderToFinish {
        std::string path;
        unsigned mode = 0; // the permission bits to give it, or kKeepMode
        platform::FileTime time;
    };

    // Opens (making where missing) the folders of `components`, reusing the ones still open.
    platform::Result<const platform::FolderHandle*> EnterFolders(
        const std::vector<std::string_view>& components, std::size_t count);
    static std::string JoinedPath(const std::vector<std::string_view>& components, std::size_t count);

    const platform::FolderHandle& m_root;
    const unsigned m_creationMask;
    std::vector<OpenFolder> m_open; // the folders from the root down to the last one entered
    std::vector<FolderToFinish> m_foldersToFinish;
    std::vector<WrittenFile> m_written;
    DevicePush m_push;

    // The file being written.
    std::optional<platform::WritableFile> m_file;
    const platform::FolderHandle* m_fileFolder = nullptr;
    std::string m_fileName;
    WrittenFile m_current;
    BlockChecksum m_checksum;
};

} // namespace extraction

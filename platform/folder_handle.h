// Writing beneath one folder through a handle on it: every name is one path component taken
// relative to an open folder, links are never followed, and the folder the handle was opened
// on is never created. A folder that goes away (a pulled stick, a lazily unmounted file system)
// can then never send a write anywhere else, and a caller can ask cheaply whether the folder's
// path still leads to the folder it holds.
//
// Failures come as platform::Error: the system's error number (errno) with what was being done;
// FileErrorText says the number alone.
#pragma once

#include "platform/result.h"
#include "platform/system/file_descriptor.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The system's text for an error number ("No space left on device").
std::string FileErrorText(int error);

// True for the error numbers a file call gives when its device went away under it (no device,
// no medium, a file system whose server is gone).
bool IsDeviceGoneError(int error);
// True for an input/output error: the device failed, or went away under the call (StillInPlace
// and DevicePresent tell which).
bool IsInputOutputError(int error);

// A modification time in seconds and nanoseconds since 1970 (UTC).
struct FileTime {
    std::int64_t seconds = 0;
    long nanoseconds = 0;
};

class ReadableFile;
class FolderHandle;

// A regular file opened for writing, written from its start in order; closed when it goes.
// Made only by FolderHandle (opened, never empty); a moved-from one holds nothing.
class WritableFile {
public:
    WritableFile(WritableFile&&) noexcept = default;
    WritableFile& operator=(WritableFile&&) noexcept = default;

    // Writes all of `data`; fails with the system's error when it refused part of it.
    Result<void> Write(const void* data, std::size_t size);
    Result<void> SetModificationTime(const FileTime& time);
    // Cuts the file to no bytes (for a file whose writing failed and that cannot be removed);
    // what is written next goes at its start.
    Result<void> TruncateToEmpty();
    // The file's length now.
    Result<std::uint64_t> Size() const;
    // Closes now, reporting what the file system says at the close (some report late errors).
    Result<void> Close();
    // The same file opened once more, for reading (never another file at its name).
    Result<ReadableFile> ReopenForReading() const;

    // Pushing what was written to the device while the file is written, so that the page
    // cache never holds much more than the device (see FolderHandle::HowToPush).
    // StartPush starts writing the bytes of [offset, offset + length) out and returns at once;
    // WaitPushed returns once those bytes are on the device (starting what was not started).
    // Both fail with EINVAL or ENOSYS where the file system cannot push a range.
    Result<void> StartPush(std::uint64_t offset, std::uint64_t length);
    Result<void> WaitPushed(std::uint64_t offset, std::uint64_t length);
    // Returns once every byte written to the file is on the device (fdatasync).
    Result<void> FlushData();

private:
    friend class FolderHandle;
    explicit WritableFile(int descriptor) : m_fd(descriptor) {}

    FileDescriptor m_fd;
};

// A regular file opened for reading; closed when it goes. Made only by FolderHandle and
// WritableFile::ReopenForReading; a moved-from one holds nothing.
class ReadableFile {
public:
    ReadableFile(ReadableFile&&) noexcept = default;
    ReadableFile& operator=(ReadableFile&&) noexcept = default;

    // Up to `size` bytes; 0 at the end of the file.
    Result<std::size_t> Read(void* buffer, std::size_t size);
    // Up to `size` bytes from `offset` on, leaving the position that Read goes on from as it is.
    Result<std::size_t> ReadAt(void* buffer, std::size_t size, std::uint64_t offset) const;
    // Moves the position that Read goes on from back to the file's start.
    Result<void> Rewind();
    // The file's length now.
    Result<std::uint64_t> Size() const;
    // The descriptor, for a library that reads from one (it stays this object's to close).
    int Descriptor() const { return m_fd.get(); }

private:
    friend class FolderHandle;
    friend class WritableFile;
    friend class UncachedFileReader; // platform/uncached_read.h
    explicit ReadableFile(int descriptor) : m_fd(descriptor) {}

    FileDescriptor m_fd;
};

// How what is written to a file system is pushed to its device while it is written.
enum class WritePush {
    ByRange, // a kernel file system: WritableFile::StartPush and WaitPushed
    ByFlush, // FUSE over a block device (exfat-fuse, ntfs-3g): the daemon writes into the block
    // device's cache, and only WritableFile::FlushData of a whole file reaches the device
    Nothing, // FUSE without a block device: each write waits for the daemon, which holds it
};

// How much the file system holding a folder can still take, and in what units it hands it out.
struct FileSystemSpace {
    std::uint64_t availableBytes = 0; // to this process
    std::uint64_t allocationUnit = 0; // a file takes a whole number of these (the cluster)
};

// What is at a name beneath a folder now.
struct ExistingEntry {
    bool isFolder = false;
    std::uint64_t allocatedBytes = 0; // what its data takes on the device
};

// What a name inside a folder is, looked at without following it.
enum class EntryKind { Missing, Folder, File, Link, Other };

// Who owns a folder, and its permission bits (07777).
struct FolderStatus {
    unsigned owner = 0;
    unsigned permissions = 0;
    std::uint64_t device = 0; // the device number of the file system it lies on (st_dev)
};

// How long a failed call on a stick waits for the stick's device to leave (DeviceLeftWithin).
inline constexpr std::chrono::milliseconds kDeviceDepartureGrace{1000};

// An open folder. Made only by OpenExisting or by opening a folder inside another one; a
// moved-from one holds nothing.
class FolderHandle {
public:
    FolderHandle(FolderHandle&&) noexcept = default;
    FolderHandle& operator=(FolderHandle&&) noexcept = default;

    // Opens the folder at the native absolute path; it is never created. The path is kept for
    // StillInPlace.
    static Result<FolderHandle> OpenExisting(const std::string& nativePath);

    // The path the handle was opened on ("" for folders opened inside another).
    const std::string& Path() const { return m_path; }

    // True while the path the handle was opened on still leads to this very folder (same
    // device, same inode): one stat of the path.
    bool StillInPlace() const;
    // False once the block device holding the folder opened by OpenExisting has left the
    // system (a pulled stick); true on file systems without one.
    bool DevicePresent() const;
    // True when the block device holding the folder has left the system, now or within
    // `grace`: a disconnected stick's device goes a little after its first failed call (about
    // 130 ms after a USB disconnect), so an error is the stick pulled only if the device
    // follows it out. False at once on file systems without a block device.
    bool DeviceLeftWithin(std::chrono::milliseconds grace) const;
    // The device number of the file system holding the folder (st_dev).
    std::uint64_t Device() const { return m_device; }

    // The folder `name` inside this one, opened; made with `mode` (less the process's umask)
    // when missing, `*made` then true. A link, a file or anything else of that name fails
    // (ENOTDIR or ELOOP): nothing is followed. A folder another file system is mounted on fails
    // with EXDEV: nothing opened here leaves this folder's file system (the same for OpenFolder
    // and the files opened below).
    Result<FolderHandle> OpenOrMakeFolder(std::string_view name, unsigned mode, bool* made = nullptr) const;
    // The existing folder `name` inside this one, never following a link.
    Result<FolderHandle> OpenFolder(std::string_view name) const;

    // A new, empty regular file `name` inside this one, created with `mode` (less the umask).
    // Anything but a folder that had the name before is removed first (a link itself, never
    // what it points to); a folder of that name fails with EISDIR.
    Result<WritableFile> CreateFile(std::string_view name, unsigned mode) const;
    // A new regular file `name` inside this one, created with `mode` (less the umask) only when
    // nothing has the name: a link, a file or a folder of that name fails with EEXIST.
    Result<WritableFile> CreateNewFile(std::string_view name, unsigned mode) const;
    // The regular file `name` inside this one for reading, never following a link.
    Result<ReadableFile> OpenFile(std::string_view name) const;
    // The existing regular file `name` inside this one for writing on at its end (every write
    // appends, also after TruncateToEmpty), never following a link.
    Result<WritableFile> OpenFileForAppend(std::string_view name) const;
    // Renames the file `from` inside this one to `to` inside this one, replacing what has that
    // name (a link itself, never what it leads to).
    Result<void> RenameFile(std::string_view from, std::string_view to) const;
    // The regular file at `relativePath` ('/'-separated names, no "." or "..") beneath this
    // folder, one folder at a time, never following a link at any step: nothing outside this
    // folder can be reached.
    Result<ReadableFile> OpenFileBeneath(std::string_view relativePath) const;
    // Removes the file `name` inside this one.
    Result<void> RemoveFile(std::string_view name) const;

    // What `name` inside this one is (Missing when nothing is).
    Result<EntryKind> KindOf(std::string_view name) const;
    // This folder's owner, permission bits and file system.
    Result<FolderStatus> Status() const;

    // This folder's own modification time and permission bits.
    Result<void> SetModificationTime(const FileTime& time) const;
    Result<void> SetPermissions(unsigned mode) const;

    // The file system's free space and allocation unit (fstatvfs).
    Result<FileSystemSpace> Space() const;
    // What is at `relativePath` beneath this folder now, looked at without following a link;
    // nullopt when nothing is (or a folder on the way is missing or is no folder).
    std::optional<ExistingEntry> EntryBeneath(std::string_view relativePath) const;

    // Flushes everything written to this folder's file system to its device (syncfs).
    Result<void> FlushFileSystem() const;
    // How writes to this folder's file system are pushed to its device.
    WritePush HowToPush() const;

private:
    explicit FolderHandle(int descriptor) : m_fd(descriptor) {}
    // The folder `component` inside this one, on this folder's file system: a mount point
    // fails with EXDEV.
    Result<FolderHandle> OpenChildFolder(const std::string& component) const;

    FileDescriptor m_fd;
    std::string m_path;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
};

// The process's file-creation mask (umask), read without changing it.
unsigned CreationMask();
// The user the process acts as (its effective user id; 0 for root).
unsigned ProcessUserId();

} // namespace platform

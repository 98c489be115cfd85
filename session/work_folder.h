// The work folder on the download disk ("C:\kelvo\") that receives the package archive. The
// program writes there as root, so the folder is opened once, beneath the disk's root and
// without following a link, and taken only when nobody but root can change what is in it;
// the archive is then made, opened and removed through that handle, one name at a time,
// never through a link.
#pragma once

#include "net/file_downloader.h"
#include "platform/folder_handle.h"
#include "platform/result.h"

#include <optional>
#include <string>
#include <string_view>

// Why a work folder that is there is not used.
enum class WorkFolderProblem {
    None, // nothing wrong with it: it could not be opened or made (a missing disk, a file in
    // the way of a parent folder)
    Link,
    NotAFolder,
    NotOwnedByAdministrator, // owned by someone other than root (or the program's own user)
    WritableByOthers, // its group or everybody may write into it
};

// A download under way in the work folder: "NAME.part", and what is in it.
struct PartialDownload {
    platform::WritableFile file; // opened for appending
    std::uint64_t offset = 0; // the bytes already in it
    RemoteVersion version; // what they are the start of (from the record beside it)
};

struct WorkFolderFailure {
    WorkFolderProblem problem = WorkFolderProblem::None;
    platform::Error error; // the diagnostic line
};

class WorkFolder {
public:
    // `notTrustedBecause`: why what is found in the folder is not taken as the program's own
    // (empty when it is).
    WorkFolder(
        platform::FolderHandle folder, std::string path, std::string nativePath, std::string notTrustedBecause = {});

    const platform::FolderHandle& Handle() const { return m_folder; }
    // The letter path, ending with a backslash: "C:\kelvo\".
    const std::string& Path() const { return m_path; }
    // True when the folder lies on a disk the system owns (platform/system_disk.h): only there
    // is a part, an archive or a record found in it what this program left. Elsewhere whoever
    // owns the disk may have written anything, root-owned files included: nothing found is
    // gone on with or used again.
    bool TrustsWhatItHolds() const { return m_notTrustedBecause.empty(); }
    // The native path of the file `name` in it, for messages.
    std::string NativePathOf(std::string_view name) const;

    // A new, empty archive `name`, mode 0644 (less the umask): what had the name is removed
    // first (a link itself, never what it leads to), then the file is made only where nothing
    // has the name; something taking the name in between fails the call.
    platform::Result<platform::WritableFile> CreateArchive(std::string_view name) const;
    // Removes the file `name` (a link itself) and the record of its download; a name that is
    // not there is fine.
    platform::Result<void> RemoveArchive(std::string_view name) const;

    // The download of the archive `name` goes to "NAME.part", with the version it belongs to in
    // the record "NAME.part.record" beside it. A part whose record names `probed` (the same
    // length and validator) is opened to be written on, in a folder it TrustsWhatItHolds;
    // anything else of the names is removed and a new, empty part made. The archive `name`
    // itself and its record are removed first.
    platform::Result<PartialDownload> OpenPartialDownload(std::string_view name, const RemoteVersion& probed) const;
    // Writes the part's record: its bytes belong to `version`.
    platform::Result<void> RecordPartialDownload(std::string_view name, const RemoteVersion& version) const;
    // The whole download becomes the archive `name`, its record "NAME.record".
    platform::Result<void> FinishDownload(std::string_view name) const;
    // Removes the part and its record.
    void RemovePartialDownload(std::string_view name) const;
    // The record of the finished download that made the archive `name`; nullopt without one, or
    // in a folder that does not TrustsWhatItHolds.
    std::optional<RemoteVersion> FinishedDownload(std::string_view name) const;

private:
    platform::Result<void> Remove(const std::string& name) const;
    std::optional<RemoteVersion> ReadRecord(const std::string& name) const;

    platform::FolderHandle m_folder;
    std::string m_path;
    std::string m_nativePath;
    std::string m_notTrustedBecause;
};

// Opens the work folder at the letter path, making it (mode 0755, less the umask) and every
// missing parent beneath the disk's root, and checks it: a real folder, owned by root, that
// neither its group nor anybody else may write into. Whether what it holds is trusted comes
// from the file system it really lies on, whatever chose the letter.
platform::Result<WorkFolder, WorkFolderFailure> MakeWorkFolder(const std::string& workFolder);

// The name of the file at `path` when it lies directly in `folder` (a letter path ending with
// a backslash): "C:\kelvo\a.zip" in "C:\kelvo\" is "a.zip".
std::optional<std::string> NameInFolder(const std::string& folder, const std::string& path);

// What the user reads when the work folder at `workFolder` is refused for `problem`.
std::wstring WorkFolderRefusalText(const std::string& workFolder, WorkFolderProblem problem);

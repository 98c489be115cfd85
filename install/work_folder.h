// The work folder on the download disk ("C:\kelvo\") that receives the package archive. The
// program writes there as root, so the folder is opened once, beneath the disk's root and
// without following a link, and taken only when nobody but root can change what is in it;
// the archive is then made, opened and removed through that handle, one name at a time,
// never through a link.
#pragma once

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

struct WorkFolderFailure {
    WorkFolderProblem problem = WorkFolderProblem::None;
    platform::Error error; // the diagnostic line
};

class WorkFolder {
public:
    WorkFolder(platform::FolderHandle folder, std::string path, std::string nativePath);

    const platform::FolderHandle& Handle() const { return m_folder; }
    // The letter path, ending with a backslash: "C:\kelvo\".
    const std::string& Path() const { return m_path; }
    // The native path of the file `name` in it, for messages.
    std::string NativePathOf(std::string_view name) const;

    // A new, empty archive `name`, mode 0644 (less the umask): what had the name is removed
    // first (a link itself, never what it leads to), then the file is made only where nothing
    // has the name; something taking the name in between fails the call.
    platform::Result<platform::WritableFile> CreateArchive(std::string_view name) const;
    // Removes the file `name` (a link itself); a name that is not there is fine.
    platform::Result<void> RemoveArchive(std::string_view name) const;

private:
    platform::FolderHandle m_folder;
    std::string m_path;
    std::string m_nativePath;
};

// Opens the work folder at the letter path, making it (mode 0755, less the umask) and every
// missing parent beneath the disk's root, and checks it: a real folder, owned by root, that
// neither its group nor anybody else may write into.
platform::Result<WorkFolder, WorkFolderFailure> MakeWorkFolder(const std::string& workFolder);

// The name of the file at `path` when it lies directly in `folder` (a letter path ending with
// a backslash): "C:\kelvo\a.zip" in "C:\kelvo\" is "a.zip".
std::optional<std::string> NameInFolder(const std::string& folder, const std::string& path);

// What the user reads when the work folder at `workFolder` is refused for `problem`.
std::wstring WorkFolderRefusalText(const std::string& workFolder, WorkFolderProblem problem);

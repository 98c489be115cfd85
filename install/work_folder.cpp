#include "install/work_folder.h"

#include "platform/win32.h"
#include "ui/user_texts.h"

#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr unsigned kFolderMode = 0755;
constexpr unsigned kArchiveMode = 0644;
// Write permission for the folder's group and for everybody else.
constexpr unsigned kWritableByOthers = 022;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> Names(std::string_view path)
{
    std::vector<std::string> names;
    std::string name;
    for (const char c : path) {
        if (!IsSeparator(c)) {
            name += c;
        } else if (!name.empty()) {
            names.push_back(std::move(name));
            name.clear();
        }
    }
    if (!name.empty())
        names.push_back(std::move(name));
    return names;
}

platform::Result<WorkFolder, WorkFolderFailure> Refused(WorkFolderProblem problem, platform::Error error)
{
    return WorkFolderFailure{problem, std::move(error)};
}

// Why the last name of the path could not be opened as a folder, when it is there but unfit.
WorkFolderProblem ProblemOf(const platform::FolderHandle& parent, const std::string& name)
{
    int error = 0;
    switch (parent.KindOf(name, error).value_or(platform::EntryKind::Missing)) {
    case platform::EntryKind::Link:
        return WorkFolderProblem::Link;
    case platform::EntryKind::File:
    case platform::EntryKind::Other:
        return WorkFolderProblem::NotAFolder;
    default:
        return WorkFolderProblem::None;
    }
}

const wchar_t* ReasonText(WorkFolderProblem problem)
{
    switch (problem) {
    case WorkFolderProblem::Link:
        return text::kWorkFolderIsLink;
    case WorkFolderProblem::NotAFolder:
        return text::kWorkFolderNotAFolder;
    case WorkFolderProblem::NotOwnedByAdministrator:
        return text::kWorkFolderNotAdministrators;
    case WorkFolderProblem::WritableByOthers:
        return text::kWorkFolderWritableByOthers;
    case WorkFolderProblem::None:
        break;
    }
    return nullptr;
}

} // namespace

WorkFolder::WorkFolder(platform::FolderHandle folder, std::string path, std::string nativePath)
    : m_folder(std::move(folder)), m_path(std::move(path)), m_nativePath(std::move(nativePath))
{
}

std::string WorkFolder::NativePathOf(std::string_view name) const { return m_nativePath + "/" + std::string(name); }

platform::Result<platform::WritableFile> WorkFolder::CreateArchive(std::string_view name) const
{
    if (const platform::Result<void> removed = RemoveArchive(name); !removed)
        return removed.Failure();
    int error = 0;
    platform::WritableFile file = m_folder.CreateNewFile(name, kArchiveMode, error);
    if (!file.IsOpen())
        return platform::SystemError(error, "create " + NativePathOf(name));
    return file;
}

platform::Result<void> WorkFolder::RemoveArchive(std::string_view name) const
{
    int error = 0;
    if (m_folder.RemoveFile(name, error) || error == ENOENT)
        return {};
    return platform::SystemError(error, "remove " + NativePathOf(name));
}

platform::Result<WorkFolder, WorkFolderFailure> MakeWorkFolder(const std::string& workFolder)
{
    // "C:\kelvo\": the disk's root "C:", then the folders beneath it; a rooted path starts at "\".
    std::vector<std::string> names = Names(workFolder);
    std::string root = "\\";
    if (!names.empty() && names.front().size() == 2 && names.front()[1] == ':') {
        root = names.front();
        names.erase(names.begin());
    }
    const std::optional<std::string> nativeRoot = platform::NativePath(root);
    if (!nativeRoot || names.empty())
        return Refused(WorkFolderProblem::None, platform::SystemError(ENOENT, "open the work folder " + workFolder));

    int error = 0;
    platform::FolderHandle folder = platform::FolderHandle::OpenExisting(*nativeRoot, error);
    if (!folder.IsOpen())
        return Refused(WorkFolderProblem::None, platform::SystemError(error, "open " + *nativeRoot));
    std::string native = *nativeRoot;
    for (std::size_t i = 0; i < names.size(); ++i) {
        native += (native.ends_with('/') ? "" : "/") + names[i];
        bool made = false;
        platform::FolderHandle next = folder.OpenOrMakeFolder(names[i], kFolderMode, made, error);
        if (!next.IsOpen()) {
            const WorkFolderProblem problem =
                i + 1 == names.size() ? ProblemOf(folder, names[i]) : WorkFolderProblem::None;
            const char* what =
                problem == WorkFolderProblem::Link ? "the work folder is a link: open " : "open or make the folder ";
            return Refused(problem, platform::SystemError(error, what + native));
        }
        folder = std::move(next);
    }

    platform::FolderStatus status;
    if (!folder.Status(status, error))
        return Refused(WorkFolderProblem::None, platform::SystemError(error, "look at the work folder " + native));
    if (status.owner != 0 && status.owner != platform::ProcessUserId())
        return Refused(WorkFolderProblem::NotOwnedByAdministrator,
            platform::SystemError(0, "the work folder " + native + " belongs to user " + std::to_string(status.owner)));
    if ((status.permissions & kWritableByOthers) != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", status.permissions);
        return Refused(WorkFolderProblem::WritableByOthers,
            platform::SystemError(0, "the work folder " + native + " may be written by others (mode " + mode + ")"));
    }
    return WorkFolder(std::move(folder), workFolder, native);
}

std::optional<std::string> NameInFolder(const std::string& folder, const std::string& path)
{
    if (!path.starts_with(folder) || path.size() == folder.size())
        return std::nullopt;
    std::string name = path.substr(folder.size());
    for (const char c : name) {
        if (IsSeparator(c))
            return std::nullopt;
    }
    return name;
}

std::wstring WorkFolderRefusalText(const std::string& workFolder, WorkFolderProblem problem)
{
    const wchar_t* reason = ReasonText(problem);
    if (!reason)
        return text::kWorkFolderFailed;
    std::string shown = workFolder;
    while (shown.size() > 3 && IsSeparator(shown.back()))
        shown.pop_back();
    return text::WorkFolderUnsafe(platform::Widen(shown), reason);
}

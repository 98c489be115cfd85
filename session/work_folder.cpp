#include "session/work_folder.h"

#include "platform/diagnostics.h"
#include "platform/system_disk.h"
#include "platform/win32.h"
#include "ui/user_texts.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr unsigned kFolderMode = 0755;
constexpr unsigned kArchiveMode = 0644;
constexpr const char* kPartSuffix = ".part";
constexpr const char* kRecordSuffix = ".record";
constexpr std::size_t kLargestRecord = 1024;
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
    const platform::Result<platform::EntryKind> kind = parent.KindOf(name);
    switch (kind ? *kind : platform::EntryKind::Missing) {
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

WorkFolder::WorkFolder(
    platform::FolderHandle folder, std::string path, std::string nativePath, std::string notTrustedBecause)
    : m_folder(std::move(folder)), m_path(std::move(path)), m_nativePath(std::move(nativePath)),
      m_notTrustedBecause(std::move(notTrustedBecause))
{
}

std::string WorkFolder::NativePathOf(std::string_view name) const { return m_nativePath + "/" + std::string(name); }

platform::Result<platform::WritableFile> WorkFolder::CreateArchive(std::string_view name) const
{
    if (const platform::Result<void> removed = RemoveArchive(name); !removed)
        return removed.Failure();
    platform::Result<platform::WritableFile> file = m_folder.CreateNewFile(name, kArchiveMode);
    if (!file)
        return platform::SystemError(file.Failure().code, "create " + NativePathOf(name));
    return file;
}

platform::Result<void> WorkFolder::Remove(const std::string& name) const
{
    const platform::Result<void> removed = m_folder.RemoveFile(name);
    if (removed || removed.Failure().code == ENOENT)
        return {};
    return platform::SystemError(removed.Failure().code, "remove " + NativePathOf(name));
}

platform::Result<void> WorkFolder::RemoveArchive(std::string_view name) const
{
    // A record left behind would vouch for whatever comes to have the name next.
    INSTALLER_TRY(Remove(std::string(name) + kRecordSuffix));
    return Remove(std::string(name));
}

std::optional<RemoteVersion> WorkFolder::ReadRecord(const std::string& name) const
{
    platform::Result<platform::ReadableFile> file = m_folder.OpenFile(name);
    if (!file)
        return std::nullopt;
    std::string content;
    char buffer[kLargestRecord];
    while (content.size() < kLargestRecord) {
        const platform::Result<std::size_t> got = file->Read(buffer, sizeof buffer);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            break;
        content.append(buffer, *got);
    }
    // "validator\nlength\n"
    const std::size_t first = content.find('\n');
    if (first == std::string::npos || !content.ends_with('\n'))
        return std::nullopt;
    const std::string length = content.substr(first + 1, content.size() - first - 2);
    std::int64_t value = -1;
    const auto [end, problem] = std::from_chars(length.data(), length.data() + length.size(), value);
    if (problem != std::errc() || end != length.data() + length.size() || value < 0)
        return std::nullopt;
    return RemoteVersion{content.substr(0, first), value};
}

platform::Result<PartialDownload> WorkFolder::OpenPartialDownload(
    std::string_view name, const RemoteVersion& probed) const
{
    if (const platform::Result<void> removed = RemoveArchive(name); !removed)
        return removed.Failure();
    const std::string part = std::string(name) + kPartSuffix;
    const std::string record = part + kRecordSuffix;
    const std::optional<RemoteVersion> recorded = TrustsWhatItHolds() ? ReadRecord(record) : std::nullopt;
    if (recorded && probed.length > 0 && !probed.validator.empty() && *recorded == probed) {
        if (platform::Result<platform::WritableFile> file = m_folder.OpenFileForAppend(part)) {
            const platform::Result<std::uint64_t> size = file->Size();
            if (size && *size <= static_cast<std::uint64_t>(probed.length))
                return PartialDownload{std::move(file).Value(), *size, *recorded};
        }
    }
    // Bytes of another version, or nothing known about them; a record left behind would say
    // the new part's bytes are of the version it names.
    INSTALLER_TRY(Remove(record));
    INSTALLER_TRY(Remove(part));
    platform::Result<platform::WritableFile> file = m_folder.CreateNewFile(part, kArchiveMode);
    if (!file)
        return platform::SystemError(file.Failure().code, "Failed to open file for writing. " + NativePathOf(part));
    return PartialDownload{std::move(file).Value(), 0, {}};
}

platform::Result<void> WorkFolder::RecordPartialDownload(std::string_view name, const RemoteVersion& version) const
{
    const std::string record = std::string(name) + kPartSuffix + kRecordSuffix;
    std::string validator = version.validator;
    std::erase_if(validator, [](char c) { return c == '\n' || c == '\r'; });
    const std::string content = validator + "\n" + std::to_string(version.length) + "\n";
    const auto failed = [&](const platform::Error& error) {
        return platform::SystemError(error.code, "write " + NativePathOf(record));
    };
    platform::Result<platform::WritableFile> file = m_folder.CreateFile(record, kArchiveMode);
    if (!file)
        return failed(file.Failure());
    if (const platform::Result<void> written = file->Write(content.data(), content.size()); !written)
        return failed(written.Failure());
    if (const platform::Result<void> closed = file->Close(); !closed)
        return failed(closed.Failure());
    return {};
}

platform::Result<void> WorkFolder::FinishDownload(std::string_view name) const
{
    const std::string part = std::string(name) + kPartSuffix;
    if (const platform::Result<void> renamed = m_folder.RenameFile(part, name); !renamed)
        return platform::SystemError(renamed.Failure().code, "rename " + NativePathOf(part));
    // Without a record the archive is still used, only checked in full first.
    (void)m_folder.RenameFile(part + kRecordSuffix, std::string(name) + kRecordSuffix);
    return {};
}

void WorkFolder::RemovePartialDownload(std::string_view name) const
{
    // What cannot be removed now is removed when the next download of the name begins.
    const std::string part = std::string(name) + kPartSuffix;
    (void)Remove(part + kRecordSuffix);
    (void)Remove(part);
}

std::optional<RemoteVersion> WorkFolder::FinishedDownload(std::string_view name) const
{
    if (!TrustsWhatItHolds())
        return std::nullopt;
    return ReadRecord(std::string(name) + kRecordSuffix);
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

    platform::Result<platform::FolderHandle> opened = platform::FolderHandle::OpenExisting(*nativeRoot);
    if (!opened)
        return Refused(WorkFolderProblem::None, platform::SystemError(opened.Failure().code, "open " + *nativeRoot));
    platform::FolderHandle folder = std::move(opened).Value();
    std::string native = *nativeRoot;
    for (std::size_t i = 0; i < names.size(); ++i) {
        native += (native.ends_with('/') ? "" : "/") + names[i];
        platform::Result<platform::FolderHandle> next = folder.OpenOrMakeFolder(names[i], kFolderMode);
        if (!next) {
            const WorkFolderProblem problem =
                i + 1 == names.size() ? ProblemOf(folder, names[i]) : WorkFolderProblem::None;
            const char* what =
                problem == WorkFolderProblem::Link ? "the work folder is a link: open " : "open or make the folder ";
            return Refused(problem, platform::SystemError(next.Failure().code, what + native));
        }
        folder = std::move(next).Value();
    }

    const platform::Result<platform::FolderStatus> looked = folder.Status();
    if (!looked)
        return Refused(
            WorkFolderProblem::None, platform::SystemError(looked.Failure().code, "look at the work folder " + native));
    const platform::FolderStatus& status = *looked;
    if (status.owner != 0 && status.owner != platform::ProcessUserId())
        return Refused(WorkFolderProblem::NotOwnedByAdministrator,
            platform::SystemError(0, "the work folder " + native + " belongs to user " + std::to_string(status.owner)));
    if ((status.permissions & kWritableByOthers) != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", status.permissions);
        return Refused(WorkFolderProblem::WritableByOthers,
            platform::SystemError(0, "the work folder " + native + " may be written by others (mode " + mode + ")"));
    }
    std::string notTrusted = platform::WhyFileSystemIsNotTheSystems(status.device);
    if (!notTrusted.empty())
        platform::WriteDiagnosticLine(
            "nothing found in the work folder " + native + " is used again: its file system is " + notTrusted);
    return WorkFolder(std::move(folder), workFolder, native, std::move(notTrusted));
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

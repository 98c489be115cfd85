#include "extraction/stick_writer.h"

#include "extraction/zip_names.h"

#include <algorithm>
#include <limits>

namespace extraction {
namespace {

// Folders are made open to their owner, so that the files beneath them can be written; the
// permission bits an entry asks for come last.
constexpr unsigned kFolderCreationMode = 0777;
constexpr unsigned kKeepMode = std::numeric_limits<unsigned>::max();

std::string Quoted(std::string_view name) { return "\"" + PrintableName(name) + "\""; }

// A failed file call, said as what the writer was doing, with the system's error number.
template <class T>
platform::Error Failed(const platform::Result<T>& result, std::string what)
{
    return platform::Error{result.Failure().code, std::move(what)};
}

// The folder at the '/'-separated `path` beneath `root`, one name at a time.
platform::Result<platform::FolderHandle> OpenBeneath(const platform::FolderHandle& root, std::string_view path)
{
    const std::size_t slash = path.find('/');
    INSTALLER_TRY_ASSIGN(folder, root.OpenFolder(path.substr(0, slash)));
    if (slash == std::string_view::npos)
        return folder;
    return OpenBeneath(folder, path.substr(slash + 1));
}

} // namespace

StickWriter::StickWriter(const platform::FolderHandle& root, std::function<void(std::uint64_t)> onFlushed)
    : m_root(root), m_creationMask(platform::CreationMask()), m_push(root, std::move(onFlushed))
{
}

std::string StickWriter::JoinedPath(const std::vector<std::string_view>& components, std::size_t count)
{
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            path += '/';
        path += components[i];
    }
    return path;
}

platform::Result<const platform::FolderHandle*> StickWriter::EnterFolders(
    const std::vector<std::string_view>& components, std::size_t count)
{
    std::size_t kept = 0;
    while (kept < m_open.size() && kept < count && m_open[kept].name == components[kept])
        ++kept;
    m_open.erase(m_open.begin() + static_cast<std::ptrdiff_t>(kept), m_open.end());
    for (std::size_t i = kept; i < count; ++i) {
        const platform::FolderHandle& parent = i == 0 ? m_root : m_open.back().handle;
        platform::Result<platform::FolderHandle> folder = parent.OpenOrMakeFolder(components[i], kFolderCreationMode);
        if (!folder)
            return Failed(folder, "cannot make the folder " + Quoted(JoinedPath(components, i + 1)));
        m_open.push_back({std::string(components[i]), std::move(folder).Value()});
    }
    return count == 0 ? &m_root : &m_open.back().handle;
}

platform::Result<void> StickWriter::MakeFolder(
    const std::vector<std::string_view>& components, unsigned mode, const platform::FileTime& time)
{
    INSTALLER_TRY(EnterFolders(components, components.size()));
    // Bits that the umask takes away stay away; a folder closed to its owner is only closed
    // once everything beneath it is written.
    const unsigned wanted = mode & ~m_creationMask;
    const bool madeAsWanted = wanted == (kFolderCreationMode & ~m_creationMask);
    m_foldersToFinish.push_back({JoinedPath(components, components.size()), madeAsWanted ? kKeepMode : wanted, time});
    return {};
}

platform::Result<void> StickWriter::BeginFile(const std::vector<std::string_view>& components, unsigned mode)
{
    INSTALLER_TRY_ASSIGN(folder, EnterFolders(components, components.size() - 1));
    m_current = WrittenFile{JoinedPath(components, components.size()), 0, 0, {}};
    platform::Result<platform::WritableFile> file = folder->CreateFile(components.back(), mode);
    if (!file)
        return Failed(file, "cannot create " + Quoted(m_current.path));
    m_file.emplace(std::move(file).Value());
    m_fileFolder = folder;
    m_fileName = components.back();
    m_checksum = BlockChecksum();
    m_push.BeginFile();
    return {};
}

platform::Result<void> StickWriter::WriteBlock(const void* data, std::size_t size, std::uint64_t offset)
{
    // Archives hand out the bytes in order; a gap is written as zeros.
    static const char zeros[64 * 1024] = {};
    while (m_current.size < offset) {
        const std::size_t gap =
            static_cast<std::size_t>(std::min<std::uint64_t>(offset - m_current.size, sizeof zeros));
        INSTALLER_TRY(WriteBlock(zeros, gap, m_current.size));
    }
    if (offset < m_current.size)
        return platform::Error{
            0, "cannot write " + Quoted(m_current.path) + ": the archive gave its bytes out of order"};
    if (const platform::Result<void> written = m_file->Write(data, size); !written)
        return Failed(written, "cannot write " + Quoted(m_current.path));
    m_checksum.Add(data, size);
    m_current.size += size;
    if (const platform::Result<void> pushed = m_push.Written(*m_file, m_current.size); !pushed)
        return Failed(pushed, "cannot write " + Quoted(m_current.path) + " out to the stick");
    return {};
}

platform::Result<void> StickWriter::FinishFile(const platform::FileTime& time)
{
    if (const platform::Result<void> pushed = m_push.FileComplete(*m_file, m_current.size); !pushed)
        return Failed(pushed, "cannot write " + Quoted(m_current.path) + " out to the stick");
    // As before, a file system that keeps no times (or refuses them) is no failure.
    (void)m_file->SetModificationTime(time);
    if (const platform::Result<void> closed = m_file->Close(); !closed)
        return Failed(closed, "cannot finish " + Quoted(m_current.path));
    m_file.reset();
    m_fileFolder = nullptr;
    m_current.crc32 = m_checksum.Crc32();
    m_current.blockCrc32 = m_checksum.Blocks();
    m_written.push_back(std::move(m_current));
    return {};
}

void StickWriter::AbandonFile()
{
    if (!m_fileFolder)
        return;
    // Each step is a best effort: the failure that led here is the one reported.
    if (!m_fileFolder->RemoveFile(m_fileName) && m_file)
        (void)m_file->TruncateToEmpty();
    if (m_file)
        (void)m_file->Close();
    m_file.reset();
    m_fileFolder = nullptr;
}

platform::Result<void> StickWriter::Finish()
{
    m_open.clear();
    // Deepest first, so that closing a folder to its owner comes after what lies beneath it.
    std::sort(m_foldersToFinish.begin(), m_foldersToFinish.end(),
        [](const FolderToFinish& a, const FolderToFinish& b) { return a.path.size() > b.path.size(); });
    for (const FolderToFinish& folder : m_foldersToFinish) {
        if (folder.path.empty())
            continue;
        platform::Result<platform::FolderHandle> handle = OpenBeneath(m_root, folder.path);
        if (!handle)
            return Failed(handle, "cannot open the folder " + Quoted(folder.path));
        // As with files, a file system that keeps no times or permission bits is no failure.
        if (folder.mode != kKeepMode)
            (void)handle->SetPermissions(folder.mode);
        (void)handle->SetModificationTime(folder.time);
    }
    if (const platform::Result<void> flushed = m_root.FlushFileSystem(); !flushed)
        return Failed(flushed, "cannot flush the stick");
    m_push.AllFlushed();
    return {};
}

} // namespace extraction

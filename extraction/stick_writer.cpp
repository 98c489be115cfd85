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

const platform::FolderHandle* StickWriter::EnterFolders(
    const std::vector<std::string_view>& components, std::size_t count, StickError& error)
{
    std::size_t kept = 0;
    while (kept < m_open.size() && kept < count && m_open[kept].name == components[kept])
        ++kept;
    m_open.resize(kept);
    for (std::size_t i = kept; i < count; ++i) {
        const platform::FolderHandle& parent = i == 0 ? m_root : m_open.back().handle;
        bool made = false;
        platform::FolderHandle folder = parent.OpenOrMakeFolder(components[i], kFolderCreationMode, made, error.code);
        if (!folder.IsOpen()) {
            error.what = "cannot make the folder " + Quoted(JoinedPath(components, i + 1));
            return nullptr;
        }
        m_open.push_back({std::string(components[i]), std::move(folder)});
    }
    return count == 0 ? &m_root : &m_open.back().handle;
}

bool StickWriter::MakeFolder(
    const std::vector<std::string_view>& components, unsigned mode, const platform::FileTime& time, StickError& error)
{
    if (!EnterFolders(components, components.size(), error))
        return false;
    // Bits that the umask takes away stay away; a folder closed to its owner is only closed
    // once everything beneath it is written.
    const unsigned wanted = mode & ~m_creationMask;
    const bool madeAsWanted = wanted == (kFolderCreationMode & ~m_creationMask);
    m_foldersToFinish.push_back({JoinedPath(components, components.size()), madeAsWanted ? kKeepMode : wanted, time});
    return true;
}

bool StickWriter::BeginFile(const std::vector<std::string_view>& components, unsigned mode, StickError& error)
{
    const platform::FolderHandle* folder = EnterFolders(components, components.size() - 1, error);
    if (!folder)
        return false;
    m_current = WrittenFile{JoinedPath(components, components.size()), 0, 0, {}};
    m_file = folder->CreateFile(components.back(), mode, error.code);
    if (!m_file.IsOpen()) {
        error.what = "cannot create " + Quoted(m_current.path);
        return false;
    }
    m_fileFolder = folder;
    m_fileName = components.back();
    m_checksum = BlockChecksum();
    m_push.BeginFile();
    return true;
}

bool StickWriter::WriteBlock(const void* data, std::size_t size, std::uint64_t offset, StickError& error)
{
    // Archives hand out the bytes in order; a gap is written as zeros.
    static const char zeros[64 * 1024] = {};
    while (m_current.size < offset) {
        const std::size_t gap =
            static_cast<std::size_t>(std::min<std::uint64_t>(offset - m_current.size, sizeof zeros));
        if (!WriteBlock(zeros, gap, m_current.size, error))
            return false;
    }
    if (offset < m_current.size) {
        error = {"cannot write " + Quoted(m_current.path) + ": the archive gave its bytes out of order", 0};
        return false;
    }
    if (!m_file.Write(data, size, error.code)) {
        error.what = "cannot write " + Quoted(m_current.path);
        return false;
    }
    m_checksum.Add(data, size);
    m_current.size += size;
    if (!m_push.Written(m_file, m_current.size, error.code)) {
        error.what = "cannot write " + Quoted(m_current.path) + " out to the stick";
        return false;
    }
    return true;
}

bool StickWriter::FinishFile(const platform::FileTime& time, StickError& error)
{
    if (!m_push.FileComplete(m_file, m_current.size, error.code)) {
        error.what = "cannot write " + Quoted(m_current.path) + " out to the stick";
        return false;
    }
    int ignored = 0;
    // As before, a file system that keeps no times (or refuses them) is no failure.
    m_file.SetModificationTime(time, ignored);
    if (!m_file.Close(error.code)) {
        error.what = "cannot finish " + Quoted(m_current.path);
        return false;
    }
    m_fileFolder = nullptr;
    m_current.crc32 = m_checksum.Crc32();
    m_current.blockCrc32 = m_checksum.Blocks();
    m_written.push_back(std::move(m_current));
    return true;
}

void StickWriter::AbandonFile()
{
    if (!m_fileFolder)
        return;
    int ignored = 0;
    if (!m_fileFolder->RemoveFile(m_fileName, ignored) && m_file.IsOpen())
        m_file.TruncateToEmpty(ignored);
    m_file.Close(ignored);
    m_fileFolder = nullptr;
}

bool StickWriter::Finish(StickError& error)
{
    m_open.clear();
    // Deepest first, so that closing a folder to its owner comes after what lies beneath it.
    std::sort(m_foldersToFinish.begin(), m_foldersToFinish.end(),
        [](const FolderToFinish& a, const FolderToFinish& b) { return a.path.size() > b.path.size(); });
    for (const FolderToFinish& folder : m_foldersToFinish) {
        platform::FolderHandle handle;
        const platform::FolderHandle* at = &m_root;
        std::size_t start = 0;
        while (start < folder.path.size()) {
            std::size_t end = folder.path.find('/', start);
            if (end == std::string::npos)
                end = folder.path.size();
            handle = at->OpenFolder(std::string_view(folder.path).substr(start, end - start), error.code);
            if (!handle.IsOpen()) {
                error.what = "cannot open the folder " + Quoted(folder.path);
                return false;
            }
            at = &handle;
            start = end + 1;
        }
        int ignored = 0;
        if (folder.mode != kKeepMode)
            handle.SetPermissions(folder.mode, ignored);
        handle.SetModificationTime(folder.time, ignored);
    }
    if (!m_root.FlushFileSystem(error.code)) {
        error.what = "cannot flush the stick";
        return false;
    }
    m_push.AllFlushed();
    return true;
}

} // namespace extraction

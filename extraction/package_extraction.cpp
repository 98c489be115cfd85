// The entry points of the extraction: letter paths made native, the file system told, every
// failure (an exception too) made one line of text.
#include "extraction/zip_extraction.h"

#include "platform/win32_drives.h"
#include "platform/win32_files.h"
#include "platform/win32_strings.h"

#include <exception>
#include <optional>

std::uint64_t g_extractTotalBytes = 0;

namespace {

// Messages are printed as one line; library texts are not trusted to be one.
void KeepOnOneLine(std::string& message)
{
    for (char& c : message) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
}

// The file system name the drive of a letter path reports ("FAT32", "exFAT"); empty for a
// rooted path or a drive that does not say.
std::wstring FileSystemNameOf(const std::wstring& destinationRoot)
{
    if (destinationRoot.size() < 2 || destinationRoot[1] != L':')
        return std::wstring();
    const std::wstring root = destinationRoot.substr(0, 2) + L"\\";
    wchar_t name[64] = {};
    if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, 64))
        return std::wstring();
    return name;
}

ExtractionResult Extract(const ArchiveInFolder& archive, const std::wstring& destinationRoot,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel, std::uint64_t* totalOut,
    const extraction::ArchivePlan* plan = nullptr, const extraction::ArchiveByteSource* source = nullptr)
{
    using extraction::Quoted;
    ExtractionResult result;
    try {
        const std::optional<std::string> nativeDestination = platform::NativePath(destinationRoot);
        if (!nativeDestination) {
            // A letter without a volume: the stick is no longer there.
            result.failure = ExtractFailure::StickPulled;
            result.error =
                "cannot extract into " + Quoted(platform::Narrow(destinationRoot)) + ": no such volume or path";
        } else {
            const bool fat32 = FileSystemNameOf(destinationRoot) == L"FAT32";
            extraction::RunZipExtraction(
                archive, *nativeDestination, fat32, progress, cancel, totalOut, plan, source, result);
        }
    } catch (const std::exception& failure) {
        result.failure = ExtractFailure::StickWrite;
        result.error = std::string("extraction failed: ") + failure.what();
    } catch (...) {
        result.failure = ExtractFailure::StickWrite;
        result.error = "extraction failed";
    }
    KeepOnOneLine(result.error);
    return result;
}

ExtractionResult ArchiveUnreadable(std::string error)
{
    ExtractionResult result;
    result.failure = ExtractFailure::ArchiveUnreadable;
    result.error = std::move(error);
    KeepOnOneLine(result.error);
    return result;
}

} // namespace

ExtractionResult ExtractZipArchive(const ArchiveInFolder& archive, const std::wstring& destinationRoot,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel)
{
    return Extract(archive, destinationRoot, progress, cancel, &g_extractTotalBytes);
}

ExtractionResult ExtractZipArchive(const std::wstring& archivePath, const std::wstring& destinationRoot,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel)
{
    using extraction::Quoted;
    const std::optional<std::string> nativeArchive = platform::NativePath(archivePath);
    const std::size_t slash = nativeArchive ? nativeArchive->rfind('/') : std::string::npos;
    if (slash == std::string::npos)
        return ArchiveUnreadable(
            "cannot open archive " + Quoted(platform::Narrow(archivePath)) + ": no such volume or path");
    const platform::Result<platform::FolderHandle> folder =
        platform::FolderHandle::OpenExisting(slash == 0 ? "/" : nativeArchive->substr(0, slash));
    if (!folder)
        return ArchiveUnreadable(
            "cannot open archive " + Quoted(*nativeArchive) + ": " + platform::FileErrorText(folder.Failure().code));
    return ExtractZipArchive(
        {&*folder, nativeArchive->substr(slash + 1), *nativeArchive}, destinationRoot, progress, cancel);
}

PackageExtraction::PackageExtraction(ArchiveInFolder archive, std::wstring destinationRoot)
    : m_archive(std::move(archive)), m_destinationRoot(std::move(destinationRoot))
{
}

ExtractionResult PackageExtraction::Run(const ExtractProgressCallback& progress)
{
    return Extract(m_archive, m_destinationRoot, progress, &m_cancel, &m_totalBytes);
}

ExtractionResult ExtractPlannedArchive(const extraction::ArchivePlan& plan, const extraction::ArchiveByteSource& source,
    const std::string& shownPath, const std::wstring& destinationRoot, const ExtractProgressCallback& progress,
    const std::atomic<bool>* cancel)
{
    std::uint64_t total = 0;
    return Extract({nullptr, std::string(), shownPath}, destinationRoot, progress, cancel, &total, &plan, &source);
}

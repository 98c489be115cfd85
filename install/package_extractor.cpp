#include "install/package_extractor.h"

#include "install/archive_handles.h"
#include "install/entry_policy.h"
#include "install/package_paths.h"
#include "install/stick_writer.h"
#include "install/zip_central_directory.h"
#include "install/zip_names.h"
#include "platform/utf8_locale_scope.h"
#include "platform/win32_drives.h"
#include "platform/win32_files.h"
#include "platform/win32_strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <limits>
#include <optional>
#include <string_view>

std::uint64_t g_extractTotalBytes = 0;

namespace extraction {
namespace {

// Reads of the archive file. Stored entries are copied straight from this buffer to the
// output file, so it is sized to stay in the CPU cache between the read and the write:
// measured on a mixed and a stored archive, 128 KiB beat both 64 KiB and 1 MiB.
constexpr std::size_t kArchiveReadBlockSize = 128 * 1024;

// FAT32 keeps file sizes in 32 bits.
constexpr std::uint64_t kFat32FileSizeLimit = std::uint64_t{1} << 32;

// Within a large file the stick's root is checked again after this many bytes.
constexpr std::uint64_t kRootCheckInterval = 16u << 20;

std::string Quoted(std::string_view name) { return "\"" + PrintableName(name) + "\""; }

// Messages are printed as one line; library texts are not trusted to be one.
void KeepOnOneLine(std::string& message)
{
    for (char& c : message) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b)
{
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// libarchive's text for its last error, with the system's reason beside it when the error
// came from a system call (libarchive's own format and misuse codes say nothing more).
std::string ReaderErrorText(archive* reader)
{
    std::string text = ArchiveErrorText(reader);
    const int code = archive_errno(reader);
    if (code > 0 && code != EILSEQ && code != EINVAL)
        text += " (" + platform::FileErrorText(code) + ")";
    return text;
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

// An entry as it will land on the stick.
struct PlannedEntry {
    std::string path; // decoded, '/'-separated
    bool isFolder = false;
    std::uint64_t size = 0;
};

// What a first pass over the entry headers learns before anything is written.
struct ArchiveSurvey {
    std::uint64_t totalBytes = 0;
    ZipNameCharset charset = ZipNameCharset::Utf8;
    std::vector<PlannedEntry> entries;
};

std::uint64_t RoundUp(std::uint64_t bytes, std::uint64_t unit)
{
    return unit == 0 ? bytes : SaturatingAdd(bytes, unit - 1) / unit * unit;
}

class ZipExtraction {
public:
    ZipExtraction(const ArchiveInFolder& archive, std::string destination, bool fat32,
        const ExtractProgressCallback& progress, const std::atomic<bool>* cancel, std::uint64_t* totalOut,
        ExtractionResult& result)
        : m_archive(archive), m_archivePath(archive.shownPath), m_destination(std::move(destination)), m_fat32(fat32),
          m_progress(progress), m_cancel(cancel), m_totalOut(totalOut), m_result(result)
    {
    }

    void Run()
    {
        const platform::Utf8LocaleScope utf8Locale;
        if (!utf8Locale.Active()) {
            Fail(ExtractFailure::ArchiveContent, "cannot extract: no UTF-8 locale is available to decode entry names");
            return;
        }
        if (!OpenRoot() || !OpenArchiveFile())
            return;
        const std::optional<ArchiveSurvey> survey = Survey();
        if (!survey)
            return;
        if (!CheckSpace(survey->entries))
            return;
        m_total = survey->totalBytes;
        if (m_totalOut)
            *m_totalOut = m_total;
        Report();
        // The progress counts the bytes on the stick's device, not those in the page cache.
        StickWriter writer(m_result.stickRoot, [this](std::uint64_t flushed) {
            m_processed = flushed;
            Report();
        });
        const bool written = WriteEntries(survey->charset, writer);
        m_result.writtenFiles = writer.TakeWrittenFiles();
        if (!written)
            return;
        StickError error;
        if (!writer.Finish(error)) {
            StickFailed(error);
            return;
        }
        if (m_processed != m_total) {
            m_processed = m_total;
            Report();
        }
        if (!m_result.stickRoot.StillInPlace())
            Fail(ExtractFailure::StickPulled, "the stick's folder " + Quoted(m_destination) + " went away");
    }

private:
    bool Fail(ExtractFailure kind, std::string text)
    {
        if (m_result.failure == ExtractFailure::None) {
            m_result.failure = kind;
            m_result.error = std::move(text);
        }
        return false;
    }

    // A failed call on the stick: a device that went away (an I/O error from a device that
    // leaves the system within a short grace after it included), or a root that is no longer
    // where it was, is the stick pulled; anything else, an I/O error of a stick still there too,
    // is the stick refusing the write.
    bool StickFailed(const StickError& error)
    {
        std::string text = error.what;
        if (!m_entryName.empty() && text.find(Quoted(m_entryName)) == std::string::npos)
            text = "archive entry " + Quoted(m_entryName) + ": " + text;
        if (error.code != 0)
            text += ": " + platform::FileErrorText(error.code);
        const platform::FolderHandle& root = m_result.stickRoot;
        if (platform::IsDeviceGoneError(error.code) || !root.StillInPlace() ||
            (platform::IsInputOutputError(error.code) && root.DeviceLeftWithin(platform::kDeviceDepartureGrace)))
            return Fail(ExtractFailure::StickPulled, text + " (the stick went away)");
        return Fail(ExtractFailure::StickWrite, text);
    }

    bool RootGone()
    {
        if (m_result.stickRoot.StillInPlace())
            return false;
        Fail(ExtractFailure::StickPulled, "the stick's folder " + Quoted(m_destination) + " went away");
        return true;
    }

    bool OpenRoot()
    {
        int code = 0;
        m_result.stickRoot = platform::FolderHandle::OpenExisting(m_destination, code);
        if (m_result.stickRoot.IsOpen())
            return true;
        const std::string text = "cannot open " + Quoted(m_destination) + ": " + platform::FileErrorText(code);
        return Fail(code == ENOENT || platform::IsDeviceGoneError(code) || platform::IsInputOutputError(code)
                ? ExtractFailure::StickPulled
                : ExtractFailure::StickWrite,
            text);
    }

    // The archive is opened once, through its folder's handle and without following a link;
    // every pass over it reads that same file.
    bool OpenArchiveFile()
    {
        int code = 0;
        m_archiveFile = m_archive.folder.OpenFile(m_archive.name, code);
        if (m_archiveFile.IsOpen())
            return true;
        return Fail(ExtractFailure::ArchiveUnreadable,
            "cannot open archive " + Quoted(m_archivePath) + ": " + platform::FileErrorText(code));
    }

    // With `ownCrc` libarchive skips its CRC check: the caller compares the stored CRCs.
    ArchiveReader OpenArchive(std::optional<ZipNameCharset> charset, bool ownCrc = false)
    {
        ArchiveReader reader(archive_read_new());
        if (!reader) {
            Fail(ExtractFailure::ArchiveUnreadable, "cannot extract: out of memory");
            return nullptr;
        }
        archive_read_support_format_zip_seekable(reader.get());
        if (charset == ZipNameCharset::Cp936 &&
            archive_read_set_format_option(reader.get(), "zip", "hdrcharset", "CP936") < ARCHIVE_WARN) {
            Fail(ExtractFailure::ArchiveContent, "cannot decode CP936 entry names: " + ArchiveErrorText(reader.get()));
            return nullptr;
        }
        if (ownCrc && archive_read_set_format_option(reader.get(), "zip", "ignorecrc32", "1") != ARCHIVE_OK)
            m_storedCrcs.reset();
        // Each pass starts at the file's beginning, wherever the one before left it.
        int code = 0;
        if (!m_archiveFile.Rewind(code)) {
            Fail(ExtractFailure::ArchiveUnreadable,
                "cannot read archive " + Quoted(m_archivePath) + ": " + platform::FileErrorText(code));
            return nullptr;
        }
        if (archive_read_open_fd(reader.get(), m_archiveFile.Descriptor(), kArchiveReadBlockSize) != ARCHIVE_OK) {
            Fail(ExtractFailure::ArchiveUnreadable,
                "cannot open archive " + Quoted(m_archivePath) + ": " + ReaderErrorText(reader.get()));
            return nullptr;
        }
        return reader;
    }

    // Reads the next header and counts it in `ordinal`. False at the end of the archive or on
    // a failure: a warning is a name that cannot be decoded, anything worse a damaged archive.
    bool NextHeader(archive* reader, archive_entry*& entry, std::size_t& ordinal)
    {
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_OK) {
            ++ordinal;
            return true;
        }
        // A warning is a name that cannot be decoded, or headers that disagree with each other.
        const std::string text = ArchiveErrorText(reader);
        if (status == ARCHIVE_WARN && text.find("cannot be converted") != std::string::npos) {
            Fail(ExtractFailure::ArchiveContent,
                "cannot decode the name of archive entry " + Quoted(RawEntryName(ordinal)) + ": " + text);
        } else if (status != ARCHIVE_EOF) {
            const std::string raw = RawEntryName(ordinal);
            Fail(ExtractFailure::ArchiveUnreadable,
                "cannot read archive " + Quoted(m_archivePath) + (raw.empty() ? "" : " at entry " + Quoted(raw)) +
                    ": " + ReaderErrorText(reader));
        }
        return false;
    }

    // The stored bytes of the name of the entry at `ordinal` (counted from 0), for messages
    // about names that cannot be decoded (libarchive then gives no name at all).
    std::string RawEntryName(std::size_t ordinal) const
    {
        const auto directory = ReadCentralDirectory(m_archiveFile);
        return directory && ordinal < directory->size() ? (*directory)[ordinal].rawName : std::string();
    }

    bool Refuse(std::string_view name, const std::string& reason)
    {
        return Fail(ExtractFailure::ArchiveContent, "archive entry " + Quoted(name) + " refused: " + reason);
    }

    // Sums the sizes, decides the names' charset and refuses what cannot be installed, all
    // before a single byte is written.
    std::optional<ArchiveSurvey> Survey()
    {
        ArchiveSurvey survey;
        if (!SurveyStoredNames(survey) || !CheckHeadersAgree() || !CheckDecodedEntries(survey))
            return std::nullopt;
        if (std::none_of(survey.entries.begin(), survey.entries.end(), [](const auto& e) { return !e.isFolder; })) {
            Fail(ExtractFailure::ArchiveContent, "archive " + Quoted(m_archivePath) + " holds no file to install");
            return std::nullopt;
        }
        return survey;
    }

    // First pass, over the names as stored: the total size, the charset, the entry types, and
    // the name rules that hold whatever the charset (no leading slash, no ".." between slashes).
    bool SurveyStoredNames(ArchiveSurvey& survey)
    {
        const ArchiveReader reader = OpenArchive(std::nullopt);
        if (!reader)
            return false;
        ZipNameCharsetVote vote;
        std::vector<std::uint64_t> sizes;
        archive_entry* entry = nullptr;
        std::size_t ordinal = 0;
        while (!Cancelled() && NextHeader(reader.get(), entry, ordinal)) {
            sizes.push_back(
                archive_entry_size_is_set(entry) ? static_cast<std::uint64_t>(archive_entry_size(entry)) : 0);
            const char* storedName = archive_entry_pathname(entry);
            const std::string_view name = storedName ? storedName : "";
            if (auto reason = RefusalReason(entry, name, NameSeparators::SlashOnly))
                return Refuse(name, *reason);
            vote.Add(name);
            if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0)
                survey.totalBytes =
                    SaturatingAdd(survey.totalBytes, static_cast<std::uint64_t>(archive_entry_size(entry)));
        }
        survey.charset = vote.Result();
        TakeStoredCrcs(sizes);
        return m_result.failure == ExtractFailure::None;
    }

    // The writer computes a CRC of every file anyway: where the central directory lines up
    // with libarchive's entries (it does, but for odd archives), its stored CRCs are compared
    // with that one and libarchive's own second computation is switched off.
    void TakeStoredCrcs(const std::vector<std::uint64_t>& sizes)
    {
        const auto directory = ReadCentralDirectory(m_archiveFile);
        if (!directory || directory->size() != sizes.size())
            return;
        std::vector<std::uint32_t> crcs;
        crcs.reserve(sizes.size());
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            if ((*directory)[i].size != sizes[i])
                return;
            crcs.push_back((*directory)[i].crc32);
        }
        m_storedCrcs = std::move(crcs);
    }

    // Every entry's local header must say what its central-directory record says: a reader
    // that takes the local header's name would install what no ZIP tool lists.
    bool CheckHeadersAgree()
    {
        const auto directory = ReadCentralDirectory(m_archiveFile);
        if (!directory)
            return Fail(ExtractFailure::ArchiveUnreadable,
                "cannot read the central directory of archive " + Quoted(m_archivePath));
        if (const auto disagreement = FindHeaderDisagreement(m_archiveFile, *directory))
            return Fail(ExtractFailure::ArchiveUnreadable,
                "archive " + Quoted(m_archivePath) + " is damaged: " + PrintableName(*disagreement));
        return true;
    }

    // The room the package takes on the stick (each file rounded up to the file system's
    // allocation unit, each new folder one unit), less what the files it replaces take now,
    // against the stick's real free space.
    bool CheckSpace(const std::vector<PlannedEntry>& entries)
    {
        int code = 0;
        const std::optional<platform::FileSystemSpace> space = m_result.stickRoot.Space(code);
        if (!space)
            return StickFailed({"cannot read the free space of " + Quoted(m_destination), code});
        std::uint64_t needed = 0, freed = 0;
        for (const PlannedEntry& entry : entries) {
            const std::optional<platform::ExistingEntry> existing = m_result.stickRoot.EntryBeneath(entry.path);
            if (entry.isFolder) {
                if (!existing)
                    needed = SaturatingAdd(needed, space->allocationUnit);
                continue;
            }
            needed = SaturatingAdd(needed, RoundUp(entry.size, space->allocationUnit));
            if (existing && !existing->isFolder)
                freed = SaturatingAdd(freed, existing->allocatedBytes);
        }
        const std::uint64_t net = needed > freed ? needed - freed : 0;
        if (net <= space->availableBytes)
            return true;
        return Fail(ExtractFailure::StickFull,
            "the package needs " + std::to_string(net) + " bytes on " + Quoted(m_destination) + ", " +
                std::to_string(space->availableBytes) + " are free");
    }

    // Second pass, over the decoded names: every name decodes, is safe with backslashes taken
    // as separators too and can be held by Windows, the paths stay apart, nothing is encrypted,
    // and every file fits the stick's file system.
    bool CheckDecodedEntries(ArchiveSurvey& survey)
    {
        const ArchiveReader reader = OpenArchive(survey.charset);
        if (!reader)
            return false;
        PackagePathSet paths;
        archive_entry* entry = nullptr;
        std::size_t ordinal = 0;
        while (!Cancelled() && NextHeader(reader.get(), entry, ordinal)) {
            const char* decodedName = archive_entry_pathname(entry);
            const std::string_view name = decodedName ? decodedName : "";
            if (auto reason = RefusalReason(entry, name))
                return Refuse(name, *reason);
            if (archive_entry_is_encrypted(entry))
                return Refuse(name, "encrypted entries are not installed");
            const std::vector<std::string_view> components = PathComponents(name);
            for (const std::string_view component : components) {
                if (auto reason = WindowsNameReason(component))
                    return Refuse(name, *reason);
            }
            const bool isFolder = archive_entry_filetype(entry) == AE_IFDIR;
            if (auto reason = paths.Add(components, isFolder))
                return Refuse(name, *reason);
            if (m_fat32 && !isFolder && archive_entry_size_is_set(entry) &&
                static_cast<std::uint64_t>(archive_entry_size(entry)) >= kFat32FileSizeLimit)
                return Fail(ExtractFailure::TooLargeForFat32,
                    "archive entry " + Quoted(name) + " refused: a file of 4 GiB or more cannot be kept on FAT32");
            std::string path;
            for (const std::string_view component : components)
                path += (path.empty() ? "" : "/") + std::string(component);
            survey.entries.push_back({std::move(path), isFolder,
                archive_entry_size_is_set(entry) ? static_cast<std::uint64_t>(archive_entry_size(entry)) : 0});
        }
        return m_result.failure == ExtractFailure::None;
    }

    bool WriteEntries(ZipNameCharset charset, StickWriter& writer)
    {
        const ArchiveReader reader = OpenArchive(charset, m_storedCrcs.has_value());
        if (!reader)
            return false;
        archive_entry* entry = nullptr;
        std::size_t ordinal = 0;
        while (!Cancelled() && !RootGone() && NextHeader(reader.get(), entry, ordinal)) {
            if (!WriteEntry(reader.get(), writer, entry, ordinal - 1))
                return false;
        }
        return m_result.failure == ExtractFailure::None;
    }

    bool WriteEntry(archive* reader, StickWriter& writer, archive_entry* entry, std::size_t index)
    {
        const char* decodedName = archive_entry_pathname(entry);
        const std::string& name = m_entryName = decodedName ? decodedName : "";
        // The survey saw this very archive; a name refused now means it changed since.
        if (auto reason = RefusalReason(entry, name))
            return Refuse(name, *reason);
        const std::vector<std::string_view> components = PathComponents(name);
        if (components.empty())
            return Refuse(name, "the entry has no name");
        const unsigned mode = PermissionsToRestore(archive_entry_perm(entry));
        const platform::FileTime time{archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
        StickError error;
        if (archive_entry_filetype(entry) == AE_IFDIR)
            return writer.MakeFolder(components, mode, time, error) || StickFailed(error);
        if (!writer.BeginFile(components, mode, error))
            return StickFailed(error);
        if (!CopyData(reader, writer, name)) {
            writer.AbandonFile();
            return false;
        }
        if (archive_entry_size_is_set(entry) &&
            writer.CurrentSize() != static_cast<std::uint64_t>(archive_entry_size(entry))) {
            writer.AbandonFile();
            return Fail(ExtractFailure::ArchiveUnreadable,
                "cannot read " + Quoted(name) + " from archive " + Quoted(m_archivePath) + ": it holds " +
                    std::to_string(writer.CurrentSize()) + " bytes, its header says " +
                    std::to_string(archive_entry_size(entry)));
        }
        if (m_storedCrcs && index < m_storedCrcs->size() && (*m_storedCrcs)[index] != writer.CurrentCrc()) {
            writer.AbandonFile();
            char text[64];
            std::snprintf(
                text, sizeof text, "ZIP bad CRC: 0x%08x should be 0x%08x", writer.CurrentCrc(), (*m_storedCrcs)[index]);
            return Fail(ExtractFailure::ArchiveUnreadable,
                "cannot read " + Quoted(name) + " from archive " + Quoted(m_archivePath) + ": " + text);
        }
        if (!writer.FinishFile(time, error)) {
            writer.AbandonFile();
            return StickFailed(error);
        }
        return true;
    }

    // Block copy from the archive to the file. Any warning of the reader is a failure: it
    // warns on a bad CRC.
    bool CopyData(archive* reader, StickWriter& writer, const std::string& name)
    {
        std::uint64_t sinceRootCheck = 0;
        for (;;) {
            if (Cancelled())
                return false;
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader, &block, &size, &offset);
            if (status == ARCHIVE_EOF)
                return true;
            if (status != ARCHIVE_OK || offset < 0)
                return Fail(ExtractFailure::ArchiveUnreadable,
                    "cannot read " + Quoted(name) + " from archive " + Quoted(m_archivePath) + ": " +
                        ReaderErrorText(reader));
            StickError error;
            if (!writer.WriteBlock(block, size, static_cast<std::uint64_t>(offset), error))
                return StickFailed(error);
            // Every block is reported, with the bytes on the device so far.
            Report();
            sinceRootCheck += size;
            if (sinceRootCheck >= kRootCheckInterval) {
                sinceRootCheck = 0;
                if (RootGone())
                    return false;
            }
        }
    }

    bool Cancelled()
    {
        if (!m_cancel || !m_cancel->load(std::memory_order_relaxed))
            return false;
        Fail(ExtractFailure::Cancelled, "extraction cancelled");
        return true;
    }

    void Report() const
    {
        if (m_progress)
            m_progress(m_processed, m_total);
    }

    const ArchiveInFolder& m_archive;
    const std::string& m_archivePath; // how messages name the archive
    platform::ReadableFile m_archiveFile;
    const std::string m_destination;
    const bool m_fat32;
    const ExtractProgressCallback& m_progress;
    const std::atomic<bool>* const m_cancel;
    std::uint64_t* const m_totalOut; // where the total is published, when anywhere
    ExtractionResult& m_result;
    std::uint64_t m_total = 0;
    std::uint64_t m_processed = 0;
    std::string m_entryName; // the entry being written
    // The CRC-32 of each entry as the central directory stores it, in libarchive's order.
    std::optional<std::vector<std::uint32_t>> m_storedCrcs;
};

} // namespace
} // namespace extraction

namespace {

ExtractionResult Extract(const ArchiveInFolder& archive, const std::wstring& destinationRoot,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel, std::uint64_t* totalOut)
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
            const bool fat32 = extraction::FileSystemNameOf(destinationRoot) == L"FAT32";
            extraction::ZipExtraction(archive, *nativeDestination, fat32, progress, cancel, totalOut, result).Run();
        }
    } catch (const std::exception& failure) {
        result.failure = ExtractFailure::StickWrite;
        result.error = std::string("extraction failed: ") + failure.what();
    } catch (...) {
        result.failure = ExtractFailure::StickWrite;
        result.error = "extraction failed";
    }
    extraction::KeepOnOneLine(result.error);
    return result;
}

ExtractionResult ArchiveUnreadable(std::string error)
{
    ExtractionResult result;
    result.failure = ExtractFailure::ArchiveUnreadable;
    result.error = std::move(error);
    extraction::KeepOnOneLine(result.error);
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
    int code = 0;
    const platform::FolderHandle folder =
        platform::FolderHandle::OpenExisting(slash == 0 ? "/" : nativeArchive->substr(0, slash), code);
    if (!folder.IsOpen())
        return ArchiveUnreadable(
            "cannot open archive " + Quoted(*nativeArchive) + ": " + platform::FileErrorText(code));
    return ExtractZipArchive(
        {folder, nativeArchive->substr(slash + 1), *nativeArchive}, destinationRoot, progress, cancel);
}

PackageExtraction::PackageExtraction(ArchiveInFolder archive, std::wstring destinationRoot)
    : m_archive(std::move(archive)), m_destinationRoot(std::move(destinationRoot))
{
}

ExtractionResult PackageExtraction::Run(const ExtractProgressCallback& progress)
{
    return Extract(m_archive, m_destinationRoot, progress, &m_cancel, &m_totalBytes);
}

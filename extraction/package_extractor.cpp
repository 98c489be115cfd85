#include "extraction/zip_extraction.h"

#include "extraction/archive_handles.h"
#include "extraction/entry_policy.h"
#include "extraction/package_paths.h"
#include "extraction/planned_reader.h"
#include "extraction/stick_writer.h"
#include "extraction/zip_names.h"
#include "extraction/zip_plan.h"
#include "platform/utf8_locale_scope.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

namespace extraction {

std::string Quoted(std::string_view name) { return "\"" + PrintableName(name) + "\""; }

namespace {

// Within a large file the stick's root is checked again after this many bytes.
constexpr std::uint64_t kRootCheckInterval = 16u << 20;

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
        if (!OpenRoot())
            return;
        // An archive on the disk is planned here, every local header checked at once; one still
        // being downloaded comes with its plan, and its headers are checked as they are reached.
        std::optional<ArchivePlan> ownPlan;
        ArchiveByteSource source;
        if (m_givenPlan) {
            if (!Judge(*m_givenPlan))
                return;
            source = *m_givenSource;
        } else {
            if (!OpenArchiveFile())
                return;
            ownPlan = MakePlan();
            if (!ownPlan || !CheckLocalHeaders(*ownPlan))
                return;
            source = FileByteSource(*m_archiveFile);
        }
        const ArchivePlan* const plan = m_givenPlan ? m_givenPlan : &*ownPlan;
        if (!CheckSpace(*plan))
            return;
        m_total = plan->totalBytes;
        if (m_totalOut)
            *m_totalOut = m_total;
        Report();
        // The progress counts the bytes on the stick's device, not those in the page cache.
        StickWriter writer(*m_result.stickRoot, [this](std::uint64_t flushed) {
            m_processed = flushed;
            Report();
        });
        const bool written = WriteEntries(*plan, source, writer);
        m_result.writtenFiles = writer.TakeWrittenFiles();
        if (!written)
            return;
        if (const platform::Result<void> finished = writer.Finish(); !finished) {
            StickFailed(finished.Failure());
            return;
        }
        if (m_processed != m_total) {
            m_processed = m_total;
            Report();
        }
        if (!m_result.stickRoot->StillInPlace())
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
    bool StickFailed(const platform::Error& error)
    {
        std::string text = error.context;
        if (!m_entryName.empty() && text.find(Quoted(m_entryName)) == std::string::npos)
            text = "archive entry " + Quoted(m_entryName) + ": " + text;
        if (error.code != 0)
            text += ": " + platform::FileErrorText(error.code);
        const platform::FolderHandle& root = *m_result.stickRoot;
        if (platform::IsDeviceGoneError(error.code) || !root.StillInPlace() ||
            (platform::IsInputOutputError(error.code) && root.DeviceLeftWithin(platform::kDeviceDepartureGrace)))
            return Fail(ExtractFailure::StickPulled, text + " (the stick went away)");
        return Fail(ExtractFailure::StickWrite, text);
    }

    bool RootGone()
    {
        if (m_result.stickRoot->StillInPlace())
            return false;
        Fail(ExtractFailure::StickPulled, "the stick's folder " + Quoted(m_destination) + " went away");
        return true;
    }

    bool OpenRoot()
    {
        platform::Result<platform::FolderHandle> root = platform::FolderHandle::OpenExisting(m_destination);
        if (root) {
            m_result.stickRoot.emplace(std::move(root).Value());
            return true;
        }
        const int code = root.Failure().code;
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
        platform::Result<platform::ReadableFile> file = m_archive.folder->OpenFile(m_archive.name);
        if (file) {
            m_archiveFile.emplace(std::move(file).Value());
            return true;
        }
        return Fail(ExtractFailure::ArchiveUnreadable,
            "cannot open archive " + Quoted(m_archivePath) + ": " + platform::FileErrorText(file.Failure().code));
    }

    bool Refuse(std::string_view name, const std::string& reason)
    {
        return Fail(ExtractFailure::ArchiveContent, "archive entry " + Quoted(name) + " refused: " + reason);
    }

    bool Damaged(const std::string& what)
    {
        return Fail(ExtractFailure::ArchiveUnreadable, "archive " + Quoted(m_archivePath) + " is damaged: " + what);
    }

    // The plan, from one read of the central directory, and every refusal decided on it before
    // anything is written.
    std::optional<ArchivePlan> MakePlan()
    {
        platform::Result<ArchivePlan, PlanError> plan = ReadArchivePlan(*m_archiveFile);
        if (!plan) {
            const PlanError& error = plan.Failure();
            if (error.fault == PlanFault::Damaged)
                Fail(ExtractFailure::ArchiveUnreadable,
                    "cannot open archive " + Quoted(m_archivePath) + ": " + error.text);
            else
                Fail(ExtractFailure::ArchiveContent, "archive " + Quoted(m_archivePath) + ": " + error.text);
            return std::nullopt;
        }
        if (!Judge(*plan))
            return std::nullopt;
        return std::move(*plan);
    }

    // Every refusal decided on the plan before anything is written.
    bool Judge(const ArchivePlan& plan)
    {
        if (const std::optional<PlanError> refusal = FindPlanRefusal(plan, m_fat32)) {
            const ExtractFailure kind = refusal->fault == PlanFault::TooLargeForFat32 ? ExtractFailure::TooLargeForFat32
                : refusal->fault == PlanFault::Damaged ? ExtractFailure::ArchiveUnreadable
                                                       : ExtractFailure::ArchiveContent;
            Fail(kind,
                refusal->text.rfind("archive entry ", 0) == 0
                    ? refusal->text
                    : "archive " + Quoted(m_archivePath) + ": " + refusal->text);
            return false;
        }
        return true;
    }

    // The whole archive is on the disk: every local header is checked against its record before
    // anything is written. (They are checked again as each entry is reached.)
    bool CheckLocalHeaders(const ArchivePlan& plan)
    {
        const ArchiveByteSource source = FileByteSource(*m_archiveFile);
        for (const PlanEntry& entry : plan.entries) {
            if (Cancelled())
                return false;
            const platform::Result<std::uint64_t, std::string> checked = CheckLocalHeaderIn(source, entry);
            if (!checked)
                return Damaged(checked.Failure());
        }
        return true;
    }

    // The room the package takes on the stick (each file rounded up to the file system's
    // allocation unit, each new folder one unit), less what the files it replaces take now,
    // against the stick's real free space.
    bool CheckSpace(const ArchivePlan& plan)
    {
        const platform::Result<platform::FileSystemSpace> space = m_result.stickRoot->Space();
        if (!space)
            return StickFailed({space.Failure().code, "cannot read the free space of " + Quoted(m_destination)});
        std::uint64_t needed = 0, freed = 0;
        for (const PlanEntry& entry : plan.entries) {
            if (entry.Skipped())
                continue;
            const std::optional<platform::ExistingEntry> existing = m_result.stickRoot->EntryBeneath(entry.path);
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

    // The reader hands out the entries in the plan's order; each must be the plan's, and after
    // the last one it must have nothing more.
    bool WriteEntries(const ArchivePlan& plan, const ArchiveByteSource& source, StickWriter& writer)
    {
        PlannedReader reader(source, plan, true);
        if (!reader.Get())
            return Fail(ExtractFailure::ArchiveUnreadable,
                "cannot open archive " + Quoted(m_archivePath) + ": " + reader.Error());
        for (const PlanEntry& planned : plan.entries) {
            if (Cancelled() || RootGone())
                return false;
            m_entryName = planned.path.empty() ? planned.rawName : planned.path;
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(reader.Get(), &entry);
            if (status == ARCHIVE_EOF)
                return Damaged("the reader ends before archive entry " + Quoted(m_entryName));
            if (status != ARCHIVE_OK)
                return ReaderFailed(reader.Get(), planned);
            if (!ReaderAgrees(planned, entry))
                return false;
            if (planned.Skipped())
                continue;
            // The local header as the entry is reached: the archive may have changed since the
            // plan was made, or (being downloaded) not have been there.
            const platform::Result<std::uint64_t, std::string> header = CheckLocalHeaderIn(source, planned);
            if (!header)
                return Damaged(header.Failure());
            if (!WriteEntry(reader.Get(), writer, planned, entry))
                return false;
        }
        archive_entry* extra = nullptr;
        const int status = archive_read_next_header(reader.Get(), &extra);
        if (status == ARCHIVE_EOF)
            return m_result.failure == ExtractFailure::None;
        if (status == ARCHIVE_OK || status == ARCHIVE_WARN) {
            const char* name = archive_entry_pathname(extra);
            return Damaged(
                "the reader finds an entry the central directory does not list: " + Quoted(name ? name : ""));
        }
        return Damaged(ReaderErrorText(reader.Get()));
    }

    bool ReaderFailed(archive* reader, const PlanEntry& planned)
    {
        const std::string text = ReaderErrorText(reader);
        if (text.find("cannot be converted") != std::string::npos)
            return Fail(ExtractFailure::ArchiveContent,
                "cannot decode the name of archive entry " + Quoted(planned.rawName) + ": " + text);
        return Fail(ExtractFailure::ArchiveUnreadable,
            "cannot read archive " + Quoted(m_archivePath) + " at entry " + Quoted(planned.rawName) + ": " + text);
    }

    // The reader's view of the entry (path, type, size) must be the plan's: what it writes is
    // then what the plan checked.
    bool ReaderAgrees(const PlanEntry& planned, archive_entry* entry)
    {
        const char* readerName = archive_entry_pathname(entry);
        const std::string name = readerName ? readerName : "";
        if (auto reason = RefusalReason(entry, name))
            return Refuse(name, *reason);
        const std::string path = PlannedPath(name);
        const bool isFolder = archive_entry_filetype(entry) == AE_IFDIR;
        std::string differs;
        if (path != planned.path)
            differs = "the reader names it " + Quoted(path);
        else if (isFolder != planned.isFolder)
            differs = std::string("the reader takes it for a ") + (isFolder ? "folder" : "file");
        else if (!isFolder && archive_entry_size_is_set(entry) &&
            static_cast<std::uint64_t>(archive_entry_size(entry)) != planned.size)
            differs = "the reader gives it " + std::to_string(archive_entry_size(entry)) + " bytes, the directory " +
                std::to_string(planned.size);
        if (differs.empty())
            return true;
        return Damaged("archive entry " + Quoted(planned.rawName) + ": " + differs);
    }

    bool WriteEntry(archive* reader, StickWriter& writer, const PlanEntry& planned, archive_entry* entry)
    {
        const std::string& name = planned.path;
        const std::vector<std::string_view> components = PathComponents(name);
        const unsigned mode = PermissionsToRestore(archive_entry_perm(entry));
        const platform::FileTime time{archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
        if (planned.isFolder) {
            const platform::Result<void> made = writer.MakeFolder(components, mode, time);
            return made || StickFailed(made.Failure());
        }
        if (const platform::Result<void> begun = writer.BeginFile(components, mode); !begun)
            return StickFailed(begun.Failure());
        if (!CopyData(reader, writer, planned)) {
            writer.AbandonFile();
            return false;
        }
        if (writer.CurrentSize() != planned.size) {
            writer.AbandonFile();
            return Fail(ExtractFailure::ArchiveUnreadable,
                "cannot read " + Quoted(name) + " from archive " + Quoted(m_archivePath) + ": it holds " +
                    std::to_string(writer.CurrentSize()) + " bytes, its header says " + std::to_string(planned.size));
        }
        if (writer.CurrentCrc() != planned.crc32) {
            writer.AbandonFile();
            char text[64];
            std::snprintf(
                text, sizeof text, "ZIP bad CRC: 0x%08x should be 0x%08x", writer.CurrentCrc(), planned.crc32);
            return Fail(ExtractFailure::ArchiveUnreadable,
                "cannot read " + Quoted(name) + " from archive " + Quoted(m_archivePath) + ": " + text);
        }
        if (const platform::Result<void> finished = writer.FinishFile(time); !finished) {
            writer.AbandonFile();
            return StickFailed(finished.Failure());
        }
        return true;
    }

    // Block copy from the archive to the file, never past the size the plan gives: data that
    // inflates further is a damaged archive at once.
    bool CopyData(archive* reader, StickWriter& writer, const PlanEntry& planned)
    {
        const std::string& name = planned.path;
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
            if (static_cast<std::uint64_t>(offset) > planned.size ||
                size > planned.size - static_cast<std::uint64_t>(offset))
                return Fail(ExtractFailure::ArchiveUnreadable,
                    "cannot read " + Quoted(name) + " from archive " + Quoted(m_archivePath) +
                        ": its data goes on past its size of " + std::to_string(planned.size) + " bytes");
            const platform::Result<void> written = writer.WriteBlock(block, size, static_cast<std::uint64_t>(offset));
            if (!written)
                return StickFailed(written.Failure());
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

public:
    // The archive is read from `source` (which may wait for bytes still being downloaded),
    // planned by `plan`; both must outlive Run.
    void UsePlan(const ArchivePlan& plan, const ArchiveByteSource& source)
    {
        m_givenPlan = &plan;
        m_givenSource = &source;
    }

private:
    const ArchiveInFolder& m_archive;
    const std::string& m_archivePath; // how messages name the archive
    const ArchivePlan* m_givenPlan = nullptr;
    const ArchiveByteSource* m_givenSource = nullptr;
    std::optional<platform::ReadableFile> m_archiveFile;
    const std::string m_destination;
    const bool m_fat32;
    const ExtractProgressCallback& m_progress;
    const std::atomic<bool>* const m_cancel;
    std::uint64_t* const m_totalOut; // where the total is published, when anywhere
    ExtractionResult& m_result;
    std::uint64_t m_total = 0;
    std::uint64_t m_processed = 0;
    std::string m_entryName; // the entry being written
};

} // namespace

void RunZipExtraction(const ArchiveInFolder& archive, std::string destination, bool fat32,
    const ExtractProgressCallback& progress, const std::atomic<bool>* cancel, std::uint64_t* totalOut,
    const ArchivePlan* plan, const ArchiveByteSource* source, ExtractionResult& result)
{
    ZipExtraction extraction(archive, std::move(destination), fat32, progress, cancel, totalOut, result);
    if (plan)
        extraction.UsePlan(*plan, *source);
    extraction.Run();
}

} // namespace extraction

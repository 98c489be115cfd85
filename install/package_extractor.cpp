#include "install/package_extractor.h"

#include "install/archive_handles.h"
#include "install/entry_policy.h"
#include "install/zip_names.h"
#include "platform/filesystem_flush.h"
#include "platform/utf8_locale_scope.h"
#include "platform/win32_files.h"
#include "platform/win32_strings.h"

#include <exception>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

std::uint64_t g_extractTotalBytes = 0;

namespace extraction {
namespace {

// Reads of the archive file. Stored entries are copied straight from this buffer to the
// output file, so it is sized to stay in the CPU cache between the read and the write:
// measured on a mixed and a stored archive, 128 KiB beat both 64 KiB and 1 MiB.
constexpr std::size_t kArchiveReadBlockSize = 128 * 1024;

// Modification times are restored; owners, set-id bits, ACLs and extended attributes are
// not. Names are checked before they are joined beneath the destination, so the absolute
// result is allowed, but ".." and writing through a symbolic link are refused again here.
constexpr int kDiskWriteFlags =
    ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS;

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
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max()
                                                            : a + b;
}

// What a first pass over the entry headers learns before anything is written.
struct ArchiveSurvey {
    std::uint64_t totalBytes = 0;
    ZipNameCharset charset = ZipNameCharset::Utf8;
};

class ZipExtraction {
public:
    ZipExtraction(std::string archivePath, std::string destination, const ExtractProgressCallback& progress,
                  const std::atomic<bool>* cancel)
        : m_archivePath(std::move(archivePath)),
          m_destination(std::move(destination)),
          m_progress(progress),
          m_cancel(cancel)
    {
    }

    bool Run(std::string& error)
    {
        const platform::Utf8LocaleScope utf8Locale;
        if (!utf8Locale.Active()) {
            error = "cannot extract: no UTF-8 locale is available to decode entry names";
            return false;
        }
        const std::optional<ArchiveSurvey> survey = Survey(error);
        if (!survey)
            return false;
        if (!PrepareDestination(error))
            return false;
        m_total = survey->totalBytes;
        g_extractTotalBytes = m_total;
        Report();
        return WriteEntries(survey->charset, error) && platform::FlushFileSystemOf(m_destination, error);
    }

private:
    ArchiveReader OpenArchive(std::optional<ZipNameCharset> charset, std::string& error) const
    {
        ArchiveReader reader(archive_read_new());
        if (!reader) {
            error = "cannot extract: out of memory";
            return nullptr;
        }
        archive_read_support_format_zip_seekable(reader.get());
        if (charset == ZipNameCharset::Cp936 &&
            archive_read_set_format_option(reader.get(), "zip", "hdrcharset", "CP936") < ARCHIVE_WARN) {
            error = "cannot decode CP936 entry names: " + ArchiveErrorText(reader.get());
            return nullptr;
        }
        if (archive_read_open_filename(reader.get(), m_archivePath.c_str(), kArchiveReadBlockSize) != ARCHIVE_OK) {
            error = "cannot open archive " + Quoted(m_archivePath) + ": " + ArchiveErrorText(reader.get());
            return nullptr;
        }
        return reader;
    }

    // Reads the next header and counts it in `ordinal`. False at the end of the archive or on
    // an error, which fills `error`; a warning (a name that cannot be decoded, for one) is an
    // error too.
    bool NextHeader(archive* reader, archive_entry*& entry, std::size_t& ordinal, std::string& error) const
    {
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_OK) {
            ++ordinal;
            return true;
        }
        if (status == ARCHIVE_WARN) {
            error = "cannot read archive " + Quoted(m_archivePath) + " at entry " + Quoted(RawEntryName(ordinal)) +
                    ": " + ArchiveErrorText(reader);
        } else if (status != ARCHIVE_EOF) {
            error = "cannot read archive " + Quoted(m_archivePath) + ": " + ArchiveErrorText(reader);
        }
        return false;
    }

    // The stored bytes of the name of the entry at `ordinal` (counted from 0), for messages
    // about names that cannot be decoded.
    std::string RawEntryName(std::size_t ordinal) const
    {
        std::string ignored;
        const ArchiveReader reader = OpenArchive(std::nullopt, ignored);
        archive_entry* entry = nullptr;
        for (std::size_t i = 0; reader && archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK; ++i) {
            if (i == ordinal) {
                const char* name = archive_entry_pathname(entry);
                return name ? name : "";
            }
        }
        return "";
    }

    // Sums the sizes, decides the names' charset and refuses unsafe entries, all before a
    // single byte is written.
    std::optional<ArchiveSurvey> Survey(std::string& error) const
    {
        std::error_code failure;
        if (!std::filesystem::is_regular_file(m_archivePath, failure)) {
            error = "cannot open archive " + Quoted(m_archivePath) + ": " +
                    (failure ? failure.message() : std::string("not a file"));
            return std::nullopt;
        }
        ArchiveSurvey survey;
        if (!SurveyStoredNames(survey, error) || !CheckDecodedNames(survey.charset, error))
            return std::nullopt;
        return survey;
    }

    // First pass, over the names as stored: the total size, the charset, the entry types, and
    // the name rules that hold whatever the charset (no leading slash, no ".." between slashes).
    bool SurveyStoredNames(ArchiveSurvey& survey, std::string& error) const
    {
        const ArchiveReader reader = OpenArchive(std::nullopt, error);
        if (!reader)
            return false;
        ZipNameCharsetVote vote;
        archive_entry* entry = nullptr;
        std::size_t ordinal = 0;
        error.clear();
        while (!Cancelled(error) && NextHeader(reader.get(), entry, ordinal, error)) {
            const char* storedName = archive_entry_pathname(entry);
            const std::string_view name = storedName ? storedName : "";
            if (auto reason = RefusalReason(entry, name, NameSeparators::SlashOnly)) {
                error = "archive entry " + Quoted(name) + " refused: " + *reason;
                return false;
            }
            vote.Add(name);
            if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0)
                survey.totalBytes =
                    SaturatingAdd(survey.totalBytes, static_cast<std::uint64_t>(archive_entry_size(entry)));
        }
        survey.charset = vote.Result();
        return error.empty();
    }

    // Second pass, over the decoded names: every name decodes and is safe with backslashes
    // taken as separators too.
    bool CheckDecodedNames(ZipNameCharset charset, std::string& error) const
    {
        const ArchiveReader reader = OpenArchive(charset, error);
        if (!reader)
            return false;
        archive_entry* entry = nullptr;
        std::size_t ordinal = 0;
        error.clear();
        while (!Cancelled(error) && NextHeader(reader.get(), entry, ordinal, error)) {
            const char* decodedName = archive_entry_pathname(entry);
            const std::string_view name = decodedName ? decodedName : "";
            if (auto reason = RefusalReason(entry, name)) {
                error = "archive entry " + Quoted(name) + " refused: " + *reason;
                return false;
            }
        }
        return error.empty();
    }

    bool PrepareDestination(std::string& error) const
    {
        std::error_code failure;
        std::filesystem::create_directories(m_destination, failure);
        if (!failure && std::filesystem::is_directory(m_destination, failure))
            return true;
        error = "cannot extract into " + Quoted(m_destination) + ": " +
                (failure ? failure.message() : std::string("not a folder"));
        return false;
    }

    std::string TargetPath(std::string_view name) const
    {
        std::string target = m_destination;
        if (target.empty() || target.back() != '/')
            target += '/';
        target += name;
        return target;
    }

    bool WriteEntries(ZipNameCharset charset, std::string& error)
    {
        ArchiveReader reader = OpenArchive(charset, error);
        if (!reader)
            return false;
        ArchiveDiskWriter writer(archive_write_disk_new());
        if (!writer || archive_write_disk_set_options(writer.get(), kDiskWriteFlags) != ARCHIVE_OK) {
            error = "cannot extract: " + ArchiveErrorText(writer.get());
            return false;
        }
        archive_entry* entry = nullptr;
        std::size_t ordinal = 0;
        error.clear();
        while (!Cancelled(error) && NextHeader(reader.get(), entry, ordinal, error)) {
            if (!WriteEntry(reader.get(), writer.get(), entry, error))
                return false;
        }
        if (!error.empty())
            return false;
        if (archive_write_close(writer.get()) < ARCHIVE_WARN) {
            error = "cannot finish writing into " + Quoted(m_destination) + ": " + ArchiveErrorText(writer.get());
            return false;
        }
        return true;
    }

    bool WriteEntry(archive* reader, archive* writer, archive_entry* entry, std::string& error)
    {
        const char* decodedName = archive_entry_pathname(entry);
        if (!decodedName) {
            error = "cannot decode the name of an entry of archive " + Quoted(m_archivePath);
            return false;
        }
        const std::string name = decodedName;
        if (auto reason = RefusalReason(entry, name)) {
            error = "archive entry " + Quoted(name) + " refused: " + *reason;
            return false;
        }
        archive_entry_copy_pathname(entry, TargetPath(name).c_str());
        archive_entry_set_perm(entry, PermissionsToRestore(archive_entry_perm(entry)));
        if (archive_write_header(writer, entry) < ARCHIVE_WARN) {
            error = "cannot create " + Quoted(name) + ": " + ArchiveErrorText(writer);
            return false;
        }
        if (archive_entry_filetype(entry) == AE_IFREG && !CopyData(reader, writer, name, error))
            return false;
        if (archive_write_finish_entry(writer) < ARCHIVE_WARN) {
            error = "cannot finish " + Quoted(name) + ": " + ArchiveErrorText(writer);
            return false;
        }
        return true;
    }

    // Block copy from the archive to the file. Any warning on either side is a failure:
    // the reader warns on a bad CRC, the writer when data runs past the entry's size.
    bool CopyData(archive* reader, archive* writer, const std::string& name, std::string& error)
    {
        for (;;) {
            if (Cancelled(error))
                return false;
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader, &block, &size, &offset);
            if (status == ARCHIVE_EOF)
                return true;
            if (status != ARCHIVE_OK) {
                error = "cannot read " + Quoted(name) + " from archive " + Quoted(m_archivePath) + ": " +
                        ArchiveErrorText(reader);
                return false;
            }
            if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
                error = "cannot write " + Quoted(name) + ": " + ArchiveErrorText(writer);
                return false;
            }
            m_processed = SaturatingAdd(m_processed, size);
            Report();
        }
    }

    bool Cancelled(std::string& error) const
    {
        if (!m_cancel || !m_cancel->load(std::memory_order_relaxed))
            return false;
        error = "extraction cancelled";
        return true;
    }

    void Report() const
    {
        if (m_progress)
            m_progress(m_processed, m_total);
    }

    const std::string m_archivePath;
    const std::string m_destination;
    const ExtractProgressCallback& m_progress;
    const std::atomic<bool>* const m_cancel;
    std::uint64_t m_total = 0;
    std::uint64_t m_processed = 0;
};

} // namespace
} // namespace extraction

bool ExtractZipArchive(const std::wstring& archivePath, const std::wstring& destinationRoot,
                       const ExtractProgressCallback& progress, std::string& error,
                       const std::atomic<bool>* cancel)
{
    using extraction::Quoted;
    error.clear();
    try {
        const std::optional<std::string> nativeArchive = platform::NativePath(archivePath);
        if (!nativeArchive) {
            error = "cannot open archive " + Quoted(platform::Narrow(archivePath)) + ": no such volume or path";
            return false;
        }
        const std::optional<std::string> nativeDestination = platform::NativePath(destinationRoot);
        if (!nativeDestination) {
            error = "cannot extract into " + Quoted(platform::Narrow(destinationRoot)) + ": no such volume or path";
            return false;
        }
        extraction::ZipExtraction extraction(*nativeArchive, *nativeDestination, progress, cancel);
        if (extraction.Run(error))
            return true;
        extraction::KeepOnOneLine(error);
        return false;
    } catch (const std::exception& failure) {
        error = std::string("extraction failed: ") + failure.what();
    } catch (...) {
        error = "extraction failed";
    }
    return false;
}

#include "extraction/archive_check.h"

#include "extraction/planned_reader.h"
#include "extraction/zip_plan.h"

#include <vector>

namespace {

constexpr std::size_t kReadBlockSize = 128 * 1024;

} // namespace

std::optional<std::string> FindArchiveDamage(const ArchiveInFolder& archive, const std::atomic<bool>* cancel)
{
    const platform::Result<platform::ReadableFile> opened = archive.folder->OpenFile(archive.name);
    if (!opened)
        return "cannot open " + archive.shownPath + ": " + platform::FileErrorText(opened.Failure().code);
    const platform::ReadableFile& file = *opened;
    // The archive as its plan sees it: whatever comment or bytes follow its end record.
    const platform::Result<extraction::ArchivePlan, extraction::PlanError> plan = extraction::ReadArchivePlan(file);
    if (!plan)
        return archive.shownPath + ": " + plan.Failure().text;
    const extraction::PlannedReader reader(extraction::FileByteSource(file), *plan, false);
    if (!reader.Get())
        return archive.shownPath + ": " + reader.Error();
    std::vector<char> buffer(kReadBlockSize);
    for (;;) {
        archive_entry* entry = nullptr;
        const int header = archive_read_next_header(reader.Get(), &entry);
        if (header == ARCHIVE_EOF)
            return std::nullopt;
        // A warning on a header is a name in another character set: the data still counts.
        if (header < ARCHIVE_WARN)
            return archive.shownPath + ": " + extraction::ArchiveErrorText(reader.Get());
        // libarchive checks each entry's CRC as its last byte is read: anything but a clean
        // read to the end is damage.
        for (;;) {
            if (cancel && cancel->load())
                return std::string("stopped");
            const la_ssize_t got = archive_read_data(reader.Get(), buffer.data(), buffer.size());
            if (got == 0)
                break;
            if (got < 0)
                return archive.shownPath + ": " + extraction::ArchiveErrorText(reader.Get());
        }
    }
}

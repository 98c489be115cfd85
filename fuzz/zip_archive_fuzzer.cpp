// The package archive as it arrives from the network: its plan (one read of the central
// directory), the local-header check and the name rules over it, then the whole extraction onto
// a stick folder, which must refuse the archive or write only regular files and folders beneath
// the stick that the plan lists, and leave no file there that it does not report as written in
// full.
#include "fuzz_support.h"

#include "extraction/package_extractor.h"
#include "extraction/package_paths.h"
#include "extraction/zip_names.h"
#include "extraction/zip_plan.h"
#include "platform/utf8_locale_scope.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace {

// Archives that inflate to more than this are stopped: the fuzzer looks for faults, not for
// how long a large archive takes.
constexpr std::uint64_t kMostBytesWritten = 16u << 20;

struct Volumes {
    fs::path disk;
    fs::path stick;
};

// C: holds the archive, E: is the stick (FAT32, so that the 4 GiB rule is checked as well).
const Volumes& MappedVolumes()
{
    static const Volumes volumes = [] {
        const fs::path& root = fuzz::ScratchFolder();
        Volumes made{root / "disk", root / "stick"};
        fs::create_directories(made.disk);
        fs::create_directories(made.stick);
        fuzz::WriteFile(root / "volumes.map",
            "C fixed " + made.disk.string() + "\nE removable " + made.stick.string() + " fs=vfat\n");
        ::setenv("INSTALLER_VOLUME_MAP", (root / "volumes.map").c_str(), 1);
        return made;
    }();
    return volumes;
}

bool HasControlCharacter(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// The plan's file paths, when the archive has one that is not refused (nullopt otherwise).
std::optional<std::set<std::string>> CheckPlan(const fs::path& archive)
{
    const auto folder = platform::FolderHandle::OpenExisting(archive.parent_path().string());
    FUZZ_CHECK(folder.Ok(), folder.Failure().Text());
    const auto opened = folder->OpenFile(archive.filename().string());
    FUZZ_CHECK(opened.Ok(), opened.Failure().Text());
    const platform::ReadableFile& file = *opened;
    const auto plan = extraction::ReadArchivePlan(file);
    if (!plan)
        return std::nullopt;
    const platform::Utf8LocaleScope utf8;
    FUZZ_CHECK(utf8.Active(), "");
    const extraction::ArchiveByteSource source = extraction::FileByteSource(file);
    const extraction::PlanEntry* previous = nullptr;
    for (const extraction::PlanEntry& entry : plan->entries) {
        FUZZ_CHECK(!previous || entry.localHeaderAt > previous->localHeaderAt, "entries by offset, once");
        FUZZ_CHECK(
            entry.localHeaderAt < entry.limit && entry.limit <= plan->directoryAt, "entries before the directory");
        previous = &entry;
        // Asking whether the local header agrees reads at every offset the directory names.
        (void)extraction::CheckLocalHeaderIn(source, entry);
        const std::string printable = extraction::PrintableName(entry.rawName);
        FUZZ_CHECK(extraction::IsValidUtf8(printable) && !HasControlCharacter(printable), printable);
        FUZZ_CHECK(entry.path.find("//") == std::string::npos && entry.path.find("\\") == std::string::npos, printable);
    }
    if (extraction::FindPlanRefusal(*plan, true))
        return std::nullopt;
    std::set<std::string> files;
    for (const extraction::PlanEntry& entry : plan->entries) {
        if (!entry.isFolder && !entry.Skipped())
            files.insert(entry.path);
    }
    return files;
}

// What the stick folder holds: regular files by their relative path and size.
std::map<std::string, std::uint64_t> StickFiles(const fs::path& stick)
{
    std::map<std::string, std::uint64_t> files;
    for (auto it = fs::recursive_directory_iterator(stick); it != fs::recursive_directory_iterator(); ++it) {
        struct stat info {};
        FUZZ_CHECK(::lstat(it->path().c_str(), &info) == 0, it->path().string());
        const std::string relative = fs::relative(it->path(), stick).string();
        FUZZ_CHECK(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode), "only files and folders: " + relative);
        FUZZ_CHECK((info.st_mode & 07000) == 0, "no set-id or sticky bit: " + relative);
        if (S_ISREG(info.st_mode))
            files[relative] = static_cast<std::uint64_t>(info.st_size);
    }
    return files;
}

void CheckExtraction(const Volumes& volumes, const std::optional<std::set<std::string>>& planned)
{
    std::atomic<bool> cancel{false};
    const ExtractionResult result = ExtractZipArchive(
        L"C:\\package.zip", L"E:",
        [&cancel](std::uint64_t processed, std::uint64_t) {
            if (processed > kMostBytesWritten)
                cancel.store(true);
        },
        &cancel);
    FUZZ_CHECK(result.Ok() == result.error.empty(), result.error);
    FUZZ_CHECK(result.error.find_first_of("\r\n") == std::string::npos, result.error);

    std::map<std::string, std::uint64_t> reported;
    for (const WrittenFile& file : result.writtenFiles) {
        FUZZ_CHECK(extraction::UnsafeNameReason(file.path) == std::nullopt, file.path);
        // Nothing is written that the plan does not list.
        FUZZ_CHECK(planned && planned->count(file.path) == 1, "written but not in the plan: " + file.path);
        reported[file.path] = file.size;
    }
    // Every file on the stick was written in full and reported; nothing half-written stays.
    for (const auto& [path, size] : StickFiles(volumes.stick)) {
        const auto it = reported.find(path);
        FUZZ_CHECK(it != reported.end(), "a file on the stick that was not reported as written: " + path);
        FUZZ_CHECK(it->second == size, "a file of another size than reported: " + path);
    }
    // Nothing lands beside the stick.
    for (const auto& item : fs::directory_iterator(fuzz::ScratchFolder())) {
        const std::string name = item.path().filename().string();
        FUZZ_CHECK(name == "disk" || name == "stick" || name == "volumes.map", "written outside the stick: " + name);
    }
    for (const auto& item : fs::directory_iterator(volumes.disk))
        FUZZ_CHECK(item.path().filename() == "package.zip", "written beside the archive: " + item.path().string());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Volumes& volumes = MappedVolumes();
    const fs::path archive = volumes.disk / "package.zip";
    fuzz::WriteFile(archive, fuzz::Text(data, size));
    CheckExtraction(volumes, CheckPlan(archive));
    for (const auto& item : fs::directory_iterator(volumes.stick))
        fs::remove_all(item.path());
    return 0;
}

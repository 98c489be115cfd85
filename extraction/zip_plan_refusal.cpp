// What an archive may not hold for it to be installed: judged on the plan, before anything is
// written.
#include "extraction/zip_plan.h"

#include "extraction/package_paths.h"

namespace extraction {
namespace {

constexpr unsigned kTypeMask = 0170000;
constexpr unsigned kFileType = 0100000;
constexpr unsigned kFifoType = 0010000;
constexpr unsigned kLinkType = 0120000;
constexpr unsigned kCharacterDeviceType = 0020000;
constexpr unsigned kBlockDeviceType = 0060000;
constexpr unsigned kSocketType = 0140000;
// FAT32 keeps file sizes in 32 bits.
constexpr std::uint64_t kFat32FileSizeLimit = std::uint64_t{1} << 32;

std::string Quoted(std::string_view name) { return "\"" + PrintableName(name) + "\""; }

std::optional<std::string> TypeRefusal(const PlanEntry& entry)
{
    if (entry.isFolder || !entry.MadeOnUnix())
        return std::nullopt;
    switch ((entry.externalAttributes >> 16) & kTypeMask) {
    case 0:
    case kFileType:
    case kFifoType: // libarchive hands it out as a regular file
        return std::nullopt;
    case kLinkType:
        return "symbolic links are not extracted";
    case kCharacterDeviceType:
    case kBlockDeviceType:
        return "device files are not extracted";
    case kSocketType:
        return "sockets are not extracted";
    default:
        return "entries of an unknown file type are not extracted";
    }
}

const char* MethodName(std::uint16_t method)
{
    switch (method) {
    case 1:
        return "Shrink";
    case 2:
    case 3:
    case 4:
    case 5:
        return "Reduce";
    case 6:
        return "Implode";
    case 9:
        return "Deflate64";
    case 10:
        return "PKWARE DCL Implode";
    case 18:
        return "IBM TERSE";
    case 19:
        return "IBM LZ77";
    case 96:
        return "JPEG";
    case 97:
        return "WavPack";
    case 99:
        return "AES";
    default:
        return "unknown";
    }
}

} // namespace

bool IsReadableMethod(std::uint16_t method)
{
    // Stored, Deflate, bzip2, LZMA, Zstandard, XZ and PPMd: what the reader decodes here.
    switch (method) {
    case 0:
    case 8:
    case 12:
    case 14:
    case 93:
    case 95:
    case 98:
        return true;
    default:
        return false;
    }
}

std::optional<PlanError> FindPlanRefusal(const ArchivePlan& plan, bool fat32)
{
    const auto refuse = [](std::string_view name, const std::string& reason, PlanFault fault = PlanFault::Content) {
        return PlanError{fault, "archive entry " + Quoted(name) + " refused: " + reason};
    };
    PackagePathSet paths;
    bool anyFile = false;
    for (const PlanEntry& entry : plan.entries) {
        if (auto reason = UnsafeNameReason(entry.rawName, NameSeparators::SlashOnly))
            return refuse(entry.rawName, *reason);
        if (!entry.decoded)
            return refuse(entry.rawName, "the name cannot be decoded");
        if (auto reason = TypeRefusal(entry))
            return refuse(entry.rawName, *reason);
        if (entry.Encrypted() || entry.method == 99)
            return refuse(entry.path, "encrypted entries are not installed");
        if (!entry.isFolder && !IsReadableMethod(entry.method))
            return refuse(entry.rawName,
                "compression method " + std::to_string(entry.method) + " (" + MethodName(entry.method) +
                    ") cannot be read");
        if (entry.Skipped())
            continue;
        if (entry.path.empty())
            return refuse(entry.rawName, "a file without a name");
        // "." is the folder itself: a file cannot be it.
        const std::string_view raw = entry.rawName;
        if (!entry.isFolder && (raw.ends_with("/.") || raw.ends_with("\\.")))
            return refuse(entry.rawName, "a file named \".\" is the folder it lies in");
        if (auto reason = UnsafeNameReason(entry.path))
            return refuse(entry.path, *reason);
        const std::vector<std::string_view> components = PathComponents(entry.path);
        for (const std::string_view component : components) {
            if (auto reason = WindowsNameReason(component))
                return refuse(entry.path, *reason);
        }
        if (auto reason = paths.Add(components, entry.isFolder))
            return refuse(entry.path, *reason);
        if (fat32 && !entry.isFolder && entry.size >= kFat32FileSizeLimit)
            return refuse(entry.path, "a file of 4 GiB or more cannot be kept on FAT32", PlanFault::TooLargeForFat32);
        anyFile = anyFile || !entry.isFolder;
    }
    if (!anyFile)
        return PlanError{PlanFault::Content, "the archive holds no file to install"};
    return std::nullopt;
}

} // namespace extraction
